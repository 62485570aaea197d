#!/usr/bin/env bash
# End to end: starts the real Orvalintex.exe under Wine on AVI files that ffmpeg
# makes here, damages copies of them the way a failing disc does (whole
# 2048-byte sectors read back as zeros), and drives the program through
# e2e-driver.exe as a user would: Check, the messages, Repair... and the
# file-open dialog. Repaired files are compared byte for byte with the
# originals. Screenshots of the main states go to WORK/screenshots.
#
# usage: run.sh ORVALINTEX_EXE DRIVER_EXE WORK
# Environment: WINEPREFIX (default: the build folder's prefix beside the exe's
# folder), WINE_RUN (default: cmake/wine-run.sh of this source tree).
set -Eeuo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 ORVALINTEX_EXE DRIVER_EXE WORK" >&2
  exit 2
fi

# A display for Wine and for the screenshots; xvfb-run stops its server when we end.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

app_built=$(realpath "$1")
driver=$(realpath "$2")
work=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
wine_run=${WINE_RUN:-$here/../../cmake/wine-run.sh}
export WINEPREFIX=${WINEPREFIX:-$(dirname "$(dirname "$app_built")")/wineprefix}

wait_ms=20000       # any single wait: a window, a message box, the end of a small run
sector=2048
threshold=8192      # the program's default damage threshold, in bytes

app_pid=
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null || true
  fi
  wineserver -k 2>/dev/null || true
  if [ -L "${media_drive:-}" ]; then rm -f "$media_drive"; fi
}
trap cleanup EXIT
trap 'fail "line $LINENO: \"$BASH_COMMAND\" failed"' ERR

fail() {
  trap - ERR
  echo "FAIL: $*" >&2
  local log=
  if [ -f "$work/app.log" ]; then log=$(cat "$work/app.log"); fi
  if [ -n "$log" ]; then printf "Wine's output for the program:\n%s\n" "$log" >&2; fi
  shot "failure" || true
  exit 1
}

# drive ARGS...: runs the driver; its output is in $out. Fails the test on error.
drive() {
  local err rc=0
  err=$(mktemp)
  out=$("$wine_run" "$driver" "$@" 2>"$err") || rc=$?
  if [ $rc -ne 0 ]; then
    local why
    why=$(cat "$err")
    rm -f "$err"
    fail "e2e-driver $*: ${why:-exit code $rc}${out:+ / printed: $out}"
  fi
  rm -f "$err"
}

# field KEY: the value of the line KEY=... in the last driver output.
field() {
  printf '%s\n' "$out" | sed -n "s/^$(printf '%s' "$1" | sed 's/[.[\*^$]/\\&/g')=//p"
}

# expect KEY VALUE: the last driver output holds the line KEY=VALUE.
expect() {
  local got
  got=$(field "$1")
  [ "$got" = "$2" ] || fail "$1 is \"$got\", expected \"$2\" (after: $step)"
}

step=
say() {
  step=$*
  printf -- '-- %3ds %s\n' "$SECONDS" "$*"
}

shot() {
  mkdir -p "$work/screenshots"
  # The screen is black where no window is; a black border lets -trim cut to the windows.
  import -window root -display "$DISPLAY" png:- |
    convert png:- -bordercolor black -border 1 -trim +repage "$work/screenshots/$1.png"
}

# The media folder is drive V: of the prefix, as a user's video drive would
# be: short paths in the list, which the screenshots can show whole.
media_drive=$WINEPREFIX/dosdevices/v:

