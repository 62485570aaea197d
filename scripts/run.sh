#!/usr/bin/env bash
# Sets up the machine, builds the Windows program and starts it under Wine with
# the given files in its list. With no display it starts the program in a
# private Xvfb, saves a screenshot once the dialog is drawn and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Orvalintex

exe=$PWD/build/win32/app/Orvalintex.exe
export WINEPREFIX=$PWD/build/win32/wineprefix
caption="Orvalintex ver.0.1.0"

if [ -n "${DISPLAY:-}" ]; then
  exec cmake/wine-run.sh "$exe" "$@"
fi

. scripts/xvfb.sh
shot=$PWD/build/win32/screenshot.png
cmake/wine-run.sh "$exe" "$@" &
program=$!

# The first start also makes the Wine prefix, which takes up to a minute on a
# slow machine; later starts take a few seconds.
drawn() {
  local geometry
  geometry=$(xwininfo -name "$caption" 2>/dev/null | awk '/Map State: IsViewable/ {v = 1}
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} /Width:/ {w = $NF}
    /Height:/ {h = $NF} END {if (v) print w "x" h "+" x "+" y}')
  # Mapped is not yet painted: the dialog's face is light grey, never black.
  [ -n "$geometry" ] &&
    [ "$(import -window root -crop "$geometry" -format '%[fx:mean>0.5]' info: 2>/dev/null)" = 1 ]
}
for _ in $(seq 600); do
  drawn && break
  if ! kill -0 $program 2>/dev/null; then
    echo "run: the program ended before its dialog appeared" >&2
    exit 1
  fi
  sleep 0.2
done
if ! drawn; then
  echo "run: no dialog \"$caption\" after 120 s; see $WINEPREFIX" >&2
  wineserver -k 2>/dev/null || true
  exit 1
fi
import -window root "$shot"
echo "No display: the program ran in a private Xvfb; screenshot saved to $shot"
wineserver -k 2>/dev/null || true
