#!/usr/bin/env bash
# Prints the per-tick cost of the idle alarm clock with many started
# events, against the bare clock reading every tick makes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup
source scripts/wine-env.sh
ov_build
ov_wine_env
ov_start_xvfb
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$OV_XVFB_PID" ] && kill "$OV_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
ov_prepare_prefix
wine "$OV_BUILD_DIR/bench/bench_alarm_tick.exe"
