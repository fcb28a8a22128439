#!/usr/bin/env bash
# Builds Lumvane with its tests (Release) and runs the whole suite with CTest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMVANE_TESTS=ON
cmake --build "$here/build/release" -j "$(nproc)"
ctest --test-dir "$here/build/release" --output-on-failure -j "$(nproc)"
