#!/usr/bin/env bash
# A private PulseAudio server for the sound tests: its own runtime folder, its own (empty)
# settings, and one sink, "ci", a null sink of unsigned 8-bit mono, so that the tests can play
# through Qt and record the sink's monitor bit for bit. A server the user runs is never used,
# changed or rerouted.
#
#   bash scripts/sound-server.sh start [rate]   starts one; prints its folder
#   bash scripts/sound-server.sh stop FOLDER    stops it and removes the folder
#   bash scripts/sound-server.sh env FOLDER     prints the variables that point a program at it
#
# The rate is the argument, else $LUMVANE_SOUND_RATE, else 11025. Clients reach the server
# through PULSE_SERVER=unix:FOLDER/native with PULSE_COOKIE=FOLDER/cookie.
set -uo pipefail

server_env() {
  echo "PULSE_SERVER=unix:$1/native"
  echo "PULSE_COOKIE=$1/cookie"
}

start() {
  local rate=${1:-${LUMVANE_SOUND_RATE:-11025}}
  if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
    echo "sound-server: pulseaudio and pulseaudio-utils are not installed" >&2
    return 1
  fi
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/lumvane-sound.XXXXXX") || return 1
  chmod 700 "$dir"
  # Everything the daemon reads or writes stays in the folder: runtime files, settings,
  # cookie, state.
  (
    export HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/config" \
      PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" PULSE_COOKIE="$dir/cookie"
    unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
    # As root PulseAudio warns that it is meant for users; in per-user mode it runs regardless.
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --system=false --use-pid-file=yes \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      -L "module-null-sink sink_name=ci rate=$rate format=u8 channels=1 norewinds=1" \
      -L "module-always-sink" 2>&1 | grep -v "not intended to be run as root" >&2
  )
  local i
  for i in $(seq 50); do
    env $(server_env "$dir") pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  env $(server_env "$dir") pactl set-default-sink ci 2>/dev/null
  if ! env $(server_env "$dir") pactl list short sinks 2>/dev/null |
      awk -F'\t' '$2 == "ci" {print $4}' | grep -qx "u8 1ch ${rate}Hz"; then
    echo "sound-server: could not start a server with sink ci (u8 1ch ${rate}Hz)" >&2
    stop "$dir"
    return 1
  fi
  echo "$dir"
}

stop() {
  local dir=${1:?folder}
  case "$dir" in */lumvane-sound.*) ;; *) echo "sound-server: not a server folder: $dir" >&2; return 1 ;; esac
  env $(server_env "$dir") pactl exit >/dev/null 2>&1
  local pid
  pid=$(cat "$dir"/runtime/pid "$dir"/runtime/*/pid 2>/dev/null | head -n 1)
  if [ -n "$pid" ]; then
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
  fi
  rm -rf "$dir"
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  env) shift; server_env "${1:?folder}" ;;
  *) echo "usage: $0 start [rate] | stop FOLDER | env FOLDER" >&2; exit 2 ;;
esac
