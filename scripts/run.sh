#!/usr/bin/env bash
# Installs what is missing, builds Vocalume and starts it. Where no display
# is available it says so and renders the demo recording to
# vocalume-demo.png in the current folder instead.
#   bash scripts/run.sh [arguments for vocalume]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"

build=$root/build/release
jobs=$(nproc 2>/dev/null || echo 2)
if ! cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$root/build/run-configure.log" 2>&1; then
  tail -30 "$root/build/run-configure.log" >&2
  echo "error: configuring the build failed; the whole log is in build/run-configure.log" >&2
  exit 1
fi
echo "Building Vocalume (the first build takes a few minutes)..."
if ! cmake --build "$build" -j"$jobs" --target vocalume vocalume-render >"$root/build/run-build.log" 2>&1; then
  tail -30 "$root/build/run-build.log" >&2
  echo "error: the build failed; the whole log is in build/run-build.log" >&2
  exit 1
fi

# A display is usable when an X server answers or a Wayland socket exists.
display_ok=0
if [[ -n ${DISPLAY:-} ]] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  display_ok=1
elif [[ -n ${WAYLAND_DISPLAY:-} && -S ${XDG_RUNTIME_DIR:-/nonexistent}/${WAYLAND_DISPLAY} ]]; then
  display_ok=1
fi

if ((display_ok)); then
  exec "$build/app/vocalume" "$@"
fi

picture=$PWD/vocalume-demo.png
echo "No display found: rendering the demo recording to a picture instead."
"$build/tools/vocalume-render" "$root/resources/demo.wav" -o "$picture" --quiet
echo "$picture"
