#!/usr/bin/env bash
# Playback with a real sound server: PulseAudio in user mode with a null sink,
# speech played through the program's sound output and recorded from the
# sink's monitor by the probe; then a stop in the middle, and no server at all.
# Every service is started here and stopped by its PID.
#   live_playback_test.sh PATH/TO/playback_probe
set -euo pipefail

probe=${1:?usage: live_playback_test.sh PROBE}
for tool in pulseaudio pactl parec espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

source "$(dirname "$0")/../support/services.sh"
services_init playback ""
export TSAN_OPTIONS="suppressions=$(dirname "$0")/../support/tsan.supp ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=0 ${ASAN_OPTIONS:-}"

# With no sound server there is no output: playing fails soon, with a reason.
"$probe" --expect-no-device 2>"$work/nodevice.err" || {
  tail -20 "$work/nodevice.err" >&2; echo "FAIL: playing with no output device" >&2; exit 1; }

start_sound_server || { cat "$out/pulse.log" >&2; echo "FAIL: sound server did not start" >&2; exit 1; }

espeak-ng -w "$work/speech-raw.wav" "The quick brown fox jumps over the lazy dog, again and again."
sox "$work/speech-raw.wav" -r 11025 -c 1 -b 16 -e signed-integer -t raw "$work/speech.raw"

run() {
  local name=$1 status=0
  shift
  echo "--- $name"
  VOCALUME_DEBUG=1 "$probe" "$@" 2>"$work/probe.err" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "--- probe stderr (tail)"; tail -20 "$work/probe.err"
    echo "FAIL: $name"
    exit 1
  fi
}
run "speech through the sound server" "$work/speech.raw"
grep -q 'playing through the sound server' "$work/probe.err" || { echo "FAIL: the sound server was not used"; exit 1; }
run "a stop in the middle" --stop "$work/speech.raw"
# PortAudio's own route to the same server.
VOCALUME_SOUND_API=portaudio run "speech through PortAudio" "$work/speech.raw"
grep -q 'playing on ' "$work/probe.err" || { echo "FAIL: PortAudio was not used"; exit 1; }
# A sound server that freezes while playing: playing ends with a reason
# instead of standing still; one that dies while playing, likewise.
ends_with() {  # REASON SIGNAL
  local status=0 probe_pid
  "$probe" --ends-with "$1" "$work/long.raw" >"$work/ends.out" 2>"$work/ends.err" &
  probe_pid=$!
  pids+=("$probe_pid")
  for _ in $(seq 100); do grep -q '^playing$' "$work/ends.out" && break; sleep 0.1; done
  kill "-$2" "$sound_server"
  wait "$probe_pid" || status=$?
  [ "$2" = STOP ] && kill -CONT "$sound_server"
  echo "--- a sound server that gets SIG$2 while playing"; cat "$work/ends.out"
  [ "$status" -eq 0 ] || { tail -5 "$work/ends.err"; echo "FAIL: playing at a server that got SIG$2"; exit 1; }
}
sox "$work/speech-raw.wav" -r 11025 -c 1 -b 16 -e signed-integer -t raw "$work/long.raw" repeat 5
ends_with "the sound output stopped answering" STOP
ends_with "the sound output went away" KILL
echo "PASS: live playback"
