#!/usr/bin/env bash
# Crashes Lumvane as a user would meet it and checks the recovery, on private X servers with
# private settings and data folders:
#   1. draw on two frames, wait past the autosave interval, kill -9, start again, accept the
#      recovery, Save: every pixel of the saved file equals the screen before the crash, the
#      original file was written and the recovery folder is empty;
#   2. kill -9 before the first copy: the next start asks nothing;
#   3. two programs on two displays, one killed: a third start offers only the killed one's.
# Usage: bash scripts/crash-check.sh [build folder, default build/run as scripts/run.sh makes it]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/run}
bash "$root/scripts/setup.sh" xvfb xdotool imagemagick python3 >/dev/null
lumvane=$build/src/app/lumvane
[ -x "$lumvane" ] || { echo "build $lumvane first (bash scripts/run.sh builds build/run)"; exit 2; }
work=$(mktemp -d)
# Everything started here, by pid (the helpers run in subshells, so a file keeps the list).
cleanup() {
  while read -r p; do kill -9 "$p" 2>/dev/null || true; done <"$work/pids"
  rm -rf "$work"
}
: >"$work/pids"
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/Lumvane" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
recovery=$XDG_DATA_HOME/Lumvane/Lumvane/recovery
failures=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
interval() { printf '[Autosave]\nIntervalSeconds=%s\n' "$1" >"$XDG_CONFIG_HOME/Lumvane/Lumvane.conf"; }

# Pixels: writes a test animation, and compares a file's frame with the frame on a screenshot
# (found by its grey border; the view shows one frame pixel per screen pixel).
cat >"$work/pixels.py" <<'EOF'
import struct, subprocess, sys
def make(path, w, h, n):
    out = bytearray(struct.pack('<8i', n, 0, 0, w, h, 0, 0, 9))
    for i in range(n):
        px = bytearray([255]) * (w * h)
        for x in range(w): px[x] = px[(h - 1) * w + x] = 128
        for y in range(h): px[y * w] = px[y * w + w - 1] = 128
        out += struct.pack('<ii', w, h)
        i = 0
        while i < len(px):
            j = i
            while j < len(px) and px[j] == px[i]: j += 1
            out += struct.pack('<BI', px[i], j - i); i = j
    for s, hd in [(2,20),(3,20),(4,20),(5,20),(6,20),(5,0),(10,0),(15,0),(20,0),(25,0)]:
        out += struct.pack('<ii', s, hd)
    open(path, 'wb').write(out)
def frame(path, k):
    b = open(path, 'rb').read()
    n, w, h = struct.unpack_from('<i', b, 0)[0], *struct.unpack_from('<ii', b, 12)
    pos = 32
    for i in range(n):
        pos += 8; px = bytearray()
        while len(px) < w * h:
            v, c = struct.unpack_from('<BI', b, pos); pos += 5; px += bytes([v]) * c
        if i == k: return w, h, bytes(px)
def screen(png, w, h):
    raw = subprocess.run(['convert', png, 'rgb:-'], capture_output=True, check=True).stdout
    W = 1280
    g = lambda x, y: raw[(y * W + x) * 3]
    for y in range(1024 - h):
        for x in range(W - w):
            if g(x, y) == 128 and g(x + w - 1, y + h - 1) == 128 and g(x + 1, y + 1) != 128 \
                    and g(x + 1, y) == 128 and g(x, y + 1) == 128:
                return bytes(g(x + xx, y + h - 1 - yy) for yy in range(h) for xx in range(w))
if sys.argv[1] == 'make': make(sys.argv[2], 324, 240, 3)
else:
    w, h, px = frame(sys.argv[2], int(sys.argv[3]))
    shown = screen(sys.argv[4], w, h)
    sys.exit(0 if shown is not None and shown == px else 1)
EOF
pixels() { python3 "$work/pixels.py" "$@"; }

