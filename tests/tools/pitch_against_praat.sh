#!/usr/bin/env bash
# The pitch tracker against Praat, the independent oracle for speech.
#
# 1. Synthetic speech in four voices, clean and with noise at about 15 dB
#    SNR, against Praat's autocorrelation track of the clean speech: gross
#    pitch error (share of frames voiced in both more than 20 % off) at most
#    2 %, voicing decision error (share of all frames whose voicing differs)
#    at most 10 %.
# 2. Real recorded voices (tests/data/voices: men, women, a high voice, full
#    band and telephone band), built from the sound files of Debian packages
#    (scripts/deps.sh installs them), counted only over the frames where
#    Praat's two methods, autocorrelation and cross-correlation, agree (both
#    unvoiced, or both voiced within 20 %): gross error at most 1 %, voicing
#    error at most 6 % and median error at most 10 cents for every voice the
#    list holds to these limits, at most 2 % and 10 % for those it holds to
#    today's; the others are measured and shown.
# vocalume-render reads each file as a whole sound (each voiced stretch's
# octave chosen on all of it), as the program reads the files it opens.
# Praat runs at 1 ms steps from 50 Hz, to 600 Hz on the synthetic speech and
# 800 Hz on the real voices.
# Usage: pitch_against_praat.sh PATH-TO-vocalume-render
set -euo pipefail

render=$1
here=$(cd "$(dirname "$0")" && pwd)
voices_list="$here/../data/voices/voices.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in praat espeak-ng sox soxi; do
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

