# Sourced by scripts/test, scripts/run and bench/run: the editions, their
# builds, a private wine prefix per edition and (when needed) a private X
# display.
#   OV_ARCH        32, 64 or both: which editions to run (default: the ones
#                  this machine can run; see ov_run_archs)
#   OV_BUILD_ROOT  where the build folders go (default: <repo>)
# The 32-bit edition (the product) builds into build/, the 64-bit edition
# into build64/.

OV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OV_BUILD_ROOT=${OV_BUILD_ROOT:-$OV_ROOT}

# True where this machine runs 32-bit x86 programs: some kernels execute
# none at all, and Wine's 32-bit loader then fails with "Exec format error".
ov_can_run_32() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The editions to run, one per line: OV_ARCH when set, otherwise 64 and,
# where the machine can run it, 32.
ov_run_archs() {
  case "${OV_ARCH:-}" in
    32) echo 32 ;;
    64) echo 64 ;;
    both) echo 32; echo 64 ;;
    "")
      if ov_can_run_32; then echo 32; fi
      echo 64 ;;
    *) echo "OV_ARCH must be 32, 64 or both (not '$OV_ARCH')" >&2; return 1 ;;
  esac
}

# Selects an edition: build folder, toolchain and wine loader.
ov_use_arch() {
  OV_BITS=$1
  if [ "$OV_BITS" = 32 ]; then
    OV_BUILD_DIR=$OV_BUILD_ROOT/build
    OV_TOOLCHAIN=$OV_ROOT/cmake/mingw-i686.cmake
    OV_WINE_LOADER=/usr/lib/wine/wine
    OV_WINEARCH=win32
  else
    OV_BUILD_DIR=$OV_BUILD_ROOT/build64
    OV_TOOLCHAIN=$OV_ROOT/cmake/mingw-x86_64.cmake
    OV_WINE_LOADER=/usr/lib/wine/wine64
    OV_WINEARCH=win64
  fi
}

ov_build() {
  if [ ! -f "$OV_BUILD_DIR/build.ninja" ]; then
    # A compiler cache, where the machine has one, is shared by every
    # checkout under the same parent folder.
    local launcher=()
    if command -v ccache >/dev/null; then
      launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$OV_ROOT" -B "$OV_BUILD_DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$OV_TOOLCHAIN" "${launcher[@]}" >/dev/null
  fi
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$OV_ROOT")}
  cmake --build "$OV_BUILD_DIR"
}

# Wine settings for every process we start.
# The prefix is the tests' own unless OV_PREFIX_NAME names another (Orvane
# started by scripts/run lives in a prefix of its own, so that a test run
# never stops it).
ov_wine_env() {
  export WINEPREFIX="$OV_BUILD_DIR/${OV_PREFIX_NAME:-wineprefix}"
  export WINEARCH=$OV_WINEARCH
  export WINEDEBUG=${WINEDEBUG:--all,err+module}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8 TZ=UTC USER=tester
  # Debian's wine wrapper picks the 32-bit loader whenever it is installed,
  # even where it cannot run: "wine" and "wineboot" here call the edition's
  # own loader directly.
  export WINELOADER=$OV_WINE_LOADER
  local bin="$OV_BUILD_DIR/winebin"
  mkdir -p "$bin"
  printf '#!/bin/sh\nexec %s "$@"\n' "$OV_WINE_LOADER" >"$bin/wine"
  printf '#!/bin/sh\nexec %s wineboot.exe "$@"\n' "$OV_WINE_LOADER" >"$bin/wineboot"
  chmod +x "$bin/wine" "$bin/wineboot"
  case ":$PATH:" in
    *":$bin:"*) ;;
    *) export PATH="$bin:$PATH" ;;
  esac
  # Keep the prefix's desktop, trash and menu entries inside the build.
  export HOME="$OV_BUILD_DIR/winehome"
  export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
  mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
}

OV_XVFB_PID=""
# Starts a private Xvfb on a free display and exports DISPLAY.
ov_start_xvfb() {
  local dfile
  dfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
  OV_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$dfile" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$dfile")"
  rm -f "$dfile"
}

# Creates the prefix once with the settings the tests rely on.
ov_prepare_prefix() {
  if [ -f "$WINEPREFIX/.ov-ready" ]; then return; fi
  rm -rf "$WINEPREFIX"
  wineserver -k 2>/dev/null || true
  local status=0
  wineboot -i >/dev/null 2>&1 || status=$?
  if [ $status != 0 ]; then
    echo "wineboot failed with status $status ($WINEARCH prefix, loader $WINELOADER)" >&2
    return $status
  fi
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f >/dev/null 2>&1
  wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.ov-ready"
}

# Waits until the desktop process of this prefix's wine session runs.
ov_wait_desktop() {
  local i p
  for i in $(seq 1 300); do
    for p in $(pgrep -f 'explorer.exe /desktop'); do
      if grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$p/environ" 2>/dev/null; then
        return 0
      fi
    done
    sleep 0.1
  done
  echo "wine desktop did not start" >&2
  return 1
}

# One wine session for a run of tests or benchmarks: private Xvfb, the
# prepared prefix, one persistent wineserver and a keep-alive process.
# ov_stop_session ends it; the calling script's exit does too.
ov_start_session() {
  ov_wine_env
  ov_start_xvfb
  trap ov_stop_session EXIT
  ov_prepare_prefix
  wineserver -k 2>/dev/null || true
  wineserver -p
  # The first wine process of a session starts the prefix's system processes
  # (services, the desktop), and they inherit its standard handles. Let a
  # process with no output do that and wait for it: otherwise a test that
  # starts first lends them its output pipe, and ctest waits for that pipe
  # to close until the test times out.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
  wine "$OV_BUILD_DIR/tests/tools/keepalive.exe" >/dev/null 2>&1 </dev/null &
  ov_wait_desktop || true
}

ov_stop_session() {
  wineserver -k 2>/dev/null || true
  [ -n "$OV_XVFB_PID" ] && kill "$OV_XVFB_PID" 2>/dev/null || true
  OV_XVFB_PID=""
}