# A private X server; prints its display.
xserver() {
  local fifo=$work/display.$RANDOM
  Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$fifo" >/dev/null 2>&1 &
  echo $! >>"$work/pids"
  for _ in $(seq 50); do [ -s "$fifo" ] && break; sleep 0.1; done
  echo ":$(cat "$fifo")"
}
waitwin() { for _ in $(seq 100); do xdotool search --name "$1" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
# Starts Lumvane on $DISPLAY, accepts the disclaimer; answers is the number of Return presses
# after it (the start without a tablet reports that once). Prints the pid.
start() {
  local answers=$1; shift
  "$lumvane" "$@" >>"$work/log" 2>&1 &
  local p=$!
  echo "$p" >>"$work/pids"
  waitwin "Lumvane Disclaimer" && sleep 0.5 && xdotool key Return
  for _ in $(seq "$answers"); do sleep 1.2; xdotool key Return; done
  echo "$p"
}
stroke() {
  xdotool mousemove "$1" "$2" mousedown 1
  for s in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $(($1 + s * ($3 - $1) / 8)) $(($2 + s * ($4 - $2) / 8)); sleep 0.02
  done
  xdotool mouseup 1
}
# The frame of 324 x 240 is centred in the drawing view of a 1280 x 1024 screen.
drawing() { stroke 560 480 800 650; stroke 600 640 820 470; }

echo "1. a crash after a copy"
export DISPLAY=$(xserver)
pixels make "$work/walk.anm"
cp "$work/walk.anm" "$work/walk.orig"
interval 1
p=$(start 1 "$work/walk.anm")
waitwin "walk - Lumvane"; sleep 0.5
drawing; sleep 0.3; import -window root "$work/frame1.png"
xdotool key Right; sleep 0.3; stroke 700 470 710 660; sleep 0.3; import -window root "$work/frame2.png"
sleep 3
check "a copy is written" "ls $recovery/*.anm >/dev/null 2>&1"
kill -9 "$p"; sleep 0.5
p=$(start 2 "$work/walk.anm")
waitwin "walk - Lumvane"; sleep 1
xdotool windowfocus --sync "$(xdotool search --name 'walk - Lumvane' | head -1)"
xdotool key ctrl+s; sleep 1.5
check "Save writes the original file" "! cmp -s $work/walk.anm $work/walk.orig"
check "frame 1 as drawn, every pixel" "pixels frame $work/walk.anm 0 $work/frame1.png"
check "frame 2 as drawn, every pixel" "pixels frame $work/walk.anm 1 $work/frame2.png"
check "the copy is gone after Save" "[ -z \"\$(ls -A $recovery)\" ]"
kill "$p"; sleep 0.5

echo "2. a crash before the first copy"
cp "$work/walk.orig" "$work/walk.anm"
interval 3600
p=$(start 1 "$work/walk.anm")
waitwin "walk - Lumvane"; sleep 0.5; drawing; sleep 1; kill -9 "$p"; sleep 0.5
: >"$work/log"
p=$(start 1 "$work/walk.anm")
check "the next start opens the file without a question" "waitwin 'walk - Lumvane'"
import -window root "$work/plain.png"
check "and shows it as saved" "pixels frame $work/walk.orig 0 $work/plain.png"
kill "$p"; sleep 0.5

echo "3. two programs, one killed"
interval 1
cp "$work/walk.orig" "$work/a.anm"; cp "$work/walk.orig" "$work/b.anm"
pa=$(start 1 "$work/a.anm"); waitwin "a - Lumvane"; sleep 0.5; drawing
export DISPLAY=$(xserver)
pb=$(start 1 "$work/b.anm"); waitwin "b - Lumvane"; sleep 0.5; drawing
sleep 3
check "two copies" "[ \$(ls $recovery/*.anm | wc -l) = 2 ]"
kill -9 "$pa"; sleep 0.5
export DISPLAY=$(xserver)
pc=$(start 2)
check "a third start recovers the killed one's" "waitwin 'a - Lumvane'"
check "and leaves the running one's alone" "grep -q '\"b\"' $recovery/*.recovery && kill -0 $pb"
kill "$pc" "$pb" 2>/dev/null || true

[ "$failures" = 0 ] && echo "all passed" || { echo "$failures failed"; exit 1; }
