#!/usr/bin/env bash
# The coach's alignment on real recorded voices (the speech samples of the
# codec2-examples package: LGPL-2.1, recorded by their authors; see
# /usr/share/doc/codec2-examples/copyright) and two espeak-ng voices. Each
# is the model; its attempt is made with sox: the first 45 % slowed to 0.8
# and the rest sped up to 1.25 (tempo, 20 ms segments, so that sox itself
# moves the sound by only a few ms from the nominal warp), then shifted in
# pitch by +2 or -1 semitones, or by +1.5 semitones, 10 dB quieter and over
# white noise 20 dB below the speech. Over the attempt's sounding frames (at
# most 35 dB under its loudest, measured before the pitch shift and the
# noise), the model time --align-csv gives is compared with the known warp.
# Prints median and 95th percentile error per case, and fails when any
# median passes 10 ms or any 95th percentile 30 ms.
# Usage: alignment_accuracy.sh PATH-TO-vocalume-render
set -euo pipefail

render=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples=/usr/share/codec2/wav

for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps.sh installs it)" >&2; exit 1; }
done
[ -d "$samples" ] || { echo "missing $samples (scripts/deps.sh installs codec2-examples)" >&2; exit 1; }

# Men and women, clean and over a radio link.
voices=()
for name in hts1a hts2a mmt1 morig forig cross vk5qi; do
  sox "$samples/$name.wav" "$work/$name.wav"
  voices+=("$name")
done
espeak-ng -v en+m3 -p 30 -w "$work/espeak-low.wav" "When the sunlight strikes raindrops in the air, they act as a prism."
espeak-ng -v en+f3 -p 70 -w "$work/espeak-high.wav" "She sells bright yellow lemons every morning, singing softly."
voices+=(espeak-low espeak-high)

# Prints "frames median p95" of the alignment $1 against the warp that slows
# the first $2 seconds to 0.8 and speeds the rest to 1.25, over the frames
# of the frame table $3 within 35 dB of its loudest.
compare() {
  local top
  top=$(tail -n +2 "$3" | cut -d, -f3 | sort -g | awk '{ v[NR] = $1 } END { print v[int(0.99 * NR)] }')
  awk -F, -v cut="$2" -v top="$top" '
    FNR == NR { if (FNR > 1) energy[FNR - 1] = $3; n = FNR - 1; next }
    FNR == 1 { bound = cut / 0.8; next }
    {
      i = FNR - 1
      if (i > n || energy[i] < top - 35) next
      t = $1; truth = (t < bound) ? 0.8 * t : cut + 1.25 * (t - bound)
      e = 1000 * ($2 - truth); print (e < 0 ? -e : e)
    }
  ' "$3" "$1" | sort -g | awk '{ v[NR] = $1 } END { printf "%d %.1f %.1f\n", NR, v[int(0.5 * NR) + 1], v[int(0.95 * NR) + 1] }'
}

failed=0
printf '%-12s %-10s %7s %8s %8s\n' voice case frames "median" "p95 ms"
for voice in "${voices[@]}"; do
  model="$work/$voice.wav"
  total=$(soxi -s "$model")
  rate=$(soxi -r "$model")
  first=$((total * 45 / 100))
  split=$(awk -v a="$first" -v r="$rate" 'BEGIN { printf "%.9f", a / r }')
  sox "$model" "$work/a.wav" trim 0 "${first}s"
  sox "$model" "$work/b.wav" trim "${first}s"
  sox "$work/a.wav" "$work/a2.wav" tempo -s 0.8 20
  sox "$work/b.wav" "$work/b2.wav" tempo -s 1.25 20
  sox "$work/a2.wav" "$work/b2.wav" "$work/retimed.wav"
  "$render" "$work/retimed.wav" --csv "$work/frames.csv" -q
  sox "$work/retimed.wav" "$work/higher.wav" pitch 200 20
  sox "$work/retimed.wav" "$work/lower.wav" pitch -100 20
  sox "$work/retimed.wav" "$work/q.wav" pitch 150 20 vol 0.316
  rms=$(sox "$work/q.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
  # sox's white noise is uniform: its RMS is a third of its peak squared.
  level=$(awk -v r="$rms" 'BEGIN { printf "%.6f", r / 10^(20/20) * sqrt(3) }')
  sox -R "$work/q.wav" "$work/noise.wav" synth whitenoise vol "$level"
  sox -m -v 1 "$work/q.wav" -v 1 "$work/noise.wav" "$work/noisy.wav"
  for case in retimed higher lower noisy; do
    "$render" "$work/$case.wav" --model "$model" --align-csv "$work/align.csv" -q
    read -r frames median p95 < <(compare "$work/align.csv" "$split" "$work/frames.csv")
    verdict=ok
    if awk -v m="$median" -v p="$p95" -v n="$frames" 'BEGIN { exit !(m > 10 || p > 30 || n < 500) }'; then
      verdict=FAILED
      failed=1
    fi
    printf '%-12s %-10s %7d %8s %8s  %s\n' "$voice" "$case" "$frames" "$median" "$p95" "$verdict"
  done
done
exit $failed
