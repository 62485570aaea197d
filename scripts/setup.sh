#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian packages.
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=(cmake g++ make googletest libgtest-dev libbenchmark-dev gddrescue
      g++-mingw-w64-i686 binutils-mingw-w64-i686
      wine wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick fonts-ipafont-gothic ffmpeg
      locales bc jq
      libcli11-dev nlohmann-json3-dev dpkg-dev fakeroot lintian unzip man-db groff-base)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install \
    -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine maps ANSI file names to Unix ones through the locale: without a Japanese
# locale every Shift-JIS file name fails to open, though the code page is 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  "${sudo_cmd[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
