#!/usr/bin/env bash
# Builds Vocalume's browser edition into build/web/ and serves it at
# http://127.0.0.1:8765/ until interrupted.
#
#   bash scripts/web.sh             build, then serve
#   bash scripts/web.sh --no-serve  build only
#
# The page runs from any static file server: copy build/web/ anywhere.
# The core and the view are compiled to WebAssembly with Debian's emscripten;
# the libraries they need are built from Debian's source packages
# (scripts/web-libs.sh, kept between runs in build/web-libs/).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
serve=1
for arg in "$@"; do
  case $arg in
  --no-serve) serve=0 ;;
  *) echo "usage: bash scripts/web.sh [--no-serve]" >&2; exit 2 ;;
  esac
done

bash "$root/scripts/deps.sh" emscripten dpkg-dev python3 nodejs

# emscripten's JavaScript optimiser runs on the system's node.
export NODE_PATH=/usr/share/nodejs
if command -v ccache >/dev/null; then
  export EM_COMPILER_WRAPPER=ccache CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi

libs=$root/build/web-libs
out=$root/build/web
work=$root/build/web-build
logs=$root/build/test-logs
mkdir -p "$logs"

echo "Building the libraries from Debian's sources (once)"
bash "$root/scripts/web-libs.sh" "$libs"
prefix=$libs/prefix

echo "Building the browser edition"
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
emcmake cmake -S "$root" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCALUME_WERROR=ON \
  -DVOCALUME_BUILD_APP=OFF -DVOCALUME_BUILD_BENCH=OFF -DBUILD_TESTING=OFF \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node;--no-experimental-fetch" >"$logs/web-configure.log" 2>&1 ||
  { tail -30 "$logs/web-configure.log" >&2; exit 1; }
cmake --build "$work" -j2 --target vocalume_web >"$logs/web-build.log" 2>&1 ||
  { grep -E -A5 'error|FAILED' "$logs/web-build.log" | head -60 >&2; exit 1; }

# The page, its scripts, the program and the icons, and the list of them all
# for the service worker, named by a digest of their contents.
rm -rf "$out.new"
mkdir -p "$out.new"
cp "$root"/web/* "$out.new/"
cp "$work/view/web/vocalume-core.js" "$work/view/web/vocalume-core.wasm" "$out.new/"
cp "$root"/resources/vocalume-{32,48,128,256}.png "$root/resources/vocalume.svg" "$out.new/"
files=$(cd "$out.new" && ls | grep -v -e '^service-worker.js$' | sort)
digest=$(cd "$out.new" && cat $files | sha256sum | cut -c1-16)
{
  echo "// Written by scripts/web.sh: the files kept for use without a network."
  echo "self.vocalumeCache = 'vocalume-$digest';"
  echo "self.vocalumeFiles = ['./',"
  for f in $files; do echo "  '$f',"; done
  echo "];"
} >"$out.new/precache.js"
rm -rf "$out"
mv "$out.new" "$out"
echo "Built $out"

if ((serve)); then
  echo "Serving at http://127.0.0.1:8765/ (Ctrl+C ends)"
  exec python3 -m http.server 8765 --bind 127.0.0.1 --directory "$out"
fi
