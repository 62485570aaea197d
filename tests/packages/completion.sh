#!/usr/bin/env bash
# Drives the bash completion of orvalintex-cli (the file named) in a bash without start-up
# files: the commands, each command's options, nothing for a number, files and folders.
set -euo pipefail
completion=$(realpath "$1") scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
cd "$scratch" && mkdir copies && touch "clip one.avi" clip.map
bash --norc --noprofile -s "$completion" <<'EOF_TEST'
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
