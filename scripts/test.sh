#!/usr/bin/env bash
# Installs what is missing, builds Vocalume and runs every test: the whole
# suite in an optimised build (the live sound and desktop tests included),
# the unit tests and the desktop test again under AddressSanitizer +
# UndefinedBehaviorSanitizer, the concurrency tests under ThreadSanitizer,
# the analysis once more with the portable kernels alone, and the browser
# edition in the system's Chromium, WebKitGTK and Firefox ESR (with
# VOCALUME_TEST_ARM64=1 also cross-built for 64-bit ARM and run under
# emulation). Ends with one line: "N passed, N failed". Each stage is a preset
# of CMakePresets.json (configure, build and test), built in build/STAGE.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh" || { echo "0 passed, 1 failed"; exit 1; }

jobs=$(nproc 2>/dev/null || echo 2)
passed=0
failed=0
logdir=$root/build/test-logs
mkdir -p "$logdir"

# configure, build and run NAME: the preset of that name (the sanitizers'
# options are the test presets' environment).
configure() { (cd "$root" && cmake --preset "$1") >"$logdir/$1-configure.log" 2>&1; }
build() { (cd "$root" && cmake --build --preset "$1" -j"$jobs") >"$logdir/$1-build.log" 2>&1; }
run() {
  local name=$1
  local out=$logdir/$name-ctest.log
  (cd "$root" && ctest --preset "$name" -j"$jobs") >"$out" 2>&1
  local summary total bad
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  if [[ -z $summary ]]; then
    echo "[$name] no test summary; see $out"
    tail -20 "$out"
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  echo "[$name] $((total - bad)) passed, $bad failed"
  if ((bad > 0)); then
    sed -n '/The following tests FAILED/,$p' "$out"
    grep -E -B2 -A25 '\*\*\*Failed|Failure|ERROR: .*Sanitizer|WARNING: ThreadSanitizer|runtime error' "$out" | head -150
  fi
}
stage() {
  local name=$1 build_ok=1
  echo "== $name: building"
  if ! configure "$name" || ! build "$name"; then
    echo "[$name] build failed; see $logdir/$name-*.log"
    tail -40 "$logdir/$name-build.log" 2>/dev/null || tail -40 "$logdir/$name-configure.log"
    failed=$((failed + 1))
    build_ok=0
  fi
  if ((build_ok)); then
    echo "== $name: testing"
    run "$name"
  fi
}

# 1. The optimised build: everything, the program and benchmarks included.
stage release

# 2. Unit tests and the desktop program under AddressSanitizer and
# UndefinedBehaviorSanitizer (the program quits while recording there too);
# not the live sound tests nor the comparison with the reference tool.
stage asan

# 3. The ring, worker and sound-thread tests (suites named ...Threads) under
# ThreadSanitizer.
stage tsan

# 4. The analysis with the portable kernels alone, as every processor without
#    the x86-64 vector kernels runs it: the identity tests, the kernels
#    against the direct DFT and direct sums, and the demo picture byte for
#    byte as the optimised build draws it.
stage portable
same_picture() {
  local name=$1 args bad=$failed
  local ours=$root/build/$name/tools/vocalume-render theirs=$root/build/release/tools/vocalume-render
  for args in "" "--whole"; do
    # shellcheck disable=SC2086
    if [[ -x $ours && -x $theirs ]] &&
      "$ours" $args "$root/resources/demo.wav" -o "$logdir/demo-$name.png" &&
      "$theirs" $args "$root/resources/demo.wav" -o "$logdir/demo-release.png" &&
      cmp -s "$logdir/demo-$name.png" "$logdir/demo-release.png"; then
      passed=$((passed + 1))
    else
      echo "[$name] the demo picture ($args) differs from the optimised build's (or was not drawn)"
      failed=$((failed + 1))
    fi
  done
  ((failed > bad)) || echo "[$name] the demo pictures equal the optimised build's"
}
same_picture portable

# 5. The browser edition: the same core and view compiled to WebAssembly
#    (scripts/web.sh), tested in the system's Chromium (tests/web): the page,
#    the microphone, the picture of an opened file byte for byte as the
#    optimised build's render tool draws it, the saved files, the settings,
#    working offline; then the tests the WebDriver protocols can drive in
#    WebKitGTK and Firefox ESR (tests/web/engines.sh).
web_results() {  # LABEL LOG
  local summary good bad
  summary=$(grep -E "^\[$1\] [0-9]+ passed, [0-9]+ failed$" "$2" | tail -1)
  if [[ -z $summary ]]; then
    echo "[$1] no test summary; see $2"
    tail -20 "$2"
    failed=$((failed + 1))
    return
  fi
  good=$(sed -E 's/.*\] ([0-9]+) passed.*/\1/' <<<"$summary")
  bad=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$summary")
  passed=$((passed + good))
  failed=$((failed + bad))
  echo "[$1] $good passed, $bad failed"
  ((bad == 0)) || grep -A6 'FAILED' "$2" | grep "^\[$1\]" -A6 | head -60
}
web_stage() {
  echo "== web: building"
  # npm comes with nodejs from some sources and as a package of its own in
  # Debian; it installs the pinned playwright-core, never a browser.
  : >"$logdir/web.log"
  command -v npm >/dev/null || bash "$root/scripts/deps.sh" npm >>"$logdir/web.log" 2>&1
  if ! bash "$root/scripts/web.sh" --no-serve >>"$logdir/web.log" 2>&1 ||
    ! (cd "$root/tests/web" && npm ci --no-audit --no-fund) >>"$logdir/web.log" 2>&1; then
    echo "[web] build failed; see $logdir/web.log"
    tail -30 "$logdir/web.log"
    failed=$((failed + 1))
    return
  fi
  echo "== web: testing"
  export VOCALUME_RENDER=$root/build/release/tools/vocalume-render
  node "$root/tests/web/browser_test.js" >"$logdir/web-chromium.log" 2>&1
  web_results "web chromium" "$logdir/web-chromium.log"
  bash "$root/tests/web/engines.sh" >"$logdir/web-engines.log" 2>&1
  web_results "web webkit" "$logdir/web-engines.log"
  web_results "web firefox" "$logdir/web-engines.log"
}
web_stage

# 6. On request (VOCALUME_TEST_ARM64=1): the toolkit-free parts cross-built
#    for 64-bit ARM, their unit tests under emulation, and the demo picture
#    byte for byte as on x86-64.
if [[ ${VOCALUME_TEST_ARM64:-0} == 1 ]]; then
  echo "== arm64: cross-building and testing under emulation"
  if VOCALUME_X86_RENDER=$root/build/release/tools/vocalume-render \
    bash "$root/scripts/cross-arm64.sh" "$root/build/arm64" >"$logdir/arm64.log" 2>&1; then
    passed=$((passed + 1))
    echo "[arm64] passed"
  else
    failed=$((failed + 1))
    echo "[arm64] failed; see $logdir/arm64.log"
    tail -30 "$logdir/arm64.log"
  fi
fi

echo "$passed passed, $failed failed"
((failed == 0))
