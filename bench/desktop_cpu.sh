#!/bin/bash
# What the running program costs and how far it lags, measured on the real
# program under a private X server with a virtual microphone:
#   - processor time of the whole program while recording speech, while
#     idle after a pause, and while playing the session back (P from the
#     session's start, the play line moving and the pages turning), as a
#     share of one core;
#   - the lag from a sound onset to its first lit column on the screen: clicks
#     after silence, found in successive screenshots.
#   bash bench/desktop_cpu.sh [PATH/TO/vocalume] [SPEECH.wav] [MODEL.wav]
# With MODEL.wav the model lane shows it (View > Model...) while recording.
# Default settings (refresh 10, ratio 3); ZOOM=N in the environment stores
# the zoom N (frames a column, View > Zoom out) before the program starts.
# Every service is started here and stopped by its PID.
set -u
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
if [ "$zoom" != 1 ]; then
  mkdir -p "$(dirname "$settings")"
  printf '[config]\nzoom=%s\n' "$zoom" >"$settings"
  echo "zoom: $zoom frames a column"
fi
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

# 2. Lag: a short loud burst after silence. Screenshots are taken as fast as
# the X server gives them; in the first one that shows the burst, its
# left-most lit column lies d pixels (frames, 11 samples each) left of the
# right edge, so it reached the screen about d frames before that shot.
sox -n -r 44100 -c 1 "$work/click.wav" synth 0.05 whitenoise gain -3 pad 1.5 1.5
width=$(xdotool getwindowgeometry "$frame" | awk '/Geometry/ { split($2, g, "x"); print g[1] }')
height=$(xdotool getwindowgeometry "$frame" | awk '/Geometry/ { split($2, g, "x"); print g[2] }')
row=$((height / 2 + 12))
# With a model the picture of the voice is the lower lane.
[ -n "$model" ] && row=$((height * 3 / 4 + 12))
frame_ms=$(awk 'BEGIN { print 11 * 1000 / 11025 }')
lags=()
unclean=0
xdotool key space
# Let silence push the earlier speech out of the picture.
sleep 3
for click in 1 2 3 4 5 6 7; do
  rm -f "$work"/shot-*.png
  start=$(date +%s.%N)
  # A short playback buffer, so that the server does not render ahead.
  paplay --latency-msec=20 -d vsink "$work/click.wav" &
  player=$!
  pids+=($player)
  onset=$(awk -v s="$start" 'BEGIN { printf "%.3f", s + 1.5 }')
  n=0
  while awk -v now="$(date +%s.%N)" -v o="$onset" 'BEGIN { exit !(now < o + 1.2) }'; do
    xwd -silent -id "$frame" >"$work/shot.xwd"
    now=$(date +%s.%N)
    # Left-most lit column of the middle row, or nothing.
    x=$(/usr/bin/convert "xwd:$work/shot.xwd" -crop "${width}x1+0+$row" txt:- 2>/dev/null |
      awk -F'[,:() ]+' -v w="$width" 'NR > 1 && $1 >= 3 && $1 < w - 3 && $3 + $4 + $5 > 90 { print $1; exit }')
    n=$((n + 1))
    if [ -n "$x" ] && awk -v now="$now" -v o="$onset" 'BEGIN { exit !(now <= o) }'; then
      # Lit before the click began: not a clean measurement.
      unclean=$((unclean + 1))
      break
    fi
    if [ -n "$x" ]; then
      lag=$(awk -v now="$now" -v o="$onset" -v d=$((width - 3 - x)) -v f="$frame_ms" \
        'BEGIN { printf "%.3f", now - o - d * f / 1000 }')
      lags+=("$lag")
      [ -n "${LAG_DEBUG:-}" ] && { /usr/bin/convert "xwd:$work/shot.xwd" "$LAG_DEBUG/lag-$click.png"; echo "x=$x now=$now onset=$onset n=$n" >>"$LAG_DEBUG/lag.txt"; }
      break
    fi
  done
  wait "$player" 2>/dev/null
done
xdotool key Escape
if [ ${#lags[@]} -eq 0 ]; then
  echo "lag: no burst was seen on the screen"
  exit 1
fi
printf '%s\n' "${lags[@]}" | sort -n | awk -v u=$unclean '{ v[NR] = $1 } END {
  printf "lag from sound onset to its first lit column: median %.3f s (%d clicks, %.3f to %.3f s; %d not clean)\n",
    v[int((NR + 1) / 2)], NR, v[1], v[NR], u }'
