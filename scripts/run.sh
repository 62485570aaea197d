#!/usr/bin/env bash
# Sets up the machine, builds the Windows program and starts it under Wine with
# the given files in its list. With no display it starts the program in a
# private Xvfb, saves a screenshot after a few seconds and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Orvalintex

exe=$PWD/build/win32/app/Orvalintex.exe
export WINEPREFIX=$PWD/build/win32/wineprefix

if [ -n "${DISPLAY:-}" ]; then
  exec cmake/wine-run.sh "$exe" "$@"
fi

. scripts/xvfb.sh
shot=$PWD/build/win32/screenshot.png
cmake/wine-run.sh "$exe" "$@" &
sleep 8
import -window root "$shot"
echo "No display: the program ran in a private Xvfb; screenshot saved to $shot"
wineserver -k 2>/dev/null || true