# Prints "frames gpe vde cents" for our table $1 against Praat's tracks with
# prefix $2: with $3 set, over the frames where ac and cc agree; otherwise
# against ac over all frames. Cents is the median error of the frames voiced
# in both.
compare() {
  local counts median
  counts=$(awk -v agree="$3" -v centsFile="$1.cents" -F'[ ,\t]' '
    FILENAME ~ /\.t$/ { acStart = $1; ccStart = $2; next }
    FILENAME ~ /\.ac$/ { for (i = 1; i <= NF; i++) ac[i] = $i; nac = NF; next }
    FILENAME ~ /\.cc$/ { for (i = 1; i <= NF; i++) cc[i] = $i; ncc = NF; next }
    FNR == 1 { next }
    {
      time = $2; ours = ($17 == 1) ? $16 : 0
      i = int((time - acStart) / 0.001 + 0.5) + 1
      j = int((time - ccStart) / 0.001 + 0.5) + 1
      if (i < 1 || i > nac || j < 1 || j > ncc) next
      ref = ac[i]; other = cc[j]
      if (agree && ((ref > 0) != (other > 0) || (ref > 0 && (other > 1.2 * ref || other < 0.8 * ref)))) next
      frames++
      if ((ref > 0) != (ours > 0)) vde++
      if (ref > 0 && ours > 0) {
        both++
        if (ours > 1.2 * ref || ours < 0.8 * ref) gpe++
        c = 1200 * log(ours / ref) / log(2); printf "%.4f\n", (c < 0 ? -c : c) > centsFile
      }
    }
    END {
      printf "%d %.2f %.2f\n", frames, both ? 100 * gpe / both : 0, frames ? 100 * vde / frames : 100
    }
  ' "$2.t" "$2.ac" "$2.cc" "$1")
  touch "$1.cents"
  median=$(sort -g "$1.cents" | awk '{ v[NR] = $1 } END { if (NR == 0) print "0.0"; else printf "%.1f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
  echo "$counts $median"
}

# Concatenates the sound files of folder $1, in name order, those of 0.4 to 6
# seconds, until about 12 seconds, into $2 at rate $3. Where $1 is one file
# (one speaker's longer recording in a folder of several speakers), its first
# 12 seconds.
gather() {
  local folder=$1 out=$2 rate=$3 total=0 d f
  local files=()
  if [[ -f $folder ]]; then
    sox "$folder" -c 1 -b 16 -r "$rate" "$out" trim 0 12 gain -n -3
    return
  fi
  while IFS= read -r f; do
    d=$(soxi -D "$f" 2>/dev/null) || continue
    awk -v d="$d" 'BEGIN { exit !(d >= 0.4 && d <= 6) }' || continue
    files+=("$f")
    total=$(awk -v t="$total" -v d="$d" 'BEGIN { print t + d }')
    awk -v t="$total" 'BEGIN { exit !(t >= 12) }' && break
  done < <(find "$folder" -maxdepth 1 -type f \( -name '*.wav' -o -name '*.ogg' \) | LC_ALL=C sort)
  ((${#files[@]} > 0)) || { echo "no sound files in $folder" >&2; return 1; }
  # sox joins only files of one rate: where a folder mixes rates, each file
  # is brought to the rate first.
  if (($(for f in "${files[@]}"; do soxi -r "$f"; done | sort -u | wc -l) > 1)); then
    local k
    for k in "${!files[@]}"; do
      sox "${files[$k]}" -c 1 -b 16 -r "$rate" "$work/part$k.wav"
      files[k]=$work/part$k.wav
    done
  fi
  sox "${files[@]}" -c 1 -b 16 -r "$rate" "$out" gain -n -3
}

failed=0
printf '%-24s %8s %8s %8s %8s\n' input frames "GPE %" "VDE %" cents

for entry in "${voices[@]}"; do
  IFS='|' read -r name voice text <<<"$entry"
  # shellcheck disable=SC2086
  espeak-ng $voice -w "$work/$name.wav" "$text"
  praat --run "$here/praat_pitch.praat" "$work/$name.wav" "$work/$name" 50 600
  add_noise "$work/$name.wav" "$work/$name-noisy.wav"
  for input in "$name" "$name-noisy"; do
    "$render" "$work/$input.wav" --csv "$work/$input.csv" -q
    read -r frames gpe vde cents < <(compare "$work/$input.csv" "$work/$name" "")
    verdict=ok
    if awk -v g="$gpe" -v v="$vde" -v n="$frames" 'BEGIN { exit !(g > 2 || v > 10 || n < 1000) }'; then
      verdict=FAILED
      failed=1
    fi
    printf '%-24s %8d %8s %8s %8s  %s\n' "synthetic $input" "$frames" "$gpe" "$vde" "$cents" "$verdict"
  done
done

# name | folder or file | band (full, 8k: resampled to 8 kHz, telephone: 300
# to 3400 Hz at 8 kHz) | limits, today or shown
while IFS='|' read -r name folder band held; do
  [[ -z $name || $name == \#* ]] && continue
  if [[ ! -e $folder ]]; then
    echo "missing $folder: run scripts/deps.sh to install the recorded voices" >&2
    exit 1
  fi
  case $band in
    full) gather "$folder" "$work/$name.wav" 11025 ;;
    8k) gather "$folder" "$work/$name.wav" 8000 ;;
    telephone)
      gather "$folder" "$work/$name-full.wav" 11025
      sox "$work/$name-full.wav" -r 8000 "$work/$name.wav" sinc 300-3400 ;;
    *) echo "unknown band $band for $name" >&2; exit 1 ;;
  esac
  praat --run "$here/praat_pitch.praat" "$work/$name.wav" "$work/$name" 50 800
  "$render" "$work/$name.wav" --csv "$work/$name.csv" -q
  read -r frames gpe vde cents < <(compare "$work/$name.csv" "$work/$name" 1)
  verdict=ok
  if [[ $held == shown ]]; then
    verdict=shown
  elif [[ $held == today ]]; then
    if awk -v g="$gpe" -v v="$vde" -v n="$frames" 'BEGIN { exit !(g > 2 || v > 10 || n < 5000) }'; then
      verdict=FAILED
      failed=1
    fi
  elif awk -v g="$gpe" -v v="$vde" -v c="$cents" -v n="$frames" 'BEGIN { exit !(g > 1 || v > 6 || c > 10 || n < 5000) }'; then
    verdict=FAILED
    failed=1
  fi
  printf '%-24s %8d %8s %8s %8s  %s\n' "$name" "$frames" "$gpe" "$vde" "$cents" "$verdict"
done <"$voices_list"
exit $failed
