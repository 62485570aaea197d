#!/usr/bin/env bash
# The Windows program under Wine against the native scan, on one page-cached
# file: the time from pressing Check to the result message in Orvalintex.exe
# (message pump included; timed by the driver, which looks for the message
# every 20 ms), the Windows command-line scan under Wine (no pump) and the
# native command-line scan. The command lines are timed from outside, process
# start included; Wine's start alone is shown too. Best of three each.
# Usage: bench/wine_scan.sh [MiB, default 2048]. Needs the win32 and bench
# builds (bash scripts/test.sh and bench/run.sh make them).
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-2048}
win=$PWD/build/win32
cmake --build "$win" -j2 --target Orvalintex e2e-driver orvalintex-cli >/dev/null
cmake --build build/bench -j2 --target orvalintex-cli >/dev/null
. scripts/xvfb.sh
export WINEPREFIX=$win/wineprefix LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
run=$PWD/cmake/wine-run.sh

work=$(mktemp -d "$PWD/build/wine-scan.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# Random bytes: zeros only singly, never a run of the threshold's length.
head -c $((mib << 20)) /dev/urandom > "$work/clean.bin"
cat "$work/clean.bin" > /dev/null
: > "$work/empty.bin"
cp "$win/app/Orvalintex.exe" "$work/"

seconds() { date +%s.%N; }
best=()
measure() {
  local name=$1 fastest=999999
  shift
  for _ in 1 2 3; do
    local t0 t1
    t0=$(seconds)
    "$@"
    t1=$(seconds)
    fastest=$(echo "$t1 - $t0" | bc -l | awk -v f="$fastest" '{print ($1 < f) ? $1 : f}')
  done
  best+=("$name $fastest")
}

# The driver starts the program and prints the seconds from Check to the message
# on its standard error, which goes to a file: the program inherits it.
gui_check() {
  local w='Z:'"${work//\//\\}"
  "$run" "$win/tests/e2e/e2e-driver.exe" 600000 start "$w\Orvalintex.exe $w\clean.bin" \
    >/dev/null 2>"$work/driver.err"
  gui_time=$(tr -d '\r' <"$work/driver.err" | sed -n 's/^seconds=//p')
  "$run" "$win/tests/e2e/e2e-driver.exe" 10000 exit
}

native_cli() { build/bench/cli/orvalintex-cli check "$work/clean.bin" >/dev/null; }
wine_check() { "$run" "$win/cli/orvalintex-cli.exe" check 'Z:'"${work//\//\\}"'\'"$1" >/dev/null; }
wine_cli() { wine_check clean.bin; }
wine_start() { wine_check empty.bin; }

measure "native command line" native_cli
measure "Windows command line under Wine" wine_cli
measure "  its start alone (an empty file)" wine_start
fastest=999999
for _ in 1 2 3; do
  gui_check
  fastest=$(awk -v a="$gui_time" -v f="$fastest" 'BEGIN {print (a < f) ? a : f}')
done
best+=("Orvalintex.exe under Wine $fastest")

native=$(echo "${best[0]}" | awk '{print $NF}')
printf '%s MiB, page-cached, best of 3:\n' "$mib"
for b in "${best[@]}"; do
  t=$(echo "$b" | awk '{print $NF}')
  if [[ $b == " "* ]]; then  # a part of the line above, not a scan
    printf '  %-34s %6.2f s\n' "${b% *}" "$t"
    continue
  fi
  printf '  %-34s %6.2f s  %6.0f MB/s  %5.2f x native\n' "${b% *}" "$t" \
    "$(echo "$mib * 1048576 / $t / 1000000" | bc -l)" "$(echo "$native / $t" | bc -l)"
done
