#!/usr/bin/env bash
# Live capture with a real sound server: PulseAudio in user mode with a null
# sink whose monitor is the default source, a known signal played into it, and
# the probe recording through the sound server and through PortAudio, at the
# recording rate and converted. Every service is started here and
# stopped by its PID.
#   live_capture_test.sh PATH/TO/live_capture_probe
set -euo pipefail

probe=${1:?usage: live_capture_test.sh PROBE}
for tool in pulseaudio pactl paplay espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

source "$(dirname "$0")/../support/services.sh"
services_init live ""
# For sanitizer builds of the probe: the sound libraries are not instrumented.
export TSAN_OPTIONS="suppressions=$(dirname "$0")/../support/tsan.supp ${TSAN_OPTIONS:-}"
# The sound system's plugins keep their configuration until exit and are
# unloaded unseen; leaks of our own code are caught by the unit tests.
export ASAN_OPTIONS="detect_leaks=0 ${ASAN_OPTIONS:-}"

# With no sound server there is no record device: opening must fail cleanly.
"$probe" --expect-no-device 2>"$work/nodevice.err" || {
  cat "$work/nodevice.err" >&2; echo "FAIL: no-device open" >&2; exit 1; }

start_sound_server || { cat "$out/pulse.log" >&2; echo "FAIL: sound server did not start" >&2; exit 1; }

# The signal: silence, a 441 Hz tone, a silent gap, the tone, then speech.
sox -n -r 44100 -c 1 "$work/silence.wav" trim 0 0.7
sox -n -r 44100 -c 1 "$work/gap.wav" trim 0 1.5
sox -n -r 44100 -c 1 "$work/tone.wav" synth 1.5 sine 441 gain -6
espeak-ng -w "$work/speech-raw.wav" "The quick brown fox jumps over the lazy dog, again and again."
sox "$work/speech-raw.wav" -r 44100 -c 1 "$work/speech.wav"
sox "$work/silence.wav" "$work/tone.wav" "$work/gap.wav" "$work/tone.wav" "$work/silence.wav" \
  "$work/speech.wav" "$work/silence.wav" "$work/signal.wav"

# Records while the signal plays; $1 names the run in the output.
record() {
  local name=$1 status=0 probe_pid
  "$probe" 11 >"$work/probe.out" 2>"$work/probe.err" &
  probe_pid=$!
  pids+=("$probe_pid")
  for _ in $(seq 100); do grep -q '^recording' "$work/probe.out" && break; sleep 0.1; done
  paplay -d vsink "$work/signal.wav" &
  pids+=($!)
  wait "$probe_pid" || status=$?
  echo "--- $name"
  cat "$work/probe.out"
  if [ "$status" -ne 0 ]; then
    echo "--- probe stderr (tail)"; tail -20 "$work/probe.err"
    echo "FAIL: live capture ($name)"
    exit 1
  fi
}

VOCALUME_DEBUG=1 record "recording from the sound server"
grep 'recording from the sound server' "$work/probe.err" || { echo "FAIL: the sound server was not used"; exit 1; }
# The same through PortAudio's own route to the device.
VOCALUME_SOUND_API=portaudio VOCALUME_DEBUG=1 record "recording through PortAudio at 11025 Hz"
grep 'opened at 11025 Hz' "$work/probe.err" || { echo "FAIL: PortAudio was not used"; exit 1; }
# The same through the device's own rate and the rate converter, as on
# devices that refuse 11025 Hz.
VOCALUME_FORCE_DEVICE_RATE=1 VOCALUME_DEBUG=1 record "recording at the device rate, converted"
grep 'converting to 11025' "$work/probe.err" || { echo "FAIL: the converter was not used"; exit 1; }

# Two microphones, one hearing a steady tone and one speech: the list offers
# both (monitors marked so), choosing the second records the speech, and a
# chosen input that is gone falls back to the default input and says so.
pactl load-module module-null-sink sink_name=tones >/dev/null
pactl load-module module-null-sink sink_name=voices >/dev/null
"$probe" --inputs >"$work/inputs.txt"
echo "--- the inputs offered"; cat "$work/inputs.txt"
grep -q "^voices.monitor	Monitor of " "$work/inputs.txt" || { echo "FAIL: the second microphone is not offered"; exit 1; }
sox -n -r 44100 -c 1 "$work/long-tone.wav" synth 12 sine 441 gain -6
sox "$work/speech.wav" "$work/long-speech.wav" repeat 4
paplay -d tones "$work/long-tone.wav" &
pids+=($!)
paplay -d voices "$work/long-speech.wav" &
pids+=($!)
"$probe" --input voices.monitor 4 >"$work/chosen.out" 2>"$work/chosen.err"
echo "--- recording from voices.monitor"; cat "$work/chosen.out"
grep -q "^input missing: 0" "$work/chosen.out" || { echo "FAIL: the chosen input was not found"; exit 1; }
read -r tone other <<<"$(sed -n 's/^tone \([0-9]*\), other sound \([0-9]*\).*/\1 \2/p' "$work/chosen.out")"
[ "${other:-0}" -gt 10 ] && [ "${tone:-99}" -lt 3 ] || { echo "FAIL: the chosen microphone's speech was not recorded"; exit 1; }
"$probe" --input no-such-microphone 2 >"$work/missing.out" 2>"$work/missing.err"
echo "--- recording from a microphone that is gone"; cat "$work/missing.out"
grep -q "^input missing: 1" "$work/missing.out" || { echo "FAIL: a missing input was not reported"; exit 1; }
# A sound server frozen while space is pressed twice, and kept frozen past
# its client library's own timeout (30 s): each attempt is given up with a
# message, never two are alive, the stuck one starts no other library when
# the server answers again, and the next one records.
kill -STOP "$sound_server"
VOCALUME_DEBUG=1 "$probe" --frozen >"$work/frozen.out" 2>"$work/frozen.err" &
frozen_probe=$!
pids+=("$frozen_probe")
for _ in $(seq 200); do grep -q '^given up twice' "$work/frozen.out" && break; sleep 0.1; done
sleep 32
kill -CONT "$sound_server"
status=0
wait "$frozen_probe" || status=$?
echo "--- a frozen sound server"; cat "$work/frozen.out"
[ "$status" -eq 0 ] || { grep -v -i -e alsa -e jack "$work/frozen.err" | tail -20; echo "FAIL: a frozen sound server (status $status)"; exit 1; }
echo "PASS: live capture"
