#!/usr/bin/env bash
# Builds Lumvane with its tests and runs the whole suite with CTest: first the Release build,
# then the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$here/scripts/setup.sh"

# The end-to-end sound test plays through a real (null-sink) sound server.
if [ -f "$here/scripts/sound-server.sh" ]; then
  # shellcheck source=/dev/null
  source "$here/scripts/sound-server.sh"
fi

cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMVANE_TESTS=ON
cmake --build "$here/build/release" -j "$jobs"
ctest --test-dir "$here/build/release" --output-on-failure -j "$jobs" -LE soak

cmake -S "$here" -B "$here/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMVANE_SANITIZE=ON \
  -DLUMVANE_TESTS=ON -DLUMVANE_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build "$here/build/asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$here/build/asan" --output-on-failure -j "$jobs" -LE "soak|sound|bench"
