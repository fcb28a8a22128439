#!/usr/bin/env bash
# Builds the Debian package and checks it in a fresh Debian 12: a debootstrap chroot under
# build/package-check (the downloaded base system is kept there for the next run). Needs root.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work="$here/build/package-check"
root="$work/bookworm"

bash "$here/scripts/package.sh"
bash "$here/scripts/setup.sh" debootstrap
deb=$(ls "$here"/build/package/lumvane_*.deb)

# The Debian mirror this machine's apt uses.
mirror=$(grep -hsE '^URIs:.*/debian/?$' /etc/apt/sources.list.d/*.sources | awk '{print $2; exit}')
[ -n "$mirror" ] || mirror=$(grep -hsE '^deb .*/debian/? bookworm' /etc/apt/sources.list \
  /etc/apt/sources.list.d/*.list | awk '{print $2; exit}')
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

cleanup() {
  umount "$root/proc" 2>/dev/null || true
  umount "$root/dev/pts" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
cleanup
mkdir -p "$work"
base="$work/bookworm-minbase.tgz"
if [ ! -f "$base" ]; then
  echo "== downloading Debian 12 (minbase) from $mirror"
  debootstrap --variant=minbase --make-tarball="$base" bookworm "$work/tarball-tmp" "$mirror" \
    >"$work/debootstrap.log"
  rm -rf "$work/tarball-tmp"
fi
echo "== making a fresh Debian 12 in $root"
debootstrap --variant=minbase --unpack-tarball="$base" bookworm "$root" "$mirror" \
  >"$work/debootstrap.log"
mount -t proc proc "$root/proc"
mount -t devpts devpts "$root/dev/pts" 2>/dev/null || true

in_root() {
  chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
step() { echo; echo "== $*"; }

# A two-frame 8 x 4 animation with the default brushes.
python3 - "$root/tmp/sample.anm" <<'EOF'
import struct, sys
data = struct.pack("<8i", 2, 1, 0, 8, 4, 0, 0, 9)
data += struct.pack("<2i", 8, 4) + struct.pack("<BI", 255, 32)
data += struct.pack("<2i", 8, 4) + struct.pack("<BI", 255, 16) + struct.pack("<BI", 0, 16)
for size, hardness in [(2, 20), (3, 20), (4, 20), (5, 20), (6, 20),
                       (5, 0), (10, 0), (15, 0), (20, 0), (25, 0)]:
    data += struct.pack("<2i", size, hardness)
open(sys.argv[1], "wb").write(data)
EOF
cp "$root/tmp/sample.anm" "$root/tmp/x.anm"
cp "$deb" "$root/tmp/"

step "tools a desktop brings along (man, MIME database, menu cache, validators)"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends man-db xdg-utils shared-mime-info \
  desktop-file-utils appstream libfile-mimeinfo-perl >/dev/null 2>&1

step "apt-get install ./$(basename "$deb")"
in_root sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$(basename "$deb")" \
  2>/dev/null | grep -E '^(Setting up lumvane|Processing triggers|[0-9]+ upgraded)' || true

step "lumvane --version"
in_root lumvane --version
step "lumvane --info /tmp/sample.anm"
in_root lumvane --info /tmp/sample.anm
# The movie writers come from the FFmpeg libraries the package pulls in, H.264 from libx264.
step "lumvane --export mp4 and gif"
in_root lumvane --export mp4 --out /tmp/sample.mp4 /tmp/sample.anm
in_root lumvane --export gif --out /tmp/sample.gif /tmp/sample.anm
[ "$(head -c 8 "$root/tmp/sample.mp4" | tail -c 4)" = ftyp ] || { echo "not an MP4 file"; exit 1; }
[ "$(head -c 6 "$root/tmp/sample.gif")" = GIF89a ] || { echo "not a GIF file"; exit 1; }
step "man lumvane"
in_root man -P cat lumvane 2>/dev/null | head -8
in_root man -w lumvane
step "desktop-file-validate and appstreamcli validate --no-net"
in_root desktop-file-validate /usr/share/applications/lumvane.desktop
in_root appstreamcli validate --no-net /usr/share/metainfo/io.github.lumvane.Lumvane.metainfo.xml
step "xdg-mime"
type=$(in_root xdg-mime query filetype /tmp/x.anm)
echo "xdg-mime query filetype x.anm: $type"
[ "$type" = application/x-lumvane-animation ]
app=$(in_root xdg-mime query default "$type")
echo "xdg-mime query default $type: $app"
[ "$app" = lumvane.desktop ]

step "the window starts (offscreen, no session bus) and a second start hands its file over"
in_root sh -c 'QT_QPA_PLATFORM=offscreen lumvane >/tmp/first.log 2>&1 & echo $! >/tmp/first.pid'
sleep 3
in_root sh -c 'kill -0 "$(cat /tmp/first.pid)"' && echo "first program running"
start=$(date +%s%N)
in_root sh -c 'QT_QPA_PLATFORM=offscreen lumvane /tmp/x.anm'
echo "second start: exit 0 after $((($(date +%s%N) - start) / 1000000)) ms"
in_root sh -c 'kill -9 "$(cat /tmp/first.pid)"'
if in_root sh -c 'find /root/.local/share -iname "lumvane*" 2>/dev/null' | grep .; then
  echo "the installed program wrote the above into the user's data folder" >&2
  exit 1
fi
echo "no desktop entry, MIME type or icon written into /root/.local/share"

step "apt-get remove lumvane"
in_root dpkg -L lumvane >"$work/owned.txt"
in_root apt-get remove -y -qq lumvane | grep -E '^(Removing|Processing triggers)' || true
left=0
while read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$root$path" ]; then
    # A folder may stay only when other files live in it.
    if [ -z "$(ls -A "$root$path")" ]; then echo "empty folder left: $path"; left=1; fi
  elif [ -e "$root$path" ] || [ -L "$root$path" ]; then
    echo "left behind: $path"; left=1
  fi
done <"$work/owned.txt"
if in_root sh -c 'find /usr -iname "*lumvane*"; grep -rIl lumvane /usr/share/applications \
    /usr/share/mime /usr/share/icons /usr/share/metainfo 2>/dev/null' | grep .; then
  left=1
fi
[ "$left" = 0 ]
echo "nothing of the package is left under /usr"
echo
echo "package check passed: $(basename "$deb")"
