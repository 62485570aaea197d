#!/usr/bin/env bash
# orvalintex-cli.exe past a file size limit, as on a full disc: a complete and a partial repair
# end in failed, exit 1, with no partial file left and the earlier output kept. Wine passes the
# limit's signal to the program unhandled (a Windows program cannot ask for it to be ignored),
# so it is ignored here, and the wineserver runs outside the limit.
# Usage: write_limit.sh orvalintex-cli.exe   (WINE_RUN and WINEPREFIX set)
set -u
cli=$1
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
fail() { echo "write_limit: $*" >&2; exit 1; }

seq 1 400000 > good.avi  # 2.6 MB, no zero byte
cp good.avi dmg.avi
dd if=/dev/zero of=dmg.avi bs=1 seek=100000 count=20000 conv=notrunc status=none
cp dmg.avi lost.avi  # the same bytes lost: a partial repair
"$WINE_RUN" "$cli" --version >/dev/null || fail "the program does not start"
wineserver -p 30
for source in good.avi lost.avi; do
  echo earlier > out.avi
  (trap '' XFSZ; ulimit -f 1024; WINEDEBUG=-all wine "$cli" repair --yes dmg.avi "$source" \
    -o out.avi) > said 2>&1
  status=$?
  [ "$status" = 1 ] && grep -q '^dmg.avi: failed: ' said ||
    fail "from $source: exit $status: $(cat said)"
  [ "$(cat out.avi)" = earlier ] || fail "from $source: the earlier output is gone"
  left=$(ls -A | grep -v -x -e good.avi -e dmg.avi -e lost.avi -e out.avi -e said)
  [ -z "$left" ] || fail "from $source: left behind: $left"
done
