#!/bin/bash
# What the running program costs and how far it lags, measured on the real
# program under a private X server with a virtual microphone:
#   - processor time of the whole program while recording speech, while
#     idle after a pause, and while playing the session back (P from the
#     session's start, the play line moving and the pages turning), as a
#     share of one core;
#   - the lag from a sound to its first visible pixel: noise bursts after
#     silence written into a pipe microphone, the window read straight from
#     the X server every few milliseconds (bench/first_light.py), and the
#     processor time meanwhile.
#   bash bench/desktop_cpu.sh [--low-latency] [--lag-only] [PATH/TO/vocalume] [SPEECH.wav] [MODEL.wav]
# With MODEL.wav the model lane shows it (View > Model...) while recording.
# Default settings (refresh 10, ratio 3); --low-latency turns the
# low-latency choice on before the program starts; --lag-only measures the
# lag alone; ZOOM=N in the environment stores the zoom N (frames a column,
# View > Zoom out). Every service is started here and stopped by its PID.
set -u
low_latency=0 lag_only=0
while [ $# -gt 0 ]; do
  case $1 in
  --low-latency) low_latency=1 ;;
  --lag-only) lag_only=1 ;;
  *) break ;;
  esac
  shift
done
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/release/app/vocalume}")
speech=$(realpath "${2:-$root/resources/demo.wav}")
model=${3:+$(realpath "$3")}
[ -x "$program" ] || { echo "no program at $program: build first (bash scripts/run.sh)" >&2; exit 2; }
source "$root/tests/support/services.sh"
services_init measure ""
hz=$(getconf CLK_TCK)
record_seconds=20 idle_seconds=10

start_sound_server || { echo "the sound server did not start" >&2; exit 1; }
start_x_server || { echo "the X server did not start" >&2; exit 1; }
zoom=${ZOOM:-1}
if [ "$low_latency" = 1 ] || [ "$zoom" != 1 ]; then
  mkdir -p "$(dirname "$settings")"
  printf '[config]\nlowlatency=%s\nzoom=%s\n' "$low_latency" "$zoom" >"$settings"
fi
echo "low latency: $([ "$low_latency" = 1 ] && echo on || echo off)"
[ "$zoom" != 1 ] && echo "zoom: $zoom frames a column"
start_program "$program" program
frame=$(wait_window "^$title\$")
[ -n "$frame" ] || { echo "the window did not show" >&2; exit 1; }
sleep 0.5
xdotool windowfocus --sync "$frame"
if [ -n "$model" ]; then
  # The file dialog's location field takes the path.
  xdotool key ctrl+m
  box=$(wait_window "^Open model\$")
  [ -n "$box" ] || { echo "the model's file dialog did not show" >&2; exit 1; }
  xdotool windowfocus --sync "$box"; sleep 0.5
  xdotool key ctrl+l; sleep 0.2; xdotool type --delay 10 "$model"; sleep 0.2; xdotool key Return
  for _ in $(seq 50); do [ -z "$(xdotool search --onlyvisible --name "^Open model\$" 2>/dev/null)" ] && break; sleep 0.1; done
  sleep 1
  xdotool windowfocus --sync "$frame"
  echo "model: $model"
fi

if [ "$lag_only" = 0 ]; then
# 1. Processor time while recording speech, then idle after the pause timer.
sox "$speech" -r 44100 -c 1 "$work/speech.wav" pad 0 0.3 repeat 10 2>/dev/null
play_into_microphone "$work/speech.wav"
xdotool key space
sleep 1
t0=$(cpu_ticks "$app")
sleep "$record_seconds"
t1=$(cpu_ticks "$app")
xdotool key ctrl+l
sleep 1
l0=$(cpu_ticks "$app")
sleep "$record_seconds"
l1=$(cpu_ticks "$app")
xdotool key ctrl+l
xdotool key Escape
sleep 1
kill "$player" 2>/dev/null
i0=$(cpu_ticks "$app")
sleep "$idle_seconds"
i1=$(cpu_ticks "$app")
# Playing back from the start of the session; its sound goes to
# loudspeakers of their own.
pactl load-module module-null-sink sink_name=speakers >/dev/null
pactl set-default-sink speakers
xdotool key Home p
sleep 1
p0=$(cpu_ticks "$app")
sleep "$idle_seconds"
p1=$(cpu_ticks "$app")
xdotool key Escape
pactl set-default-sink vsink
awk -v t=$((t1 - t0)) -v hz="$hz" -v s=$record_seconds \
  'BEGIN { printf "recording speech: %.2f %% of one core (%d s)\n", 100 * t / hz / s, s }'
awk -v t=$((l1 - l0)) -v b=$((t1 - t0)) -v hz="$hz" -v s=$record_seconds \
  'BEGIN { printf "recording speech, pitch line on: %.2f %% of one core (%d s; %.2f times the line off)\n",
    100 * t / hz / s, s, (b > 0 ? t / b : 0) }'
awk -v t=$((i1 - i0)) -v hz="$hz" -v s=$idle_seconds \
  'BEGIN { printf "idle after a pause: %.2f %% of one core (%d s)\n", 100 * t / hz / s, s }'
awk -v t=$((p1 - p0)) -v hz="$hz" -v s=$idle_seconds \
  'BEGIN { printf "playing back: %.2f %% of one core (%d s)\n", 100 * t / hz / s, s }'

# A burst of 50 ms is three columns at 16 frames a column: the lag is
# measured at one frame a column.
if [ "$zoom" != 1 ]; then
  echo "lag: measured at one frame a column only"
  exit 0
fi

fi

# 2. Lag: the first visible pixel of each burst, from a pipe microphone
# the probe feeds paced by the clock.
# The module makes the pipe itself.
pactl load-module module-pipe-source source_name=pipemic file="$work/mic.fifo" format=s16le rate=44100 \
  channels=1 >/dev/null
pactl set-default-source pipemic
/usr/bin/python3 "$root/bench/first_light.py" "$work/mic.fifo" "$frame" 9 >"$work/lag.txt" &
probe=$!
pids+=($probe)
sleep 0.5
xdotool key space
sleep 1
r0=$(cpu_ticks "$app")
s0=$(date +%s.%N)
wait "$probe"
r1=$(cpu_ticks "$app")
s1=$(date +%s.%N)
xdotool key Escape
grep -v '^burst' "$work/lag.txt"
awk -v t=$((r1 - r0)) -v hz="$hz" -v a="$s0" -v b="$s1" \
  'BEGIN { printf "recording the bursts: %.2f %% of one core (%.0f s)\n", 100 * t / hz / (b - a), b - a }'
grep -q '^first light: median' "$work/lag.txt"
