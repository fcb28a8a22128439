#!/usr/bin/env bash
# Starts (once) a private PulseAudio server whose only sink, "ci", is a null sink of unsigned
# 8-bit mono at the given rate, so the sound tests can play through Qt and record the sink's
# monitor bit for bit. Safe to run again: an existing server with that sink is kept.
#
#   source scripts/sound-server.sh      exports XDG_RUNTIME_DIR for what runs next
#   bash scripts/sound-server.sh [rate] then export the XDG_RUNTIME_DIR it prints
#
# The rate is the argument, else $LUMVANE_SOUND_RATE, else 11025. Clients find the server
# through $XDG_RUNTIME_DIR/pulse/native (default /tmp/lumvane-runtime). When sourced, a failure
# is only reported: the sound test then says why it cannot run.

lumvane_sound_server() {
  local rate=${1:-${LUMVANE_SOUND_RATE:-11025}}
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/lumvane-runtime}
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR" || return 1
  local format="u8 1ch ${rate}Hz"

  if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
    echo "sound-server: pulseaudio and pulseaudio-utils are not installed" >&2
    return 1
  fi
  lumvane_have_sink() {
    pactl list short sinks 2>/dev/null | awk -F'\t' '$2 == "ci" {print $4}' | grep -qx "$format"
  }

  if pactl info >/dev/null 2>&1; then
    if lumvane_have_sink; then
      echo "sound-server: already running at $XDG_RUNTIME_DIR with sink ci ($format)"
      return 0
    fi
    # A server without our sink (or with another rate): replace ours, make it the default.
    local m
    for m in $(pactl list short modules |
               awk -F'\t' '$2 == "module-null-sink" && $3 ~ /sink_name=ci( |$)/ {print $1}'); do
      pactl unload-module "$m"
    done
    pactl load-module module-null-sink sink_name=ci rate="$rate" format=u8 channels=1 \
      norewinds=1 >/dev/null || return 1
  else
    # As root PulseAudio warns that it is meant for users; in per-user mode it runs regardless.
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --system=false \
      -L module-native-protocol-unix \
      -L "module-null-sink sink_name=ci rate=$rate format=u8 channels=1 norewinds=1" \
      2>&1 | grep -v "not intended to be run as root" >&2
    local i
    for i in $(seq 50); do
      pactl info >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  pactl set-default-sink ci 2>/dev/null
  if ! lumvane_have_sink; then
    echo "sound-server: could not set up sink ci ($format) at $XDG_RUNTIME_DIR" >&2
    return 1
  fi
  echo "sound-server: running at $XDG_RUNTIME_DIR with sink ci ($format)"
}

if [[ "${BASH_SOURCE[0]}" != "$0" ]]; then
  lumvane_sound_server || echo "sound-server: no sound server; the sound test will say why" >&2
else
  set -uo pipefail
  lumvane_sound_server "$@"
  status=$?
  [ $status -eq 0 ] && echo "export XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR"
  exit $status
fi
