#!/usr/bin/env bash
# Starts (once) a private PulseAudio server whose only sink, "ci", is a null sink of unsigned
# 8-bit mono at the given rate, so the sound tests can play through Qt and record the sink's
# monitor bit for bit. Safe to run again: an existing server with that sink is kept.
#
#   export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/lumvane-runtime}
#   bash scripts/sound-server.sh [rate]       (default 11025)
#
# Clients find the server through $XDG_RUNTIME_DIR/pulse/native, so the tests must see the
# same XDG_RUNTIME_DIR.
set -euo pipefail
rate=${1:-11025}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/lumvane-runtime}
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
spec="u8 1ch ${rate}Hz"

have_sink() {
  pactl list short sinks 2>/dev/null | awk -F'\t' '$2 == "ci" {print $4}' | grep -qx "$spec"
}

if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
  echo "sound-server: pulseaudio and pulseaudio-utils are not installed" >&2
  exit 1
fi

if pactl info >/dev/null 2>&1; then
  if have_sink; then
    echo "sound-server: already running with sink ci ($spec)"
    exit 0
  fi
  # A server without our sink (or with another rate): add ours and make it the default.
  old=$(pactl list short modules | awk -F'\t' '$2 == "module-null-sink" && $3 ~ /sink_name=ci( |$)/ {print $1}')
  for m in $old; do pactl unload-module "$m"; done
  pactl load-module module-null-sink sink_name=ci rate="$rate" format=u8 channels=1 norewinds=1 >/dev/null
else
  # As root PulseAudio warns that it is meant for users; in per-user mode it runs regardless.
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --system=false \
    -L module-native-protocol-unix \
    -L "module-null-sink sink_name=ci rate=$rate format=u8 channels=1 norewinds=1" \
    2> >(grep -v "not intended to be run as root" >&2)
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
fi
pactl set-default-sink ci
if ! have_sink; then
  echo "sound-server: could not set up sink ci ($spec)" >&2
  exit 1
fi
echo "sound-server: running at $XDG_RUNTIME_DIR/pulse/native with sink ci ($spec)"
