#!/usr/bin/env bash
# Measures whether the test suite catches plausible faults. In a temporary
# clone of a revision it puts the faults of scripts/mutants.txt into the
# product code one at a time, rebuilds, and runs the tests that need neither
# sound server nor display (and, for entries marked [tsan], the concurrency
# tests under ThreadSanitizer). A fault is killed when a test fails, survived
# when all pass. Prints one line per fault and the score; exits non-zero when
# any survived. Takes minutes; not part of scripts/test.sh.
#
#   bash scripts/mutants.sh [REVISION] [PATTERN]
#   bash scripts/mutants.sh --check [REVISION]
#
# REVISION (default HEAD) is the commit whose code and tests are tried; the
# list is always this working tree's. PATTERN (an extended regular
# expression) runs only the faults whose description matches it. JOBS sets
# the build and test parallelism (2).
# --check only verifies that every entry names one line of the revision.
set -uo pipefail

check_only=0
if [[ ${1:-} == --check ]]; then check_only=1; shift; fi

root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/scripts/mutants.txt
revision=${1:-HEAD}
only=${2:-}
jobs=${JOBS:-2}

die() { echo "mutants: $*" >&2; exit 2; }

# --- read the list
names=() files=() froms=() tos=() tsans=()
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }
entry_done() {
  [[ -z ${name:-} ]] && return
  [[ -n $file && -n $from && -n $to ]] || die "entry \"$name\" needs an @ file, a - line and a + line"
  if [[ -z $only || $name =~ $only ]]; then
    names+=("$name") files+=("$file") froms+=("$from") tos+=("$to") tsans+=("$tsan")
  fi
}
name='' file='' from='' to='' tsan=0
while IFS= read -r line || [[ -n $line ]]; do
  case $line in
    '#'* | '') ;;
    '== '*)
      entry_done
      name=$(trim "${line#== }") file='' from='' to='' tsan=0
      if [[ $name == *'[tsan]' ]]; then tsan=1; name=$(trim "${name%\[tsan\]}"); fi ;;
    '@ '*) file=$(trim "${line#@ }") ;;
    '- '*) from=$(trim "${line#- }") ;;
    '+ '*) to=$(trim "${line#+ }") ;;
    *) die "cannot read this line of $list: $line" ;;
  esac
