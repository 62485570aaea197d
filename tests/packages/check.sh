#!/usr/bin/env bash
# Checks what scripts/package.sh left in build/packages. The zip: one folder, both programs
# (with the version in their VERSIONINFO; orvalintex-cli.exe runs under Wine), the documents
# as Windows text, the notices of all five parts built in. The .deb: a working orvalintex-cli,
# a DEP-5 copyright naming CLI11 and nlohmann/json, the changelog from CHANGELOG.md, README,
# guide, a manual page without warnings, a bash completion that works, lintian without warnings.
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(Orvalintex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
zip=build/packages/Orvalintex-$version-win32.zip
deb=build/packages/orvalintex-cli_${version}_amd64.deb
fail() { echo "packages: $*" >&2; exit 1; }
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
export LC_ALL=C.UTF-8

top=Orvalintex-$version
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
want=$(printf "$top/%s " '' CHANGELOG.txt LICENSE.txt Orvalintex.exe README.txt \
       THIRD-PARTY-NOTICES.txt orvalintex-cli.exe 使い方.txt)
[ "$listing" = "$want" ] || fail "$zip holds: $listing"
unzip -q "$zip" -d "$scratch/zip" && z=$scratch/zip/$top
# CRLF, and a byte order mark on a text beyond ASCII.
for doc in README.txt:cmake/zip/README.txt 使い方.txt:docs/使い方.md LICENSE.txt:LICENSE \
           CHANGELOG.txt:CHANGELOG.md; do
  bom= && ! LC_ALL=C grep -q $'[\x80-\xff]' "${doc#*:}" || bom=$'\xef\xbb\xbf'
  [ "$(cat "$z/${doc%:*}"; echo .)" = "$bom$(sed '/^!\[/d; s/$/\r/' "${doc#*:}"; echo .)" ] ||
    fail "${doc%:*} is not ${doc#*:} as Windows text, without pictures"
done
grep -q 'language for non-Unicode programs' "$z/README.txt" ||
  fail "README.txt does not say what the Japanese texts need"
notices=$(cat "$z/THIRD-PARTY-NOTICES.txt")
[[ $notices == $'\xef\xbb\xbf'* ]] && ! grep -q $'[^\r]$\\|^$' <<< "$notices" ||
  fail "THIRD-PARTY-NOTICES.txt is not Windows text"
for part in CLI11:libcli11-dev nlohmann/json:nlohmann-json3-dev \
            "mingw-w64 runtime:mingw-w64-i686-dev" winpthreads:mingw-w64-i686-dev \
            libgcc:gcc-mingw-w64-i686-posix libstdc++:g++-mingw-w64-i686-posix; do
  [[ ${notices//$'\r'} == *"- ${part%:*}, "*"$(cat "/usr/share/doc/${part#*:}/copyright")"* ]] ||
    fail "THIRD-PARTY-NOTICES.txt does not list ${part%:*} with the whole notice of ${part#*:}"
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
share=$scratch/root/usr/share && doc=$share/doc/orvalintex-cli
# DEP-5: every Files paragraph with its Copyright and License, every License with its text.
awk -v RS= 'NR == 1 && !/^Format: .*copyright-format\/1.0\/\n/ { exit 1 } /^Files: / {
  if (!/\nCopyright: / || !match($0, /\nLicense: [^\n]*/)) exit 1
  used[substr($0, RSTART + 10, RLENGTH - 10)] } /^License: / { split($0, l, "\n")
  given[substr(l[1], 10)] } END { for (n in used) if (!(n in given)) exit 1 }' "$doc/copyright" &&
  grep -qx 'Files: CLI/\*' "$doc/copyright" && grep -qx 'Files: nlohmann/\*' "$doc/copyright" ||
  fail "the .deb's copyright is not DEP-5 naming CLI11 and nlohmann/json"
# The first item of the newest release: the Unreleased section is not packaged.
first=$(awk '/^## [0-9]/ { r = 1 } r && sub(/^- /, "") { print; exit }' CHANGELOG.md)
zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version | grep -qx "$version" &&
  zcat "$doc/changelog.gz" | grep -qF "$first" &&
  cmp -s "$doc/README" cmake/deb/README &&
  zcat "$doc/使い方.md.gz" | cmp -s - docs/使い方.md ||
  fail "the .deb lacks the changelog from CHANGELOG.md, the README or the guide"
man=$share/man/man1/orvalintex-cli.1.gz
warnings=$(man --warnings -E UTF-8 -l "$man" 2>&1 >/dev/null) && [ -z "$warnings" ] &&
  [ "$(man -l "$man" | grep -cxE 'SYNOPSIS|OPTIONS|EXIT STATUS|EXAMPLES|SEE ALSO')" = 5 ] ||
  fail "the manual page warns ($warnings) or lacks a section"
# The completion in a bash without start-up files: the commands, each command's options, nothing
# for a number, files and folders.
mkdir -p "$scratch/c/copies" && touch "$scratch/c/clip one.avi" "$scratch/c/clip.map"
completion=$share/bash-completion/completions/orvalintex-cli
(cd "$scratch/c" && bash --norc --noprofile -s "$completion") <<'EOF_TEST'
set -eu
. "$1"
[ "$(complete -p orvalintex-cli)" = "complete -F _orvalintex_cli orvalintex-cli" ]
# What completing the last word after orvalintex-cli must offer: sorted, joined by "|".
expect() {
  local want=$1 got && shift && COMP_WORDS=(orvalintex-cli "$@") COMP_CWORD=$# COMPREPLY=()
  _orvalintex_cli orvalintex-cli "${COMP_WORDS[$#]}" "${COMP_WORDS[$# - 1]}"
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd '|')
  [ "$got" = "$want" ] || { echo "completion: orvalintex-cli $* offers '$got'" >&2; exit 1; }
}
expect check ch && expect 'check|help|repair' '' && expect '--help|--version' --
expect --dry-run repair --d && expect --all check --a && expect '' check --dry
expect '' repair --threshold-kb '' && expect 'clip one.avi|clip.map' check cl
expect copies repair --yes -o co && expect clip.map repair --map a.avi clip.m
EOF_TEST
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings in $deb"
echo "packages: $zip and $deb are fine"
