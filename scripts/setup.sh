#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when some are missing.
# Further packages named as arguments are installed the same way (the packaging scripts).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev libgl-dev
          qt6-image-formats-plugins libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev
          libavformat-dev libavcodec-dev libavutil-dev libswresample-dev ffmpeg
          libavdevice-dev libswscale-dev
          pulseaudio pulseaudio-utils ccache "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
