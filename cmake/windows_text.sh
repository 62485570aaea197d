#!/bin/sh
# windows_text.sh IN OUT: a UTF-8 text as a Windows user's editor wants it,
# with CRLF line ends, and with a byte order mark when it holds any character
# beyond ASCII, so that Notepad reads it as UTF-8. Lines that only show a
# picture (Markdown's ![text](file)) go: the package holds no pictures.
set -eu
{
  if LC_ALL=C grep -q "$(printf '[\200-\377]')" "$1"; then printf '\357\273\277'; fi
  sed '/^!\[[^]]*\]([^)]*)$/d; s/\r$//; s/$/\r/' "$1"
} > "$2.tmp"
mv "$2.tmp" "$2"