done <"$list"
entry_done
((${#names[@]} > 0)) || die "no fault in $list matches \"$only\""

# --- the clone
work=$(mktemp -d "${TMPDIR:-/tmp}/vocalume-mutants.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree=$work/tree
git clone --quiet --no-checkout "$root" "$tree" || die "cannot clone $root"
commit=$(git -C "$root" rev-parse --verify "$revision^{commit}") || die "no revision $revision"
git -C "$tree" checkout --quiet --detach "$commit" || die "cannot check out $revision"

# Counts the lines of a file that hold a text, and how often the text occurs.
occurrences() {
  FROM=$2 awk '{ s = $0; while ((i = index(s, ENVIRON["FROM"])) > 0) { n++; s = substr(s, i + 1) } }
               END { print n + 0 }' "$1"
}
# Replaces the one occurrence of a text in a file.
replace() {
  FROM=$2 TO=$3 awk '{ i = index($0, ENVIRON["FROM"])
                       if (i > 0) $0 = substr($0, 1, i - 1) ENVIRON["TO"] substr($0, i + length(ENVIRON["FROM"]))
                       print }' "$1" >"$1.mutant" && mv "$1.mutant" "$1"
}

# Every entry must name exactly one place before anything is built.
bad=0
for i in "${!names[@]}"; do
  path=$tree/${files[i]}
  if [[ ! -f $path ]]; then
    echo "mutants: \"${names[i]}\": no file ${files[i]}" >&2; bad=1; continue
  fi
  n=$(occurrences "$path" "${froms[i]}")
  if [[ $n != 1 ]]; then
    echo "mutants: \"${names[i]}\": \"${froms[i]}\" occurs $n times in ${files[i]}, must occur once" >&2; bad=1
  fi
  [[ ${froms[i]} != "${tos[i]}" ]] || { echo "mutants: \"${names[i]}\" changes nothing" >&2; bad=1; }
done
((bad == 0)) || die "fix the list before measuring (revision $(git -C "$tree" rev-parse --short HEAD))"
if ((check_only)); then
  echo "All ${#names[@]} faults name one line each in $(git -C "$tree" rev-parse --short HEAD)"
  exit 0
fi

# --- builds: the optimised one for the unit tests, ThreadSanitizer as needed
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$tree
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
  launcher=()
fi
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$tree/tests/support/tsan.supp"
common=(-G Ninja -DVOCALUME_BUILD_APP=OFF -DVOCALUME_BUILD_BENCH=OFF "${launcher[@]}")
log=$work/log

unit_build() { cmake --build "$tree/build/unit" -j"$jobs" >"$log" 2>&1; }

# The tests without sound server or display, run as their test programs (one
# process each instead of one a test case), the quickest program first and
# each stopping at its first failure: a caught fault shows within seconds.
declare -A filters=()
programs=() others=()
list_tests() {
  local line pending=''
  while IFS= read -r line; do
    if [[ $line =~ ^([0-9]+):\ Test\ command:\ ([^ ]+)\ \"--gtest_filter=([^\"]+)\" ]]; then
      local exe=${BASH_REMATCH[2]}
      [[ -n ${filters[$exe]:-} ]] || programs+=("$exe")
      filters[$exe]+="${filters[$exe]:+:}${BASH_REMATCH[3]}"
    elif [[ $line =~ ^([0-9]+):\ Test\ command: ]]; then
      pending=${BASH_REMATCH[1]}
    elif [[ -n $pending && $line =~ Test\ +\#$pending:\ (.+)$ ]]; then
      others+=("${BASH_REMATCH[1]}") pending=''
    fi
  done < <(cd "$tree/build/unit" && ctest -N -V -LE 'live|desktop')
  ((${#programs[@]} + ${#others[@]} > 0))
}
run_program() {
  (cd "$(dirname "$1")" && timeout --foreground 1800 "$1" --gtest_filter="${filters[$1]}" --gtest_fail_fast) >"$log" 2>&1
}
unit_tests() {
  local exe name
  for exe in "${programs[@]}"; do run_program "$exe" || return 1; done
  for name in "${others[@]}"; do
    (cd "$tree/build/unit" && ctest -R "^$name\$" --timeout 1800) >"$log" 2>&1 ||
      { echo "[  FAILED  ] $name" >>"$log"; return 1; }
  done
}
# The first failed test case of the last run.
first_failure() {
  grep -m1 -oE '^\[  FAILED  \] [^ ,]+' "$log" | sed 's/^\[  FAILED  \] //'
}
tsan_build() {
  cmake --build "$tree/build/tsan" -j"$jobs" --target analysis_tests capture_tests >"$log" 2>&1
}
tsan_tests() {
  (cd "$tree/build/tsan" && ctest -R 'Threads\.' -j"$jobs" --timeout 1800 --stop-on-failure) >"$log" 2>&1
}

start=$SECONDS
echo "Trying ${#names[@]} faults on $(git -C "$tree" log -1 --format='%h %s')"
cmake -S "$tree" -B "$tree/build/unit" -DCMAKE_BUILD_TYPE=Release "${common[@]}" >"$log" 2>&1 &&
  unit_build && list_tests || { cat "$log"; die "the unfaulted code does not build"; }
# Quickest test program first, timed on the unfaulted code, which must pass.
timed=()
for exe in "${programs[@]}"; do
  t0=$SECONDS
  run_program "$exe" || { cat "$log"; die "the unfaulted code fails $(basename "$exe")"; }
  timed+=("$((SECONDS - t0)) $exe")
done
mapfile -t programs < <(printf '%s\n' "${timed[@]}" | sort -n | cut -d' ' -f2-)
for name in "${others[@]}"; do
  (cd "$tree/build/unit" && ctest -R "^$name\$" --timeout 1800) >"$log" 2>&1 ||
    { cat "$log"; die "the unfaulted code fails $name"; }
done
# The ThreadSanitizer build; that the unfaulted code passes this stage is
# scripts/test.sh's to show (the stage takes long).
if [[ " ${tsans[*]} " == *' 1 '* ]]; then
  cmake -S "$tree" -B "$tree/build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOCALUME_SANITIZE=thread \
    "${common[@]}" >"$log" 2>&1 && tsan_build || { cat "$log"; die "the ThreadSanitizer build failed"; }
fi
echo "Unfaulted code built and passed in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"

killed=0 survived=0 broken=0
for i in "${!names[@]}"; do
  t0=$SECONDS
  path=$tree/${files[i]}
  replace "$path" "${froms[i]}" "${tos[i]}"
  if ! unit_build; then
    verdict="does not build"; broken=$((broken + 1))
  elif ! unit_tests; then
    first=$(first_failure)
    verdict="killed${first:+ by $first}"
    killed=$((killed + 1))
  elif ((tsans[i])) && ! { tsan_build && tsan_tests; }; then
    verdict="killed by ThreadSanitizer"; killed=$((killed + 1))
  else
    verdict="SURVIVED"; survived=$((survived + 1))
  fi
  git -C "$tree" checkout --quiet -- "${files[i]}"
  printf '%-58s %s (%d s)\n' "${names[i]}" "$verdict" $((SECONDS - t0))
done

total=$((killed + survived))
notes=""
((broken == 0)) || notes=", $broken did not build"
echo "Score: $killed of $total killed, $survived survived$notes ($(((SECONDS - start) / 60)) min)"
((survived == 0 && broken == 0))
