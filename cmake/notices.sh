#!/bin/sh
# Puts together the notices of what the build compiles or links into the
# programs, from the copyright files of the Debian packages that provided it,
# so that a new package version's text is the one that ships.
#
#   notices.sh zip OUT VERSION "WHAT|FILE"...
#     THIRD-PARTY-NOTICES for the Windows zip: a list of the parts, then each
#     package's whole copyright file (once, however many parts share it).
#   notices.sh deb OUT LICENSE HEADER "NAME|PREFIX|FILE"...
#     The .deb's machine-readable copyright: HEADER (our own paragraphs), then
#     each library's "Files: *" and "Files: include/..." paragraphs, renamed
#     to the headers the compiler sees (PREFIX/*), then the License paragraphs
#     they name; Expat's text is taken from LICENSE.
#
# FILE is a file the build uses (a header, a static library); the package is
# the one dpkg says owns it.
set -eu
mode=$1 out=$2
shift 2

# Sets pkg, version and copyright for FILE.
package_of() {
  pkg=$(dpkg-query -S "$(realpath -e "$1")" | sed -n '1s/: .*//p')
  version=$(dpkg-query -W -f '${Version}' "$pkg")
  copyright=/usr/share/doc/$pkg/copyright
  [ -s "$copyright" ] || { echo "notices: $copyright (for $1) is missing" >&2; exit 1; }
}

{
if [ "$mode" = zip ]; then
  version_of_ours=$1
  shift
  cat <<EOF
Third-party notices of Orvalintex $version_of_ours for Windows

Besides Orvalintex's own code (LICENSE.txt), the programs carry the following
parts, linked statically (only the pieces of them that a program uses end up
in it):

EOF
  for item; do echo "- ${item%%|*}"; done
  cat <<EOF

Each part's notice follows as the Debian package it was built from ships it,
in its copyright file (/usr/share/doc/PACKAGE/copyright). Where a text refers
to a licence in /usr/share/common-licenses, that licence is also at
https://www.gnu.org/licenses/ (the GNU licences) and https://spdx.org/licenses/.
EOF
  # One line per part: its package's copyright file (resolved, as packages of
  # one source share one), then its heading line.
  parts=$(for item; do
    package_of "${item#*|}"
    printf '%s\t%s: from %s %s\n' "$(realpath "$copyright")" "${item%%|*}" "$pkg" "$version"
  done)
  for file in $(printf '%s\n' "$parts" | cut -f1 | awk '!seen[$0]++'); do
    printf '\n\n%s\n' "========================================================================"
    printf '%s\n' "$parts" | awk -F '\t' -v f="$file" '$1 == f { print $2 }'
    printf '%s\n\n' "========================================================================"
    cat "$file"
  done
else
  license=$1 header=$2
  shift 2
  cat "$header"
  names=" Expat "
  for item; do
    name=${item%%|*} rest=${item#*|}
    prefix=${rest%%|*}
    package_of "${rest#*|}"
    echo
    awk -v RS= -v prefix="$prefix" -v comment=" $name, from the Debian package $pkg $version." '
      /^Files: / {
        line = $0; sub(/\n.*/, "", line); files = substr(line, 8)
        if (files == "*") files = prefix "/*"
        else if (files ~ /^include\/[^ ]*$/) sub(/^include\//, "", files)
        else next
        rest = $0; sub(/^[^\n]*\n/, "", rest)
        printf "%sFiles: %s\n%s\nComment:%s\n", n++ ? "\n" : "", files, rest, comment
      }' "$copyright"
    licences=$(awk -v RS= '/^Files: (\*|include\/[^ \n]*)\n/' "$copyright" |
      sed -n 's/^License: //p')
    for l in $licences; do
      case "$names" in *" $l "*) continue ;; esac
      names="$names$l "
      printf '\n'
      awk -v RS= -v l="License: $l" \
        'index($0, l "\n") == 1 { print; found = 1; exit } END { exit !found }' \
        "$copyright" || { echo "notices: no License: $l in $copyright" >&2; exit 1; }
    done
  done
  # Expat, the licence of Orvalintex itself, as LICENSE words it.
  printf '\nLicense: Expat\n'
  sed -n '/^Permission/,$p' "$license" | sed 's/^$/./; s/^/ /'
fi
} > "$out.tmp"
mv "$out.tmp" "$out"
