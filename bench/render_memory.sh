#!/bin/bash
# Peak memory of vocalume-render (the whole process, as the system counts it)
# on long sound: the picture of the last window and the frame table of a
# 15-minute file, the frame table of 64 s, and an endless WAV on a pipe with
# --csv, which is refused once it is too long for a table.
#   bash bench/render_memory.sh [PATH/TO/vocalume-render]
# The sound is ten seconds of gliding tones and hiss made by sox, repeated.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
render=$(realpath "${1:-$root/build/release/tools/vocalume-render}")
for tool in sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps.sh installs it)" >&2; exit 1; }
done
[ -x "$render" ] || { echo "no tool at $render: build first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 11025 -c 1 -b 16 "$work/tone.wav" synth 4 sine 140:280 vol 0.3
sox -n -r 11025 -c 1 -b 16 "$work/hiss.wav" synth 1 whitenoise vol 0.1
sox "$work/tone.wav" "$work/hiss.wav" "$work/tone.wav" "$work/hiss.wav" "$work/ten.wav"
sox "$work/ten.wav" "$work/64s.wav" repeat 6 trim 0 64
sox "$work/ten.wav" "$work/15min.wav" repeat 89

# Prints "wall-seconds peak-MiB exit-status" of one run.
measure() {
  local status=0
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
  tail -1 "$work/time" | awk -v s="$status" '{ printf "%8.2f %10.1f %6d", $1, $2 / 1024, s }'
}
# An endless WAV: a header promising the most a WAV can hold, then noise
# for ever.
endless() {
  printf 'RIFF\xff\xff\xff\xffWAVEfmt \x10\0\0\0\x01\0\x01\0\x11\x2b\0\0\x22\x56\0\0\x02\0\x10\0data\xff\xff\xff\xff'
  cat /dev/urandom
}

printf '%-32s %8s %10s %6s\n' job "wall s" "peak MiB" exit
printf '%-32s %s\n' "64 s, --csv" "$(measure "$render" -q "$work/64s.wav" --csv "$work/a.csv")"
printf '%-32s %s\n' "15 min, -o" "$(measure "$render" -q "$work/15min.wav" -o "$work/a.png")"
printf '%-32s %s\n' "15 min, --csv" "$(measure "$render" -q "$work/15min.wav" --csv "$work/b.csv")"
export -f endless
printf '%-32s %s\n' "endless pipe, --csv" "$(measure bash -c "set -o pipefail; endless | '$render' -q - --csv '$work/c.csv'")"
echo "     (the endless one ends: $(tr '\n' ' ' <"$work/err"))"
