#!/usr/bin/env bash
# Renders the pictures of record (tests/tools/pictures) again and writes over
# the ones that changed, printing for each how many columns changed; then
# checks that every vector build gives the new pictures. For a deliberate
# change of the picture: run this, look at the new images, commit them with
# the change that made them.
#
#   bash scripts/regenerate-pictures.sh [BUILD-FOLDER]   (default build/release)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
filter='Sounds/StoredPictures.*'

if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"${JOBS:-2}" --target tools_tests >/dev/null
VOCALUME_REGENERATE_PICTURES=1 "$build/tests/tools/tools_tests" --gtest_filter="$filter" |
  grep -E ': (rewritten|unchanged)' || { echo "regenerate-pictures: the render failed" >&2; exit 1; }
"$build/tests/tools/tools_tests" --gtest_filter="$filter" >/dev/null ||
  { echo "regenerate-pictures: the vector builds disagree; run $build/tests/tools/tools_tests --gtest_filter='$filter'" >&2; exit 1; }
echo "Changed files:"
git -C "$root" status --short -- tests/tools/pictures
