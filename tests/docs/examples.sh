#!/usr/bin/env bash
# Runs the examples of the given documents with orvalintex-cli (CLI): each "$ command" line of
# an indented block, run in turn in a folder that fixtures.sh fills for each document, must
# print the lines below it, as indented, up to the next command or the block's end. Stderr (the
# questions) is not compared.
# usage: examples.sh CLI LOCALE:DOCUMENT... (the locale the document's examples run in)
set -euo pipefail
here=$(dirname "$(realpath "$0")")
cli=$(realpath "$1")
shift
docs=()
for doc in "$@"; do docs+=("${doc%%:*}:$(realpath "${doc#*:}")"); done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" && ln -s "$cli" "$work/bin/orvalintex-cli"
export PATH="$work/bin:$PATH"
failed=0
# Each example as its command, a tab, then its lines joined by \n.
examples() {
  awk 'function flush() { if (cmd != "") print cmd "\t" out; cmd = "" }
       match($0, /^    +\$ /) { flush(); pad = RLENGTH - 2; cmd = substr($0, RLENGTH + 1); out = ""
                                next }
       cmd != "" && substr($0, 1, pad) == sprintf("%*s", pad, "") {
         out = out substr($0, pad + 1) "\\n"; next }
       { flush() }
       END { flush() }' "$1"
}
for entry in "${docs[@]}"; do
  doc=${entry#*:}
  export LC_ALL=${entry%%:*}
  folder=$(mktemp -d "$work/doc.XXXXXX") && cd "$folder" && . "$here/fixtures.sh"
  while IFS=$'\t' read -r cmd want; do
    got=$(bash -c "$cmd" 2>/dev/null || true)
    if [ "$got" != "$(printf '%b' "$want")" ]; then
      printf '%s: "%s" printed:\n%s\n' "$(basename "$doc")" "$cmd" "$got" >&2
      failed=1
    fi
  done < <(examples "$doc")
done
exit $failed
