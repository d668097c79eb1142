#!/usr/bin/env bash
# Installs the Debian packages Vocalume needs to build, run and test, skipping
# the step entirely when all are present. Works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev libgtk-3-dev libcairo2-dev portaudio19-dev libpulse-dev libsndfile1-dev libsoxr-dev libpng-dev libcli11-dev
  # for the live tests and the screenshots: a sound server with a virtual
  # microphone, speech, and a virtual display
  pulseaudio pulseaudio-utils libasound2-plugins espeak-ng sox
  xvfb xauth xdotool x11-apps imagemagick
  # the window's placement is tested under a window manager too
  openbox
  # the lag probe reads the window straight from the X server
  python3-xlib
  # the reference pitch track the pitch tracker is measured against, the
  # recorded voices the pitch tracker and the coach's alignment are measured
  # on (tests/data/voices), and the decimal-comma locale the frame table is
  # tested under
  praat locales
  asterisk-core-sounds-en-wav asterisk-core-sounds-it-wav klettres-data ktuberling-data
  codec2-examples
  # for the Debian package and its checks
  dpkg-dev lintian appstream desktop-file-utils
  # the browser edition (scripts/web.sh builds its libraries from Debian's
  # source packages) and its tests in the system's browsers
  emscripten python3 nodejs chromium webkit2gtk-driver firefox-esr
)

# Named packages instead of the list above (the ARM cross build names its
# own, arm64 ones among them).
if (($# > 0)); then
  packages=("$@")
fi

# A name without an architecture means this machine's own (or "all"): asked
# plainly, dpkg answers once per architecture installed, and once the ARM
# cross build has put in the arm64 development packages the answer would
# never read as installed, and every run would update and install again.
native=$(dpkg --print-architecture)
missing=()
for p in "${packages[@]}"; do
  [[ $p == \#* ]] && continue
  if [[ $p == *:* ]]; then
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  else
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p:$native" 2>/dev/null ||
      dpkg-query -W -f='${db:Status-Status}' "$p:all" 2>/dev/null || true)
  fi
  [[ $status == installed ]] || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "error: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':arm64$' && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${sudo[@]}" dpkg --add-architecture arm64
fi
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" xauth
