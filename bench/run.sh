#!/usr/bin/env bash
# Builds the benchmarks with the bench preset (optimised, no sanitizers) and
# runs them: the block scanners on data in memory, then whole files in the page
# cache (three inputs and one output of the given size, deleted afterwards).
# Usage: bench/run.sh [build folder, default build/bench] [MiB, default 1024]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
mib=${2:-1024}

cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target block_bench file_bench many_bench
"$build/bench/block_bench" --benchmark_min_time=0.5
echo
"$build/bench/file_bench" "$build" "$mib"
echo
"$build/bench/many_bench" "$build" "$mib"
