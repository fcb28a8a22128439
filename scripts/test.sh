#!/usr/bin/env bash
# Builds Lumvane with its tests and runs the whole suite with CTest: first the Release build,
# then the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$here/scripts/setup.sh"

# The tests play sound only into a private server of their own (the end-to-end sound test
# records it); without one they are pointed at nothing rather than at the user's server.
sound_dir=$(bash "$here/scripts/sound-server.sh" start) || sound_dir=""
trap '[ -z "$sound_dir" ] || bash "$here/scripts/sound-server.sh" stop "$sound_dir"' EXIT
if [ -n "$sound_dir" ]; then
  mapfile -t sound_env < <(bash "$here/scripts/sound-server.sh" env "$sound_dir")
else
  sound_env=(PULSE_SERVER=unix:/nonexistent)
fi

# Compiler results are cached across checkouts: the same sources in another folder build from
# the cache (paths are taken relative to the checkout).
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S "$here" -B "$here/build/test" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMVANE_TESTS=ON \
  "${launcher[@]}"
cmake --build "$here/build/test" -j "$jobs"
# A test binary that fails is run once more (and the failure still printed): the capture
# tests pace a video in real time on a shared machine.
env "${sound_env[@]}" ctest --test-dir "$here/build/test" --output-on-failure -j "$jobs" --repeat until-pass:2 -LE soak

cmake -S "$here" -B "$here/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMVANE_SANITIZE=ON \
  -DLUMVANE_TESTS=ON -DLUMVANE_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" "${launcher[@]}"
cmake --build "$here/build/asan" -j "$jobs"
env "${sound_env[@]}" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$here/build/asan" --output-on-failure -j "$jobs" --repeat until-pass:2 -LE "soak|sound"
