#!/usr/bin/env bash
# End to end: the real Orvalintex.exe under Wine, driven by e2e-driver.exe, on an
# AVI that ffmpeg makes here; copy A lost bytes to zeros at one place, copy B at
# another. Check must name the offset of A's first zero, Repair... from B must
# give the original back. ctest sets WINEPREFIX and WINE_RUN; screenshots go to WORK.
# usage: run.sh ORVALINTEX_EXE DRIVER_EXE WORK
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
driver=$(realpath "$2")
work=$(realpath -m "$3")
drive_v=$WINEPREFIX/dosdevices/v:  # WORK as drive V:, for short names in the screenshots
fail() { echo "FAIL: $*" >&2; exit 1; }
# shot NAME: the screen, black where no window is, cut to the windows.
shot() {
  import -window root png:- | convert - -bordercolor black -border 1 -trim +repage "$work/$1.png"
}
trap 'rc=$?; set +e; [ $rc = 0 ] || shot failure; wineserver -k; wineserver -w; rm -f "$drive_v"
      exit $rc' EXIT
drive() { "$WINE_RUN" "$driver" 30000 "$@" | tr -d '\r'; }

rm -rf "$work"; mkdir -p "$work"; cd "$work"
"$WINE_RUN" cmd /c exit >/dev/null  # the prefix is made before its drive V:
ln -sfn "$work" "$drive_v"
cp "$1" Orvalintex.exe  # a copy, so that its settings file starts afresh here
# The dialog in the middle of the screen, where the message boxes appear, over its file list.
printf '[Settings]\r\nWindowLeft=296\r\nWindowTop=200\r\n' >Orvalintex.ini
ffmpeg -nostdin -v error -f lavfi -i testsrc=d=4:s=320x240:r=25 -c:v ffv1 original.avi
# copy NAME OFFSET: the original with 10 KiB from OFFSET on zeroed, across a 64 KiB block boundary.
copy() {
  cp original.avi $1
  dd if=/dev/zero of=$1 bs=10k count=1 seek=$2 oflag=seek_bytes conv=notrunc status=none
}
a=$((0x30000 - 3001))
# A's zeros start at a.
while [ "$(od -An -tu1 -j $((a - 1)) -N1 original.avi)" -eq 0 ]; do a=$((a + 1)); done
copy a.avi $a
copy b.avi $((0x50000 - 5000))

got=$(drive start 'V:\Orvalintex.exe V:\a.avi')
want=$(printf 'ファイルが破損している可能性があります。\nAddress : %08X' $a)
[ "$got" = "$want" ] || fail "Check showed \"$got\", not \"$want\""
shot damage-found
got=$(drive repair 'V:\b.avi')
[ "$got" = "ファイルを修復しました。" ] || fail "Repair... showed \"$got\""
shot repaired
drive exit
cmp a.fixed.avi original.avi || fail "a.fixed.avi is not the original"
