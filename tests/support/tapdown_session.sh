#!/usr/bin/env bash
# tapdown ends the session for real. Ending the session ends every windowed
# process of the wine prefix, so this runs in a prefix of its own (kept in
# the build folder between runs), never in the one the other tests share.
# A probe window records the end-of-session messages it receives.
# Usage: tapdown_session.sh <build dir> <endsession_probe.exe>
set -euo pipefail
build=$1
probe=$2
if [ -z "${DISPLAY:-}" ]; then
  echo "tapdown_session: no X display; skipped"
  exit 77
fi

export WINEPREFIX="$build/wineprefix-session"
export HOME="$build/winehome-session"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
export WINEARCH=${WINEARCH:-win32} WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
work=$(mktemp -d)
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/.ov-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.ov-ready"
fi

fail() {
  echo "FAILED: $*"
  exit 1
}

# Waits up to $2 tenths of a second for the command $1 to succeed.
wait_until() {
  local i
  for ((i = 0; i < $2; i++)); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  return 1
}

for code in 0 9; do
  out="$work/session-$code.txt"
  wine "$probe" "Z:${out//\//\\}" >/dev/null 2>&1 &
  probe_pid=$!
  wait_until "grep -qx ready '$out' 2>/dev/null" 300 || fail "probe window did not start"
  status=0
  wine "$build/dist/tapdown.exe" "$code" "$code" >/dev/null 2>&1 || status=$?
  [ "$status" = 0 ] || fail "tapdown $code $code exited with $status"
  wait_until "! kill -0 $probe_pid 2>/dev/null" 300 || fail "code $code: the session did not end"
  grep -q '^query ' "$out" || fail "code $code: no WM_QUERYENDSESSION"
  grep -q '^end 1 ' "$out" || fail "code $code: no WM_ENDSESSION(TRUE)"
  echo "code $code: $(tr '\n' ' ' <"$out")"
done
echo "tapdown ended the session for each code"
