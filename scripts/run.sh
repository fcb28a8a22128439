#!/usr/bin/env bash
# Builds Lumvane (Release) and starts it; arguments go to the program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/run" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMVANE_TESTS=OFF >/dev/null
cmake --build "$here/build/run" --target lumvane
exec "$here/build/run/src/app/lumvane" "$@"
