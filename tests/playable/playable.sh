#!/usr/bin/env bash
# repair --playable against the real decoder: ffmpeg's AVI files (MPEG-4 Part 2 with key frames
# every 12 and 250, with B-frames, MP3; MJPEG with PCM; raw video past 1 GiB), damaged where no
# copy holds the bytes, made playable from the damaged copy alone. The copy must decode without
# an error, every frame it shows must be the original's at that time (with B-frames, where a
# frame was dropped, a kept one's beside it), the frames missing the dropped ones, the durations
# and (but for B-frames) the packets with the dropped ones as the original's.
# usage: playable.sh CLI
set -euo pipefail
exec < /dev/null  # ffmpeg reads keys from its standard input
cli=$(realpath "$1")
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work"
fail() { echo "playable: $*" >&2; exit 1; }
make() { ffmpeg -nostdin -v error -f lavfi -i testsrc=s=160x120:r=25 -f lavfi -i sine=r=44100 \
  -t 6 -fflags +bitexact "$@"; }
make -c:v mpeg4 -g 12 -bf 0 -c:a libmp3lame g12.avi
make -c:v mpeg4 -g 250 -bf 0 -c:a libmp3lame g250.avi
make -c:v mpeg4 -g 12 -bf 2 -c:a libmp3lame b12.avi
make -c:v mjpeg -c:a pcm_s16le mjpeg.avi
ffmpeg -nostdin -v error -f lavfi -i color=c=blue:s=1280x720:r=25 -f lavfi -i sine=r=8000 -t 32 \
  -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le big.avi
# Where packet K of stream S (from the end when negative) starts, its chunk header included.
packet() { ffprobe -v error -select_streams "$2" -show_entries packet=pos -of csv=p=0 "$1" |
  awk -v k="$3" '{ p[n++] = $1 } END { print p[k < 0 ? n + k : k] - 8 }'; }
first() { LC_ALL=C grep -obUa "$2" "$1" | head -n 1 | cut -d: -f1; }  # where the id stands first
frames() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | awk -F', *' '!/^#/ { print $2, $6 }'; }
count() {
  ffprobe -v error -select_streams "$2" -count_packets -show_entries stream=nb_read_packets \
  -of csv=p=0 "$1"; }
duration() { ffprobe -v error -show_entries stream=duration -of csv=p=0 "$1" | tr '\n' ' '; }
# file, what, offset, length: the bytes zeroed; bframes when the stream has them.
while read -r -u 3 file what offset length; do
  cp "$file" d.avi  # as a rescue leaves it: zeros where it could not read, and its mapfile
  dd if=/dev/zero of=d.avi bs=1 seek="$offset" count="$length" conv=notrunc status=none
  printf '0 + 1\n0 %d +\n%d %d -\n%d %d +\n' "$offset" "$offset" "$length" \
    $((offset + length)) $(($(stat -c %s d.avi) - offset - length)) > d.map
  "$cli" repair --playable --yes --map d.avi d.map --json d.avi -o p.avi >r.json 2>/dev/null || true
  [ -f p.avi ] || fail "$file, $what: nothing written: $(cat r.json)"
  errors=$(ffmpeg -v error -i p.avi -f null - 2>&1) && [ -z "$errors" ] ||
    fail "$file, $what: the decoder says: $errors"
  [ "$(duration p.avi)" = "$(duration "$file")" ] || fail "$file, $what: the durations changed"
  dropped=$(jq -r '.dropped[] | range(.first; .last + 1)' r.json | sort -n | tr '\n' ' ')
  [ -f "$file.frames" ] || frames "$file" > "$file.frames"
  frames p.avi > p.frames
  missing=$(awk 'NR == FNR { had[$1] = 1; next } { delete had[$1] }
    END { for (t in had) print t }' "$file.frames" p.frames | sort -n | tr '\n' ' ')
  [[ $what == *bframes* || $dropped == "$missing" ]] ||
    fail "$file, $what: the frames missing ($missing) are not the dropped ones ($dropped)"
  awk -v what="$file, $what" 'NR == FNR { md5[$1] = $2; next }
    { t[n + 0] = $1; m[n++] = $2 } END { for (i = 0; i < n; ++i) if (m[i] != md5[t[i]] &&
      !(what ~ /bframes/ && (m[i] == m[i - 1] || m[i] == m[i + 1]))) {
        print what ": frame " t[i] " differs"; exit 1 } }' "$file.frames" p.frames >&2 || exit 1
  n=$(jq '[.dropped[] | .last - .first + 1] | add // 0' r.json)
  [[ $what == *bframes* ]] || [ $(($(count p.avi v) + n)) = "$(count "$file" v)" ] ||
    fail "$file, $what: the packets with the dropped ones are not the original's"
  [ "$(count p.avi a)" = "$(count "$file" a)" ] || fail "$file, $what: audio packets lost"
  runs=$(jq '[.dropped, .silenced, .left] | add | length' r.json) result=$(jq -r .result r.json)
  [ "$result" = "$([ "$runs" = 0 ] && echo repaired || echo partial)" ] ||  # repaired: none lost
    fail "$file, $what: $result with $runs runs dropped, silenced or left"
  rm -f p.avi
done 3<<CASES
g12.avi inside-one-frame $(($(packet g12.avi v 24) + 300)) 100
g12.avi over-a-key-frame $(($(packet g12.avi v 36) - 600)) 3000
g12.avi over-chunk-headers $(($(packet g12.avi v 50) + 8)) 2000
g12.avi in-idx1 $(($(first g12.avi idx1) + 400)) 1500
g12.avi mp3-only $(($(packet g12.avi a 40) + 20)) 150
g250.avi inside-one-frame $(($(packet g250.avi v 40) + 20)) 60
b12.avi bframes-over-an-anchor $(($(packet b12.avi v 40) + 20)) 1500
b12.avi bframes-before-a-key $(($(packet b12.avi v 70) - 1200)) 1500
mjpeg.avi inside-one-frame $(($(packet mjpeg.avi v 30) + 500)) 200
mjpeg.avi pcm-and-headers $(($(packet mjpeg.avi a 20) + 4)) 3000
big.avi avix-headers $(($(packet big.avi v 450) - 200)) 1200
big.avi in-an-ix $(($(first big.avi ix00) + 100)) 1200
CASES
# Nothing lost: the playable copy is the exact repair.
cp g12.avi a.avi && cp g12.avi b.avi
dd if=/dev/zero of=a.avi bs=1 seek=30000 count=4000 conv=notrunc status=none
"$cli" repair --playable a.avi b.avi -o p.avi >/dev/null &&
  "$cli" repair a.avi b.avi -o e.avi >/dev/null
cmp -s p.avi e.avi || fail "a repair with nothing lost is not the exact repair"
