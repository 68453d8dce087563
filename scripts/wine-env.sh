# Sourced by scripts/test and scripts/run: the build, a private wine prefix
# and (when needed) a private X display.
#   OV_BUILD_DIR   build folder (default: <repo>/build)

OV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OV_BUILD_DIR=${OV_BUILD_DIR:-$OV_ROOT/build}

ov_build() {
  if [ ! -f "$OV_BUILD_DIR/build.ninja" ]; then
    cmake -S "$OV_ROOT" -B "$OV_BUILD_DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$OV_ROOT/cmake/mingw-i686.cmake" >/dev/null
  fi
  cmake --build "$OV_BUILD_DIR"
}

# Wine settings for every process we start.
# The prefix is the tests' own unless OV_PREFIX_NAME names another (Orvane
# started by scripts/run lives in a prefix of its own, so that a test run
# never stops it).
ov_wine_env() {
  export WINEPREFIX="$OV_BUILD_DIR/${OV_PREFIX_NAME:-wineprefix}"
  export WINEARCH=win32
  export WINEDEBUG=${WINEDEBUG:--all,err+module}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8 TZ=UTC USER=tester
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
  wineboot -i >/dev/null 2>&1
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
# Everything is stopped when the calling script exits.
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
}
