#!/usr/bin/env bash
# Builds the Debian package build/package/lumvane_<version>_<arch>.deb: a Release build of
# the program alone, installed under /usr, with dependencies computed by dpkg-shlibdeps.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build/package"
bash "$here/scripts/setup.sh" dpkg-dev file desktop-file-utils appstream

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DLUMVANE_TESTS=OFF -DLUMVANE_BENCH=OFF -DLUMVANE_FUZZ=OFF -DLUMVANE_SANITIZE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# The files for the desktop and the software centres must pass their validators.
desktop-file-validate "$here/resources/lumvane.desktop"
appstreamcli validate --no-net "$build/io.github.lumvane.Lumvane.metainfo.xml"

rm -f "$build"/lumvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/lumvane_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends
echo "Built $deb"
