#!/usr/bin/env bash
# Builds Vocalume in its optimised build and packs it as a Debian package.
# Prints the path of the .deb on its last line; install it with
# `sudo dpkg -i <path>` (or `sudo apt install ./<path>` to fetch what it needs).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release
bash "$root/scripts/deps.sh" >&2

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" -j"$jobs" --target vocalume vocalume-render vocalume_package_docs >&2
rm -f "$build"/packages/vocalume_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/packages/vocalume_*.deb)
echo "$deb"
