#!/usr/bin/env bash
# Builds Lumvane (Release) and starts it; arguments go to the program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMVANE_TESTS=OFF >/dev/null
cmake --build "$here/build/release" --target lumvane
exec "$here/build/release/src/app/lumvane" "$@"
