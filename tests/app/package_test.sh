#!/usr/bin/env bash
# Packs the optimised build as a Debian package and inspects it: its name,
# version, section and library dependencies, the files a desktop program
# ships, that the packed programs print the package's version, and what
# lintian, appstreamcli and desktop-file-validate say.
# Usage: package_test.sh BUILD-DIR SOURCE-DIR
set -uo pipefail
build=$1 source=$2

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -C Release) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(sed -nE 's/^CPack: - package: (.*\.deb) generated\.$/\1/p' "$work/cpack.log")
[ -f "$deb" ] || { cat "$work/cpack.log"; echo "FAILED: no package was made"; exit 1; }

version=$("$build/tools/vocalume-render" --version | sed 's/^vocalume-render //')
arch=$(dpkg --print-architecture)
check "the package is named vocalume_${version}_$arch.deb" [ "$(basename "$deb")" = "vocalume_${version}_$arch.deb" ]

dpkg-deb -f "$deb" >"$work/control"
field() { sed -nE "s/^$1: (.*)/\1/p" "$work/control"; }
check "its version is the programs' version" [ "$(field Version)" = "$version" ]
check "its section is sound" [ "$(field Section)" = sound ]
check "it has a description" grep -q '^ [A-Za-z]' "$work/control"
for library in libc6 libstdc++6 libwxgtk3.2-1 libportaudio2 libpulse0 libsndfile1 libsoxr0 libpng16-16; do
  check "it depends on $library" sh -c "grep '^Depends:' '$work/control' | tr ',' '\n' | grep -qF ' $library ('"
done

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/files"
for file in /usr/bin/vocalume /usr/bin/vocalume-render \
    /usr/share/applications/vocalume.desktop \
    /usr/share/metainfo/org.vocalume.Vocalume.metainfo.xml \
    /usr/share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/vocalume.png \
    /usr/share/icons/hicolor/scalable/apps/vocalume.svg \
    /usr/share/man/man1/vocalume.1.gz /usr/share/man/man1/vocalume-render.1.gz \
    /usr/share/doc/vocalume/copyright /usr/share/doc/vocalume/changelog.gz; do
  check "it holds $file" grep -qx "$file" "$work/files"
done

dpkg-deb -x "$deb" "$work/root"
check "the packed vocalume-render prints the version" \
  [ "$("$work/root/usr/bin/vocalume-render" --version)" = "vocalume-render $version" ]
check "the packed vocalume prints it without a display" \
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/vocalume" --version)" = "vocalume $version" ]
check "the newest release in the metainfo is this version" \
  grep -q "<release version=\"$version\"" "$work/root/usr/share/metainfo/org.vocalume.Vocalume.metainfo.xml"

# Among other things lintian checks the manual pages' compression.
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1
status=$?
check "lintian finds no errors or warnings" [ "$status" = 0 ]
grep -E '^[EW]: ' "$work/lintian.log"
check "appstreamcli accepts the metainfo" \
  appstreamcli validate --no-net "$source/resources/org.vocalume.Vocalume.metainfo.xml"
check "desktop-file-validate accepts the desktop entry" \
  desktop-file-validate "$source/resources/vocalume.desktop"

echo "$failures failed"
[ "$failures" = 0 ]