# winpath FILE: the Windows path of the absolute path FILE, on V: when it lies
# in the media folder. Pure bash: it runs for hundreds of names.
winpath() {
  local path=$1
  case $path in
    "$media"/*) path=${path#"$media"/}; printf 'V:\\%s' "${path//\//\\}" ;;
    *) printf 'Z:%s' "${path//\//\\}" ;;
  esac
}

# first_zero_run FILE THRESHOLD: offset text of the first run of THRESHOLD
# zero bytes, as the program shows it, or "none". Counts every zero, so with
# the JUNK option on it matches the program only while no JUNK payload holds
# such a run.
first_zero_run() {
  od -An -v -tu1 "$1" | awk -v t="$2" '
    { for (i = 1; i <= NF; i++) {
        if (found) break
        if ($i == 0) { if (run == 0) start = pos; if (++run == t) { printf "%08X\n", start; found = 1 } }
        else run = 0
        pos++ } }
    END { if (!found) print "none" }'
}

# zero_sectors FILE FIRST COUNT: sectors FIRST.. read back as zeros.
zero_sectors() {
  dd if=/dev/zero of="$1" bs=$sector seek="$2" count="$3" conv=notrunc status=none
}

# settings ERROR_LENGTH SKIP_JUNK: the ini beside the program, read at start.
settings() {
  printf '[Settings]\r\nWindowLeft=0\r\nWindowTop=0\r\nErrorLength=%s\r\nSkipJunk=%s\r\n' "$1" "$2" \
    >"$work/Orvalintex.ini"
}

# start_names NAMES...: starts the program in WORK with NAMES on its command
# line, as they stand, and waits for its dialog.
start_names() {
  (cd "$work" && exec "$wine_run" "$app" "$@") >>"$work/app.log" 2>&1 &
  app_pid=$!
  drive wait-dialog $wait_ms
}

# start FILES...: the same with the Windows paths of FILES.
start() {
  local args=() f
  for f in "$@"; do args+=("$(winpath "$f")"); done
  start_names "${args[@]}"
}

# stop: Exit, then the process must end by itself.
stop() {
  drive close $wait_ms
  local rc=0
  wait "$app_pid" || rc=$?
  app_pid=
  [ $rc -eq 0 ] || fail "Orvalintex.exe ended with exit code $rc"
}

# expect_message CAPTION TEXT BUTTONS: waits for a message box of the program
# and checks it; it stays open.
expect_message() {
  drive msgbox $wait_ms
  expect caption "$1"
  expect text "$2"
  expect buttons "$3"
  expect owner main
}

# expect_idle_list COUNT SELECTION: no run, the list as given, the buttons as
# the list allows.
expect_idle_list() {
  drive state
  expect check.text "チェック"
  expect progress.pos 0
  expect list.count "$1"
  expect list.sel "$2"
  local entries=$(( $1 > 0 ? 1 : 0 )) selected=$(( $2 >= 0 ? 1 : 0 ))
  expect check.enabled $entries
  expect remove_all.enabled $entries
  expect remove.enabled $selected
  expect repair.enabled $selected
  expect threshold.enabled 1
  expect junk.enabled 1
}

# check_finds_no_damage: Check passes every file in the list; the list ends empty.
check_finds_no_damage() {
  drive click 1
  expect_message "結果" "破損は見付かりませんでした。" OK
  drive answer OK $wait_ms
  drive wait-idle $wait_ms
  expect_idle_list 0 -1
}

damage_text() { printf 'ファイルが破損している可能性があります。\\nAddress : %s' "$1"; }

# check_finds_damage FILE: Check is pressed with FILE at the top of the list;
# the damage message names the first zero run's offset; FILE stays selected.
check_finds_damage() {
  local expected
  expected=$(first_zero_run "$1" $threshold)
  [ "$expected" != none ] || fail "$1 has no zero run of $threshold bytes"
  say "Check finds the damage in $(basename "$1") at $expected"
  drive click 1
  expect_message "破損検出" "$(damage_text "$expected")" OK
  if [ -n "${2:-}" ]; then shot "$2"; fi
  drive answer OK $wait_ms
  drive wait-idle $wait_ms
  drive state
  expect list.0 "$(winpath "$1")"
  expect list.sel 0
  expect repair.enabled 1
}

# repair FILE SOURCE [SHOT]: Repair... with FILE selected, SOURCE entered in the
# file-open dialog; the success message follows.
repair() {
  say "Repair $(basename "$1") from $(basename "$2")"
  drive click 206
  drive open-file "$(winpath "$2")" $wait_ms
  expect title "修復用ファイル"
  expect owner main
  expect name "$(basename "$1")"
  expect_message "修復" "ファイルを修復しました。" OK
  if [ -n "${3:-}" ]; then shot "$3"; fi
  drive answer OK $wait_ms
  drive state
  expect list.0 "$(winpath "$1")"
  expect list.sel 0
}

fixed_name() { printf '%s.fixed.avi' "${1%.avi}"; }

# repaired_equals FILE ORIGINAL: the output beside FILE is ORIGINAL byte for
# byte and decodes without a complaint.
repaired_equals() {
  local fixed
  fixed=$(fixed_name "$1")
  [ -f "$fixed" ] || fail "no output file $(basename "$fixed")"
  cmp "$fixed" "$2" || fail "$(basename "$fixed") differs from $(basename "$2")"
  local complaints
  complaints=$(ffmpeg -nostdin -v error -i "$fixed" -f null - 2>&1) || fail "ffmpeg cannot decode $(basename "$fixed"): $complaints"
  [ -z "$complaints" ] || fail "ffmpeg complains about $(basename "$fixed"): $complaints"
}

# ---------------------------------------------------------------- fixtures
# Wine opens Shift-JIS file names only through a Japanese locale.
locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' || fail "no ja_JP.UTF-8 locale: run scripts/setup.sh"
rm -rf "$work"
media=$work/media
mkdir -p "$media"
app=$work/Orvalintex.exe
# A copy of its own, so that its settings file lies here and not in the build.
cp "$app_built" "$app"

say "making AVI files with ffmpeg"
for codec in mjpeg mpeg4; do
  # Test pattern with a sine tone: a video and an audio stream, each with the
  # index reserve that ffmpeg's AVI muxer writes as a JUNK chunk.
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc=duration=4:size=320x240:rate=25 \
    -f lavfi -i sine=frequency=440:duration=4 -c:v $codec -q:v 4 -c:a pcm_s16le \
    "$media/$codec.avi"
  head -c 4 "$media/$codec.avi" | grep -q RIFF || fail "$codec.avi is not a RIFF file"
  grep -q JUNK "$media/$codec.avi" || fail "$codec.avi holds no JUNK chunk"
  [ "$(first_zero_run "$media/$codec.avi" $threshold)" = none ] \
    || fail "$codec.avi already holds a zero run of $threshold bytes"
done
echo "   mjpeg.avi $(stat -c %s "$media/mjpeg.avi") bytes, mpeg4.avi $(stat -c %s "$media/mpeg4.avi") bytes"

"$wine_run" cmd /c exit >/dev/null 2>&1 || true   # the prefix, made once per build folder
[ ! -e "$media_drive" ] || [ -L "$media_drive" ] || fail "$media_drive exists and is no link"
ln -sfn "$media" "$media_drive"

# ---------------------------------------------- JUNK chunks are no damage
# The zero runs inside ffmpeg's JUNK chunks are about 4 KB long, below the
# default threshold, so a threshold of 4 KB is what makes them count.
junk_threshold=4096
for codec in mjpeg mpeg4; do
  [ "$(first_zero_run "$media/$codec.avi" $junk_threshold)" != none ] \
    || fail "$codec.avi holds no zero run of $junk_threshold bytes to pass over"
done

say "clean AVIs, threshold 4 KB, JUNK option on: no damage"
settings $junk_threshold 1
start "$media/mjpeg.avi" "$media/mpeg4.avi"
expect_idle_list 2 -1
expect threshold.text 4
expect junk.checked 1
expect list.0 "$(winpath "$media/mjpeg.avi")"
expect list.1 "$(winpath "$media/mpeg4.avi")"
expect remove.text "削除(&R)"
expect remove_all.text "全て削除(&C)"
expect repair.text "修復..."
expect exit.text "終了"
expect exit.enabled 1
shot list
check_finds_no_damage
stop

say "clean AVIs, threshold 4 KB, JUNK option turned off in the dialog: the JUNK padding is damage"
settings $junk_threshold 1
start "$media/mjpeg.avi" "$media/mpeg4.avi"
drive toggle 204 $wait_ms
drive state
expect junk.checked 0
drive click 1
expect_message "破損検出" "$(damage_text "$(first_zero_run "$media/mjpeg.avi" $junk_threshold)")" OK
drive answer OK $wait_ms
drive wait-idle $wait_ms
expect_idle_list 2 0
expect list.0 "$(winpath "$media/mjpeg.avi")"
stop
grep -q '^SkipJunk=0' "$work/Orvalintex.ini" || fail "the JUNK option turned off was not stored"
grep -q '^ErrorLength=4096' "$work/Orvalintex.ini" || fail "the threshold of 4 KB was not kept"

say "clean AVIs, default threshold, JUNK option off: the padding is shorter than 8 KB, no damage"
settings $threshold 0
start "$media/mjpeg.avi" "$media/mpeg4.avi"
drive state
expect threshold.text 8
expect junk.checked 0
check_finds_no_damage
stop

# ------------------------------------------ damaged copies, check, repair
# Each codec gets two copies damaged in different places: a run of whole
# zeroed sectors of at least the threshold's length, which Check sees, and
# a single zeroed sector, which it does not, but which the repair must mend
# as well. First sector, count: copy a, copy b.
declare -A damage_a=([mjpeg]="100 4 300 1" [mpeg4]="40 4 180 1")
declare -A damage_b=([mjpeg]="200 6 50 1" [mpeg4]="120 5 10 1")
for codec in mjpeg mpeg4; do
  for copy in a b; do
    f=$media/${codec}-$copy.avi
    cp "$media/$codec.avi" "$f"
    if [ $copy = a ]; then set -- ${damage_a[$codec]}; else set -- ${damage_b[$codec]}; fi
    while [ $# -gt 0 ]; do zero_sectors "$f" "$1" "$2"; shift 2; done
    cmp -s "$f" "$media/$codec.avi" && fail "$(basename "$f") was not damaged"
  done
done

say "four damaged copies, default settings"
settings $threshold 1
start "$media/mjpeg-a.avi" "$media/mjpeg-b.avi" "$media/mpeg4-a.avi" "$media/mpeg4-b.avi"
expect_idle_list 4 -1

check_finds_damage "$media/mjpeg-a.avi" damage
expect list.count 4

say "Repair..., then Cancel in the file-open dialog: nothing is made"
drive click 206
drive cancel-open $wait_ms
drive state
drive no-msgbox
[ ! -e "$(fixed_name "$media/mjpeg-a.avi")" ] || fail "a cancelled repair left an output file"

repair "$media/mjpeg-a.avi" "$media/mjpeg-b.avi" repaired
repaired_equals "$media/mjpeg-a.avi" "$media/mjpeg.avi"

say "Remove the repaired file; the next one comes to the top"
drive press 201
expect_idle_list 3 -1
expect list.0 "$(winpath "$media/mjpeg-b.avi")"

check_finds_damage "$media/mjpeg-b.avi"
repair "$media/mjpeg-b.avi" "$media/mjpeg-a.avi"
repaired_equals "$media/mjpeg-b.avi" "$media/mjpeg.avi"
drive press 201

check_finds_damage "$media/mpeg4-a.avi"
repair "$media/mpeg4-a.avi" "$media/mpeg4-b.avi"
repaired_equals "$media/mpeg4-a.avi" "$media/mpeg4.avi"
drive press 201

check_finds_damage "$media/mpeg4-b.avi"
repair "$media/mpeg4-b.avi" "$media/mpeg4-a.avi"
repaired_equals "$media/mpeg4-b.avi" "$media/mpeg4.avi"
drive press 201
expect_idle_list 0 -1
stop

# ---------------------------- a relative name, a source in another folder
# The file-open dialog moves the process into the folder where the source was
# picked; the output must still land beside the damaged file.
say "a name relative to the program's folder; the repair source picked in another folder"
cp "$media/mjpeg-a.avi" "$media/rel-a.avi"
mkdir -p "$media/other"
cp "$media/mjpeg-b.avi" "$media/other/rel-b.avi"
settings $threshold 1
start_names 'media\rel-a.avi'
drive click 1
expect_message "破損検出" "$(damage_text "$(first_zero_run "$media/rel-a.avi" $threshold)")" OK
drive answer OK $wait_ms
drive wait-idle $wait_ms
expect_idle_list 1 0
expect list.0 'media\rel-a.avi'
drive click 206
drive open-file "$(winpath "$media/other/rel-b.avi")" $wait_ms
expect name rel-a.avi
expect_message "修復" "ファイルを修復しました。" OK
drive answer OK $wait_ms
repaired_equals "$media/rel-a.avi" "$media/mjpeg.avi"
[ ! -e "$media/other/media" ] || fail "the repair wrote below the source's folder"
stop

# -------------------------------------------------------- Shift-JIS names
# ソ and 表 end in the byte 0x5C, a backslash when read byte by byte: the
# list, the file-open dialog and the output name must take them as letters.
say "Shift-JIS names whose second bytes are backslashes"
sjis_a=$media/ソフト表示-a.avi
sjis_b=$media/ソフト表示-b.avi
cp "$media/mpeg4-a.avi" "$sjis_a"
cp "$media/mpeg4-b.avi" "$sjis_b"
settings $threshold 1
start "$sjis_a" "$sjis_b"
expect_idle_list 2 -1
expect list.0 'V:\ソフト表示-a.avi'
check_finds_damage "$sjis_a"
repair "$sjis_a" "$sjis_b"
repaired_equals "$sjis_a" "$media/mpeg4.avi"
stop

# ------------------------------- both copies lost the same sectors
# Sectors 60 to 63 end the second 64 KiB block of the merge, where it asks
# whether to go on: at the block's end, the threshold's length back.
say "copies that both lost sectors 60 to 63: the repair asks whether to go on"
shared_first=60
shared_count=4
for copy in c d; do
  cp "$media/mpeg4.avi" "$media/mpeg4-$copy.avi"
  zero_sectors "$media/mpeg4-$copy.avi" $shared_first $shared_count
done
zero_sectors "$media/mpeg4-c.avi" 150 4
zero_sectors "$media/mpeg4-d.avi" 90 4
cp "$media/mpeg4.avi" "$media/mpeg4-lost.avi"   # what the best repair can give
zero_sectors "$media/mpeg4-lost.avi" $shared_first $shared_count
question_at=$(printf '%08X' $(( (shared_first + shared_count) * sector - threshold )))
question=$(printf '修復できません。処理を続行しますか?\\nAddress : %s' "$question_at")
# A message box without a caption of its own shows the platform's default, "エラー" in Japanese.
default_caption="エラー"

settings $threshold 1
start "$media/mpeg4-c.avi"
check_finds_damage "$media/mpeg4-c.avi"

say "answer No: the repair stops, its output is deleted, nothing more is shown"
drive click 206
drive open-file "$(winpath "$media/mpeg4-d.avi")" $wait_ms
expect_message "$default_caption" "$question" "Yes No"
shot continue
drive answer No $wait_ms
drive state            # answered only once the command has returned
expect list.sel 0
drive no-msgbox
[ ! -e "$(fixed_name "$media/mpeg4-c.avi")" ] || fail "the stopped repair left its output file"

say "answer Yes: the repair goes on; the shared sectors stay zero, the rest is mended"
drive click 206
drive open-file "$(winpath "$media/mpeg4-d.avi")" $wait_ms
expect_message "$default_caption" "$question" "Yes No"
drive answer Yes $wait_ms
expect_message "修復" "ファイルを修復しました。" OK
drive answer OK $wait_ms
fixed=$(fixed_name "$media/mpeg4-c.avi")
cmp "$fixed" "$media/mpeg4-lost.avi" || fail "$(basename "$fixed") is not the original less the shared sectors"
stop

# ---------------------------------------------------- a long run, stopped
# Many names (hard links cost no space) for two clean AVIs: a quarter for the
# small one, which the run passes quickly, the rest for a large uncompressed
# one, some 28 GB in all. Once the small ones have passed, the run has most of
# its work ahead however fast the scanner is, and is seen and stopped there.
say "a long run: the Check button turns into Stop, clean files leave the list, Stop ends the run"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=duration=8:size=640x480:rate=25 -c:v rawvideo -pix_fmt yuv420p \
  "$media/long.avi"
mkdir -p "$media/long"
small=100
links=400
long_files=()
for i in $(seq -w 1 $links); do
  if [ $((10#$i)) -le $small ]; then ln "$media/mjpeg.avi" "$media/long/take-$i.avi"
  else ln "$media/long.avi" "$media/long/take-$i.avi"; fi
  long_files+=("$media/long/take-$i.avi")
done
settings $threshold 1
start "${long_files[@]}"
drive click 1
drive wait-running $wait_ms
drive wait-progress $small $wait_ms
drive state
expect check.enabled 1
expect remove.enabled 0
expect remove_all.enabled 0
expect repair.enabled 0
expect threshold.enabled 0
expect junk.enabled 0
expect exit.enabled 1
expect progress.max $links
shot running
drive click 1
drive wait-idle $wait_ms
drive no-msgbox
drive state
left=$(field list.count)
selected=$(field list.sel)
[ "$left" -gt 0 ] && [ "$left" -lt $links ] || fail "after Stop the list holds $left of $links files"
# Stopped inside a file, that file stays selected; stopped between files, none is.
[ "$selected" = 0 ] || [ "$selected" = -1 ] || fail "after Stop entry $selected is selected"
expect_idle_list "$left" "$selected"
expect list.0 "$(winpath "${long_files[$((links - left))]}")"
expect list.$((left - 1)) "$(winpath "${long_files[$((links - 1))]}")"
stop

say "Exit during a run: the dialog closes, the program ends"
settings $threshold 1
start "${long_files[@]}"
drive click 1
drive wait-running $wait_ms
stop

rm -rf "$media/long" "$media/long.avi"

echo "PASS: screenshots in $work/screenshots"
