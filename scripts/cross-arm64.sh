#!/usr/bin/env bash
# Builds the toolkit-free parts of Vocalume (the libraries, vocalume-render
# and the unit tests) for 64-bit ARM with Debian's cross compiler, runs the
# unit tests under qemu-user, and checks that the ARM build draws the demo
# recording byte for byte as the x86-64 build does. Leaves
# DIR/vocalume-render-arm64, which runs the ARM vocalume-render under qemu.
#
#   bash scripts/cross-arm64.sh DIR
#
# VOCALUME_X86_RENDER may name an x86-64 vocalume-render already built (the
# test command passes its own); otherwise one is built in DIR/x86-64.
#
# Installs what is missing (the cross compiler, qemu-user and the arm64
# builds of the libraries, through Debian's multiarch packages). Exits 0 only
# when everything built, every test passed and the pictures are equal.
set -euo pipefail

if (($# != 1)); then
  echo "usage: bash scripts/cross-arm64.sh DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
sysroot=/usr/aarch64-linux-gnu

# --- what the build needs --------------------------------------------------
host_packages=(g++-aarch64-linux-gnu qemu-user cmake ninja-build pkg-config googletest libcli11-dev)
arm_packages=(libsndfile1-dev:arm64 libsoxr-dev:arm64 libpng-dev:arm64)
bash "$root/scripts/deps.sh" "${host_packages[@]}" "${arm_packages[@]}" || exit 1

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# --- the cross toolchain ---------------------------------------------------
# No fused multiply-adds anywhere: GCC on ARM would otherwise contract a * b
# + c into one rounding, and the picture would differ from x86-64's.
toolchain=$out/aarch64-toolchain.cmake
cat >"$toolchain" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L $sysroot)
EOF
export PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig
export QEMU_LD_PREFIX=$sysroot

step() { echo "== arm64: $*"; }
log=$out/logs
mkdir -p "$log"
run_logged() {
  local name=$1; shift
  if ! "$@" >"$log/$name.log" 2>&1; then
    echo "[arm64] $name failed; see $log/$name.log"
    tail -30 "$log/$name.log"
    exit 1
  fi
}

# --- GoogleTest, built from Debian's source for arm64 ----------------------
step "GoogleTest"
run_logged gtest-configure cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$out/googletest-arm64" "${launcher[@]}"
run_logged gtest-build cmake --build "$out/googletest" -j"$jobs" --target install

# --- Vocalume for arm64 ------------------------------------------------------
step "building the libraries, vocalume-render and the unit tests"
run_logged configure cmake -S "$root" -B "$out/arm64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVOCALUME_WERROR=ON -DVOCALUME_BUILD_APP=OFF -DVOCALUME_BUILD_BENCH=OFF \
  -DCMAKE_PREFIX_PATH="$out/googletest-arm64" "${launcher[@]}"
run_logged build cmake --build "$out/arm64" -j"$jobs"
if ! file -L "$out/arm64/tools/vocalume-render" | grep -q 'ARM aarch64'; then
  echo "[arm64] vocalume-render is not an ARM program"
  exit 1
fi

# Debian 12's qemu-user can hang when an ARM program starts a thread (it does
# on recent host kernels, even for a two-line program). So the analysis of a
# file runs on the calling thread alone here (VOCALUME_THREADS=1: the same
# bytes, which the native builds check for every number of threads), and the
# tests that start threads anyway (the concurrency suites, the view and its
# recording control, which start the analysis worker, a model lane beside a
# live take, the file analysis's own comparison across thread counts) run
# only in the native builds; the time bound turns any other such hang into a
# failure. Checks of the host's tools (the manual page, the linked
# libraries, the comparison with Praat) are the native build's, and so are
# the tests that fork or send signals, which the emulator does not carry
# through.
export VOCALUME_THREADS=1
step "running the unit tests under qemu"
if ! (cd "$out/arm64" && ctest --output-on-failure -j"$jobs" --timeout 300 -LE 'live|desktop|oracle' \
  -E 'Threads\.|^ViewTest\.|^RecordingControl\.|^ModelLane\.TheModelStandsBesideTheLatestTake|^FileAnalysis\.EveryNumberOfThreads|^WholeFileTest\.(AFileSizeLimit|AWriterEndedByASignal)|^RenderManualPage$|^RenderLinksNoDeviceLibrary$|^RenderTool\.FrameTableIgnoresADecimalCommaLocale$|^RenderTool\.SignalDuringTheWrite') >"$log/ctest.log" 2>&1; then
  echo "[arm64] unit tests failed; see $log/ctest.log"
  sed -n '/The following tests FAILED/,$p' "$log/ctest.log"
  exit 1
fi
grep -E 'tests passed' "$log/ctest.log" | sed 's/^/[arm64] /'

cat >"$out/vocalume-render-arm64" <<EOF
#!/bin/sh
# Runs the ARM build of vocalume-render under qemu with the given arguments.
exec qemu-aarch64 -L $sysroot "$out/arm64/tools/vocalume-render" "\$@"
EOF
chmod +x "$out/vocalume-render-arm64"

# --- the same picture as on x86-64 ------------------------------------------
step "comparing the demo picture with the x86-64 build"
unset PKG_CONFIG_LIBDIR
x86_render=${VOCALUME_X86_RENDER:-}
if [[ -z $x86_render ]]; then
  run_logged native-configure cmake -S "$root" -B "$out/x86-64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVOCALUME_BUILD_APP=OFF -DVOCALUME_BUILD_BENCH=OFF -DBUILD_TESTING=OFF "${launcher[@]}"
  run_logged native-build cmake --build "$out/x86-64" -j"$jobs" --target vocalume-render
  x86_render=$out/x86-64/tools/vocalume-render
fi
demo=$root/resources/demo.wav
for args in "" "--whole"; do
  # shellcheck disable=SC2086
  "$out/vocalume-render-arm64" $args "$demo" -o "$out/demo-arm64.png"
  # shellcheck disable=SC2086
  "$x86_render" $args "$demo" -o "$out/demo-x86-64.png"
  if ! cmp -s "$out/demo-arm64.png" "$out/demo-x86-64.png"; then
    echo "[arm64] the ARM picture of the demo recording ($args) differs from the x86-64 one"
    exit 1
  fi
done
echo "[arm64] the demo pictures are equal byte for byte; run the ARM build with $out/vocalume-render-arm64"
