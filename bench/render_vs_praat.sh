#!/bin/bash
# vocalume-render on 64 s of speech against Praat's autocorrelation pitch
# (To Pitch (ac) at a 1 ms step, 60 to 600 Hz, as the pitch oracle test runs
# it) on the same file, and against another build of the tool:
#   - the picture of the last window (-o), the frame table with pitch
#     (--csv), and the whole picture (--whole -o);
#   - wall seconds and peak memory of the whole process, the median of RUNS
#     runs each (after one run not counted), the commands taking turns so
#     that a machine whose speed drifts treats them alike;
#   - ratios of the medians: ours against Praat, and against the other build.
#   bash bench/render_vs_praat.sh [PATH/TO/vocalume-render] [PATH/TO/OTHER/vocalume-render] [RUNS]
# The speech is four synthetic voices reading the same sentences (espeak-ng),
# joined and cut to 64 s at 11025 Hz (sox): the same file on every run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
render=$(realpath "${1:-$root/build/release/tools/vocalume-render}")
other=${2:+$(realpath "$2")}
runs=${3:-5}
for tool in praat espeak-ng sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps.sh installs it)" >&2; exit 1; }
done
[ -x "$render" ] || { echo "no tool at $render: build first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

text="When the sunlight strikes raindrops in the air, they act as a prism and form a rainbow. \
She sells bright yellow lemons every morning, singing softly while the market wakes up. \
The rainbow is a division of white light into many beautiful colours."
parts=()
for voice in "en+m3 -p 20" "en+f3 -p 65" "en+m1 -p 50" "en+f4 -p 95"; do
  # shellcheck disable=SC2086
  espeak-ng -v $voice -w "$work/part${#parts[@]}.wav" "$text"
  parts+=("$work/part${#parts[@]}.wav")
done
sox "${parts[@]}" "${parts[0]}" -c 1 -b 16 "$work/joined.wav" trim 0 64 2>/dev/null
sox "$work/joined.wav" -r 11025 "$work/speech.wav" 2>/dev/null
cat >"$work/pitch.praat" <<'EOF'
form Pitch
  sentence input
endform
Read from file: input$
To Pitch (ac): 0.001, 60, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 600
EOF

# Prints "wall-seconds peak-KiB" of one run of the command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

speech=$work/speech.wav
declare -A command
command[praat]="praat --run $work/pitch.praat $speech"
jobs=(praat)
for who in ours ${other:+before}; do
  tool=$render
  [ "$who" = before ] && tool=$other
  command[$who-picture]="$tool -q $speech -o $work/$who.png"
  command[$who-csv]="$tool -q $speech --csv $work/$who.csv"
  command[$who-whole]="$tool -q $speech --whole -o $work/$who-whole.png"
  jobs+=("$who-picture" "$who-csv" "$who-whole")
done

for job in "${jobs[@]}"; do
  # shellcheck disable=SC2086
  measure ${command[$job]} >/dev/null
done
for ((run = 0; run < runs; ++run)); do
  for job in "${jobs[@]}"; do
    # shellcheck disable=SC2086
    measure ${command[$job]} >>"$work/$job.times"
  done
done

declare -A wall peak
for job in "${jobs[@]}"; do
  wall[$job]=$(cut -d' ' -f1 "$work/$job.times" | median)
  peak[$job]=$(cut -d' ' -f2 "$work/$job.times" | median)
done
printf '%-16s %10s %10s %12s %12s\n' job "wall s" "peak MiB" "/ Praat" "/ before"
for job in "${jobs[@]}"; do
  against=${job/ours-/before-}
  printf '%-16s %10.3f %10.1f %12.3f %12s\n' "$job" "${wall[$job]}" "$(awk -v k="${peak[$job]}" 'BEGIN { print k / 1024 }')" \
    "$(awk -v a="${wall[$job]}" -v b="${wall[praat]}" 'BEGIN { print a / b }')" \
    "$([[ $job == ours-* && -n ${other:-} ]] && awk -v a="${wall[$job]}" -v b="${wall[$against]}" 'BEGIN { printf "%.3f", a / b }' || echo -)"
done
echo "(medians of $runs runs, $(nproc) processors; 64 s of speech)"
