#!/usr/bin/env bash
# Checks what scripts/package.sh left in build/packages: the zip holds one
# folder with the two programs and the documents as Windows text, and its
# orvalintex-cli.exe runs under Wine and carries the version in its
# VERSIONINFO, as Orvalintex.exe does; the
# .deb unpacks to a working orvalintex-cli with its changelog from CHANGELOG.md
# and lintian finds no error in it.
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(Orvalintex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
zip=build/packages/Orvalintex-$version-win32.zip deb=build/packages/orvalintex-cli_${version}_amd64.deb
fail() { echo "packages: $*" >&2; exit 1; }
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8

top=Orvalintex-$version
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
want=$(printf "$top/%s " '' CHANGELOG.txt LICENSE.txt Orvalintex.exe README.txt \
       orvalintex-cli.exe 使い方.txt)
[ "$listing" = "$want" ] || fail "$zip holds: $listing"
unzip -q "$zip" -d "$scratch/zip" && z=$scratch/zip/$top
# CRLF, and a byte order mark on a text beyond ASCII.
for doc in README.txt:cmake/zip/README.txt 使い方.txt:docs/使い方.md LICENSE.txt:LICENSE \
           CHANGELOG.txt:CHANGELOG.md; do
  bom= && ! LC_ALL=C grep -q $'[\x80-\xff]' "${doc#*:}" || bom=$'\xef\xbb\xbf'
  [ "$(cat "$z/${doc%:*}"; echo .)" = "$bom$(sed 's/$/\r/' "${doc#*:}"; echo .)" ] ||
    fail "${doc%:*} is not ${doc#*:} as Windows text"
done
for exe in Orvalintex orvalintex-cli; do
  rc=$(i686-w64-mingw32-windres -i "$z/$exe.exe" -O rc)
  [[ $rc == *"FILEVERSION ${version//./, }, 0"* && $rc == *"\"ProductVersion\", \"$version\""* ]] ||
    fail "$exe.exe: no VERSIONINFO of $version"
done
shown=$(WINEPREFIX=$PWD/build/win32/wineprefix cmake/wine-run.sh "$z/orvalintex-cli.exe" --version)
[ "${shown%$'\r'}" = "orvalintex-cli $version" ] || fail "orvalintex-cli.exe --version: $shown"

dpkg -x "$deb" "$scratch/root"
shown=$("$scratch/root/usr/bin/orvalintex-cli" --version)
[ "$shown" = "orvalintex-cli $version" ] || fail "the .deb's orvalintex-cli --version: $shown"
[ -s "$scratch/root/usr/share/man/man1/orvalintex-cli.1.gz" ] || fail "the .deb has no manual page"
changelog=$scratch/root/usr/share/doc/orvalintex-cli/changelog.gz
zcat "$changelog" | dpkg-parsechangelog -l - -S Version | grep -qx "$version" &&
  zcat "$changelog" | grep -qF "$(sed -n '/^## /,$s/^- //p' CHANGELOG.md | head -n 1)" ||
  fail "the .deb's changelog is not CHANGELOG.md's"
lintian --fail-on error "$deb" || fail "lintian reports errors in $deb"
echo "packages: $zip and $deb are fine"
