#!/usr/bin/env bash
# Whole-program speed of what orvalintex-cli adds, on page-cached files, each
# pair timed in turns, best of 7 runs:
# - check --all (with what the damage hits) against check, on a 1 GiB AVI that
#   ffmpeg makes, with one zero run near its end;
# - repair --dry-run with ddrescue mapfiles for both copies against the same
#   dry run without them;
# - repair --playable against the same repair without it, where both copies
#   lost the same 64 KiB of frames.
# Usage: bench/cli_bench.sh [build folder, default build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target orvalintex-cli
cli=$PWD/$build/cli/orvalintex-cli
work=$(mktemp -d "$PWD/$build/cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# 30 s of 1280x720 raw I420 video and PCM audio: 1.04 GB in AVIX parts with OpenDML indexes.
ffmpeg -nostdin -v error -f lavfi -i testsrc=d=30:s=1280x720:r=25 -f lavfi -i sine=d=30 \
  -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le a.avi
size=$(stat -c %s a.avi)
zeros() {
  dd if=/dev/zero of="$1" bs=65536 count=1 seek="$2" oflag=seek_bytes conv=notrunc status=none
}
cp a.avi b.avi
# Whole sectors lost, as a rescue leaves them, so that ddrescue's generated maps are true.
zeros a.avi $(((size - 10 * 1048576) / 65536 * 65536))
zeros b.avi $((size / 2 / 65536 * 65536))
zeros a.avi $(((size - 5 * 1048576) / 65536 * 65536))  # lost in both, after the first
zeros b.avi $(((size - 5 * 1048576) / 65536 * 65536))
ddrescue -q -G b.avi a.avi a.map && ddrescue -q -G a.avi b.avi b.map
cat a.avi b.avi >/dev/null

# best NAME COMMAND...: the fastest of the runs, in seconds.
declare -A best
run() {
  local name=$1 start end
  shift
  start=$(date +%s%N)
  "$@" >/dev/null || true
  end=$(date +%s%N)
  local t=$(( (end - start) / 1000 ))
  if [ -z "${best[$name]:-}" ] || [ "$t" -lt "${best[$name]}" ]; then best[$name]=$t; fi
}
for _ in 1 2 3 4 5 6 7; do
  run check "$cli" check --threshold-kb 48 a.avi
  run all "$cli" check --all --threshold-kb 48 a.avi
  run plain "$cli" repair --dry-run a.avi b.avi
  run mapped "$cli" repair --dry-run --map a.avi a.map --map b.avi b.map a.avi b.avi
  run repair "$cli" repair --yes a.avi b.avi -o r.avi
  run playable "$cli" repair --playable --yes a.avi b.avi -o p.avi
done
ratio() { echo "scale=3; ${best[$1]} / ${best[$2]}" | bc; }
printf 'file of %s bytes; best of 7, seconds:\n' "$size"
for name in check all plain mapped repair playable; do
  printf '  %-8s %s\n' "$name" "$(echo "scale=3; ${best[$name]} / 1000000" | bc)"
done
echo "  check / check --all (target >= 0.97): $(ratio check all)"
echo "  dry run / dry run with maps (target >= 0.95): $(ratio plain mapped)"
echo "  repair --playable / repair (target <= 1.1): $(ratio playable repair)"
