# Sourced by examples.sh: the files the README's and the guide's examples run on.
data() { yes Orvalintex | head -c "$1" || true; }  # no zero byte in it
zeros() {
  dd if=/dev/zero of="$1" bs="$3" count=1 seek=$(($2)) oflag=seek_bytes conv=notrunc status=none
}
mkdir -p disc copy2 a b c rescued
data 300000 >disc/a.avi
data 300000 >disc/b.avi && zeros disc/b.avi 0x1E000 9000
data 300000 >copy2/b.avi && zeros copy2/b.avi 1000 9000
# Three bad copies of one video: a lost two stretches, b and c one each, c holds wrong bytes.
for k in a b c; do data 400000 >$k/clip.avi; done
zeros a/clip.avi 0x10000 30000 && zeros a/clip.avi 0x40000 32768
zeros b/clip.avi 0x40000 32768 && zeros b/clip.avi 0x12000 4096
zeros c/clip.avi 0x40000 32768 && zeros c/clip.avi 0x11000 4096
printf XYZ | dd of=c/clip.avi bs=1 seek=$((0x1A2F1)) conv=notrunc status=none
cp a/clip.avi a/clip2.avi && cp b/clip.avi b/clip2.avi
for k in a b c; do cp disc/a.avi $k/clip3.avi; done
data 400000 >disc.img  # the disc itself, still readable where the copies are not
# An AVI video, damaged inside its frames.
ffmpeg -nostdin -v error -f lavfi -i testsrc=d=10:s=320x240:r=25 -f lavfi -i sine=d=10 \
  -c:v mjpeg -c:a pcm_s16le -fflags +bitexact -flags +bitexact video.avi
zeros video.avi 0x60000 16384
# Two rescues by GNU ddrescue, with their mapfiles: the first could not read 8 KiB, the
# second left stale bytes where it could not read.
data 300000 >original.img
cp original.img r1.img && zeros r1.img 0x20000 8192
cp original.img r2.img && printf 'stale data stale data' | dd of=r2.img bs=1 seek=$((0x30000)) \
  conv=notrunc status=none
ddrescue -q -G original.img r1.img r1.map
printf '# Mapfile\n0 + 1\n0 0x30000 +\n0x30000 0x1000 -\n0x31000 0x183E0 +\n' >r2.map
# An image dvdisaster read, with one sector it could not read.
data 300000 >disc.iso
printf 'dvdisaster dead sector marker\nThis sector could not be read from the image.\nIts %s\n' \
  'contents have been substituted by the dvdisaster read routine.' |
  dd of=disc.iso bs=1 seek=$((0x5000)) conv=notrunc status=none
printf 'dvdisaster dead sector end marker\n' |
  dd of=disc.iso bs=1 seek=$((0x5000 + 2012)) conv=notrunc status=none
