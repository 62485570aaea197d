#!/usr/bin/env bash
# Sets up the machine, builds both presets and runs every test, then builds
# the packages (reusing the win32 build) and checks them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/xvfb.sh

status=0
for preset in native win32; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
echo "== packages"
{ bash scripts/package.sh && bash tests/packages/check.sh; } || status=1
WINEPREFIX="$PWD/build/win32/wineprefix" wineserver -k 2>/dev/null || true
exit $status
