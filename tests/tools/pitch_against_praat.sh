#!/usr/bin/env bash
# The pitch tracker on synthetic speech in four voices, clean and with noise
# at about 15 dB SNR, against Praat's autocorrelation track of the clean
# speech (1 ms step, 60 to 600 Hz). Prints gross pitch error (share of frames
# voiced in both that are more than 20 % off) and voicing decision error
# (share of all frames whose voicing differs) per input, and fails when any
# gross error passes 2 % or any voicing error 10 %.
# Usage: pitch_against_praat.sh PATH-TO-vocalume-render
set -euo pipefail

render=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in praat espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps.sh installs it)" >&2; exit 1; }
done

text1="When the sunlight strikes raindrops in the air, they act as a prism and form a rainbow."
text2="She sells bright yellow lemons every morning, singing softly while the market wakes up."

# name | espeak-ng voice and pitch | text
voices=(
  "low|-v en+m3 -p 20|$text1"
  "male|-v en+m1 -p 50|$text2"
  "female|-v en+f3 -p 65|$text1"
  "high|-v en+f4 -p 95|$text2"
)

# Mixes white noise into $1 at 15 dB below its RMS level, written to $2.
add_noise() {
  local rms vol
  rms=$(sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
  # sox's white noise is uniform: its RMS is a third of its peak squared.
  vol=$(awk -v r="$rms" 'BEGIN { printf "%.6f", r / 10^(15/20) * sqrt(3) }')
  sox -R "$1" "$work/noise.wav" synth whitenoise vol "$vol"
  sox -m -v 1 "$1" -v 1 "$work/noise.wav" "$2"
}

# Prints "frames gpe vde" for our table $1 against Praat's track $2.
compare() {
  awk -F'[ ,]' '
    FNR == NR { n++; t[n] = $1; f[n] = $2; next }
    FNR == 1 { t1 = t[1]; next }
    {
      time = $2; ours = ($17 == 1) ? $16 : 0
      i = int((time - t1) / 0.001 + 0.5) + 1
      if (i < 1 || i > n || (time - t[i]) > 0.0006 || (t[i] - time) > 0.0006) next
      frames++
      ref = f[i]
      if ((ref > 0) != (ours > 0)) vde++
      if (ref > 0 && ours > 0) { both++; if (ours > 1.2 * ref || ours < 0.8 * ref) gpe++ }
    }
    END { printf "%d %.2f %.2f\n", frames, both ? 100 * gpe / both : 0, frames ? 100 * vde / frames : 100 }
  ' "$2" "$1"
}

failed=0
printf '%-14s %8s %8s %8s\n' input frames "GPE %" "VDE %"
for entry in "${voices[@]}"; do
  IFS='|' read -r name voice text <<<"$entry"
  # shellcheck disable=SC2086
  espeak-ng $voice -w "$work/$name.wav" "$text"
  praat --run "$here/praat_pitch.praat" "$work/$name.wav" "$work/$name.ref"
  add_noise "$work/$name.wav" "$work/$name-noisy.wav"
  for input in "$name" "$name-noisy"; do
    "$render" "$work/$input.wav" --csv "$work/$input.csv" -q
    read -r frames gpe vde < <(compare "$work/$input.csv" "$work/$name.ref")
    verdict=ok
    if awk -v g="$gpe" -v v="$vde" -v n="$frames" 'BEGIN { exit !(g > 2 || v > 10 || n < 1000) }'; then
      verdict=FAILED
      failed=1
    fi
    printf '%-14s %8d %8s %8s  %s\n' "$input" "$frames" "$gpe" "$vde" "$verdict"
  done
done
exit $failed
