#!/usr/bin/env bash
# Builds the two packages into build/packages: Orvalintex-<version>-win32.zip
# (one folder Orvalintex-<version>: both Windows programs, a README, the
# Japanese guide, the changelog, the licence and the third-party notices) from
# the win32 build, and orvalintex-cli_<version>_amd64.deb from the release
# build (no sanitizers). Reuses the build folders when they are there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Orvalintex orvalintex-cli zip-docs
cmake --preset release >/dev/null
cmake --build --preset release

rm -rf build/packages build/win32/*.zip build/release/*.deb
mkdir -p build/packages
(cd build/win32 && cpack >/dev/null && mv Orvalintex-*-win32.zip ../packages/)
(cd build/release && cpack >/dev/null && mv orvalintex-cli_*.deb ../packages/)
ls -l build/packages
