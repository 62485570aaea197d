#!/bin/sh
# changelog.sh CHANGELOG.md PACKAGE VERSION MAINTAINER OUT: the .deb's
# changelog, in Debian's format as a native package has it, from the sections
# of CHANGELOG.md ("## VERSION - YYYY-MM-DD", newest first, "- " items); the
# newest section must be VERSION. An "## Unreleased" section on top is what
# no package has yet: it is left out.
set -eu
in=$1 package=$2 version=$3 maintainer=$4 out=$5
newest=$(sed -n 's/^## \([^ ]*\) - .*/\1/p' "$in" | head -n 1)
if [ "$newest" != "$version" ]; then
  echo "$in: the newest section is for '$newest', not for $version" >&2
  exit 1
fi
awk -v package="$package" -v maintainer="$maintainer" '
  function end_entry() { if (date != "") printf "\n -- %s  %s\n", maintainer, date }
  /^## Unreleased$/ { skip = 1; next }
  /^## / {
    skip = 0
    end_entry()
    date = ""
    if ($4 ~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/) {
      command = "date -u -R -d " $4
      command | getline date
      close(command)
    }
    if (date == "") { print FILENAME ": no date in: " $0 > "/dev/stderr"; exit 1 }
    printf "%s%s (%s) unstable; urgency=medium\n\n", entries++ ? "\n" : "", package, $2
    next
  }
  skip || date == "" || /^$/ { next }
  /^- / { print "  * " substr($0, 3); next }
  { sub(/^ */, ""); print "    " $0 }
  END { end_entry() }' "$in" > "$out.tmp"
mv "$out.tmp" "$out"
