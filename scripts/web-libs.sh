#!/usr/bin/env bash
# Builds the libraries the browser edition links, for WebAssembly, from
# Debian's own source packages (apt-get source, then emscripten's CMake or
# configure): zlib and libpng for the picture files, libsoxr for converting
# rates, and libsndfile with FLAC, Ogg, Vorbis and Opus for the sound files.
# Nothing else is fetched; emscripten's ports are not used.
#
#   bash scripts/web-libs.sh DIR     builds into DIR/prefix (include, lib)
#
# A build whose sources and recipe have not changed is kept: the script then
# returns at once. Prints nothing but errors; the logs are in DIR/logs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mkdir -p "$1" && cd "$1" && pwd)
prefix=$dir/prefix
logs=$dir/logs
export NODE_PATH=/usr/share/nodejs
mkdir -p "$logs" "$dir/src"

# Source packages, in build order.
packages=(zlib libpng1.6 libogg flac libvorbis opus libsoxr libsndfile)

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

# apt-get source needs the deb-src entries the machine may not have: the
# same archives as its deb entries, once.
have_sources() { apt-cache showsrc zlib 2>/dev/null | grep '^Package:' >/dev/null; }
if ! have_sources; then
  list=/etc/apt/sources.list.d/vocalume-deb-src.sources
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -f $f && $f != "$list" ]] || continue
      # Each stanza of a deb822 file, its deb type also offered as deb-src.
      awk 'BEGIN{RS=""; ORS="\n\n"} /Types:.*deb/ && !/deb-src/ && !/Enabled: *no/ {sub(/Types:[^\n]*/, "Types: deb-src"); print}' "$f"
    done
  } | "${sudo[@]}" tee "$list.new" >/dev/null
  if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list | "${sudo[@]}" tee /etc/apt/sources.list.d/vocalume-deb-src.list >/dev/null
  fi
  "${sudo[@]}" mv "$list.new" "$list"
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq >"$logs/apt-update.log" 2>&1
  have_sources || { echo "web-libs: no source packages can be found (deb-src entries)" >&2; exit 1; }
fi

# The version of each package to build: the candidate, or the release's own
# when the archive no longer holds the candidate's files.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
fetch() {
  local package=$1
  (cd "$dir/src" && { apt-get source --download-only "$package" || apt-get source --download-only "$package/$codename"; }) \
    >>"$logs/fetch.log" 2>&1
}

key=$(
  cat "$0"
  for p in "${packages[@]}"; do apt-cache showsrc "$p" | sed -n 's/^Version: //p' | sort -V | tail -1; done
  emcc --version | head -1
)
key=$(sha256sum <<<"$key" | cut -c1-16)
if [[ -f $prefix/.built && $(cat "$prefix/.built") == "$key" ]]; then
  exit 0
fi
rm -rf "$prefix" "$dir/build"
mkdir -p "$prefix" "$dir/build"
find "$logs" -name '*.log' ! -name fetch.log -delete

for p in "${packages[@]}"; do
  ls "$dir/src/${p}_"*.dsc >/dev/null 2>&1 || fetch "$p" || { echo "web-libs: cannot fetch the source of $p; see $logs/fetch.log" >&2; exit 1; }
done

# Unpacked with Debian's patches applied, into the build folder.
unpack() {
  local package=$1 dsc
  dsc=$(ls "$dir/src/${package}_"*.dsc | sort -V | tail -1)
  rm -rf "$dir/build/$package"
  dpkg-source --no-check -x "$dsc" "$dir/build/$package" >>"$logs/$package.log" 2>&1
  echo "$dir/build/$package"
}

# Small code over fast code: these run once per file, not per frame. The
# configure checks are built unoptimised: each is linked, and an optimised
# link costs several times as much.
if command -v ccache >/dev/null; then export EM_COMPILER_WRAPPER=ccache; fi
cmake_build() {
  local package=$1 target=$2 src; shift 2
  src=$(unpack "$package")
  emcmake cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node;--no-experimental-fetch" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@" >>"$logs/$package.log" 2>&1
  cmake --build "$src/build" -j2 --target "$target" >>"$logs/$package.log" 2>&1
  cmake --install "$src/build" >>"$logs/$package.log" 2>&1
}
configure_build() {
  local package=$1 src; shift
  src=$(unpack "$package")
  (cd "$src" && CFLAGS=-O0 emconfigure ./configure --host=wasm32-unknown-none --prefix="$prefix" --disable-shared \
    --enable-static "$@" && emmake make -j2 CFLAGS=-Os && emmake make install) >>"$logs/$package.log" 2>&1
}

# The rate converter's vector engine, which the desktop's processors run:
# its SSE code, on WebAssembly's vector instructions (the converter takes
# it for an x86 build).
soxr_vector_flags="-msimd128 -msse -Di386"
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
# zlib's own configure knows no host name; it takes the compiler as given.
zlib_build() {
  local src
  src=$(unpack zlib)
  (cd "$src" && CFLAGS=-Os emconfigure ./configure --static --prefix="$prefix" && emmake make -j2 libz.a &&
    emmake make install) >>"$logs/zlib.log" 2>&1
}
# Three rounds, each library of a round built beside the others: their
# configure steps run one check at a time.
round() {
  local pids=() names=() failed=0 i
  while (($# > 0)); do
    names+=("$1")
    (step "$@") &
    pids+=($!)
    shift
    while (($# > 0)) && [[ $1 != --- ]]; do shift; done
    (($# > 0)) && shift
  done
  for i in "${!pids[@]}"; do wait "${pids[$i]}" || failed=1; done
  ((failed == 0)) || exit 1
}
# step NAME COMMAND... [--- NAME COMMAND...]: the commands end at "---".
step() {
  local package=$1 command=()
  shift
  while (($# > 0)) && [[ $1 != --- ]]; do command+=("$1"); shift; done
  "${command[@]}" || { echo "web-libs: building $package failed; see $logs/$package.log" >&2; tail -20 "$logs/$package.log" >&2; exit 1; }
}
round zlib zlib_build \
  --- libogg cmake_build libogg ogg -DINSTALL_DOCS=OFF \
  --- opus configure_build opus --disable-doc --disable-extra-programs --disable-intrinsics \
        --disable-stack-protector --disable-rtcd \
  --- libsoxr cmake_build libsoxr soxr -DWITH_OPENMP=OFF -DBUILD_EXAMPLES=OFF -DWITH_LSR_BINDINGS=OFF \
        -DBUILD_TESTS=OFF -DWITH_CR64S=OFF "-DSIMD32_C_FLAGS=${soxr_vector_flags}"
round libpng1.6 cmake_build libpng1.6 png_static -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_ROOT="$prefix" \
  --- flac cmake_build flac FLAC -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DBUILD_CXXLIBS=OFF \
        -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF \
  --- libvorbis cmake_build libvorbis all
round libsndfile cmake_build libsndfile sndfile -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DENABLE_CPACK=OFF -DBUILD_REGTEST=OFF -DINSTALL_MANPAGES=OFF -DENABLE_EXTERNAL_LIBS=ON

echo "$key" >"$prefix/.built"
