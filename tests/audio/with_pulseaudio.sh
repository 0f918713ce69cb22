#!/usr/bin/env bash
# Runs a test binary against a private PulseAudio server: a null sink
# "ci_out" (what is played can be recorded from ci_out.monitor) and a 1 kHz
# sine source "ci_sine". First the binary's audio-unavailable tests run with
# no server at all. The server is stopped by its PID at the end. Exits 77
# (skipped) when PulseAudio is not installed.
set -u
bin="$1"
shift
if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
  echo "pulseaudio not installed: skipped"
  exit 77
fi

rc=0
none=$(mktemp -d)
chmod 700 "$none"
printf 'autospawn = no\n' >"$none/client.conf"
XDG_RUNTIME_DIR="$none" PULSE_SERVER="unix:$none/no-server" PULSE_CLIENTCONFIG="$none/client.conf" \
  TESSORA_NO_AUDIO_SERVER=1 "$bin" --gtest_filter='*Unavailable*' || rc=1
rm -rf "$none"

XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit -n \
  --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=ci_out" \
  --load="module-sine-source source_name=ci_sine rate=8000 frequency=1000" 2>/dev/null
pidfile="$XDG_RUNTIME_DIR/pulse/pid"
for _ in $(seq 50); do [ -s "$pidfile" ] && break; sleep 0.1; done
pid=$(cat "$pidfile" 2>/dev/null || true)
if [ -z "$pid" ]; then
  echo "pulseaudio did not start"
  rm -rf "$XDG_RUNTIME_DIR"
  exit 1
fi
pactl set-default-sink ci_out

TESSORA_PULSE=1 "$bin" "$@" || rc=1

kill "$pid" 2>/dev/null
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
rm -rf "$XDG_RUNTIME_DIR"
exit $rc
