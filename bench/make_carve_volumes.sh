#!/usr/bin/env bash
# Makes the sample volumes of the carving-yield benchmark in OUT (default: a new
# temporary folder), from a fixed seed (SEED, default 25):
#
#   originals/  one set of files made by real tools: JPEG, PNG, GIF, BMP and TIFF
#               pictures (netpbm), Ogg, FLAC and WAV sounds (sox), MP4, MPEG-PS,
#               AVI and Matroska videos (ffmpeg), DOCX and ODT documents (pandoc),
#               PDF (ghostscript), a gzip archive, shell and Python scripts and
#               a CSV table;
#   fat32.img   50 MiB FAT32, filled with mtools;
#   ntfs.img    50 MiB NTFS (mkntfs), filled through ntfs-3g;
#   exfat.img   50 MiB exFAT (mkfs.exfat), filled through exfat-fuse on a loop device;
#   ext2.img    50 MiB ext2 on 1 KiB blocks made by mke2fs -d (every file of more
#               than 12 KiB has indirect blocks), deletions and reuse by debugfs;
#   ext4.img    50 MiB ext4, filled through a loop mount;
#   known       "<volume> <name> <live|deleted> <sha256>" for every original
#               written to every volume.
#
# Every volume receives all originals in the same order; then every third one
# (the third, sixth, ...) is deleted and 2 MiB of seeded filler is written,
# which reuses part of the space the deleted files held. Needs root for the
# mounts.
set -euo pipefail
out=${1:-$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-carve-volumes.XXXXXX")}
seed=${SEED:-25}
export SOURCE_DATE_EPOCH=1700000000
for tool in ppmpat pgmnoise pnmtojpeg pnmtopng ppmtogif ppmtobmp pnmtotiff sox ffmpeg pandoc ps2pdf python3 \
  mkfs.fat mcopy mdel mkntfs ntfs-3g mkfs.exfat mount.exfat-fuse losetup mke2fs debugfs; do
  command -v "$tool" > /dev/null || { echo "make_carve_volumes: $tool missing" >&2; exit 1; }
done
mkdir -p "$out"
orig="$out/originals"
rm -rf "$orig"; mkdir -p "$orig"

# Seeded bytes: filler <bytes> <seed>.
filler() { python3 -c 'import random,sys; r=random.Random(int(sys.argv[2])); sys.stdout.buffer.write(r.randbytes(int(sys.argv[1])))' "$1" "$2"; }
s=$seed
next() { s=$((s + 1)); }

# Pictures.
for i in 1 2 3 4 5 6 7 8 9 10; do
  next; ppmpat -camo -randomseed=$s $((600 + 160 * i)) $((450 + 120 * i)) | pnmtojpeg -quality=$((75 + 2 * i)) > "$orig/photo$i.jpg"
done
for i in 1 2 3 4; do next; pgmnoise -randomseed=$s $((300 + 180 * i)) 700 | pnmtopng > "$orig/noise$i.png"; done
next; ppmpat -poles -randomseed=$s 640 480 | pnmtopng > "$orig/poles.png"
for i in 1 2; do next; ppmpat -camo -randomseed=$s 320 $((160 + 40 * i)) | ppmtogif > "$orig/icon$i.gif" 2> /dev/null; done
for i in 1 2; do next; ppmpat -squig -randomseed=$s $((200 + 50 * i)) 200 | ppmtobmp > "$orig/scan$i.bmp" 2> /dev/null; done
next; ppmpat -camo -randomseed=$s 300 240 | pnmtotiff > "$orig/page.tif" 2> /dev/null

# Sounds: seeded noise under tones, so each file differs.
for i in 1 2 3; do next; sox -R -n -r 44100 -c 2 "$orig/tune$i.ogg" synth $((12 + 6 * i)) sine $((300 + 110 * i)) synth pinknoise mix; done
for i in 1 2; do next; sox -R -n -r 44100 -c 1 "$orig/take$i.flac" synth $((3 + 2 * i)) square $((200 + 50 * i)); done
for i in 1 2; do next; sox -R -n -r 44100 -c 2 -b 16 "$orig/beep$i.wav" synth $((4 + 3 * i)) sine $((600 + 80 * i)); done

# Videos.
vid() { ffmpeg -v error -y -f lavfi -i "testsrc=duration=$1:size=640x480:rate=25" -f lavfi -i "sine=frequency=$2:duration=$1" \
  -fflags +bitexact -flags:v +bitexact -flags:a +bitexact "${@:4}" "$3"; }
vid 8 440 "$orig/clip1.mp4" -c:v mpeg4 -q:v 4 -c:a aac
vid 6 520 "$orig/clip2.mov" -c:v mpeg4 -q:v 5 -c:a aac
vid 8 610 "$orig/clip3.mpg" -c:v mpeg2video -q:v 4 -c:a mp2 -f mpeg
vid 6 700 "$orig/clip4.avi" -c:v mpeg4 -q:v 4 -c:a pcm_s16le
vid 6 330 "$orig/clip5.mkv" -c:v mpeg4 -q:v 4 -c:a flac

# Documents.
text() { python3 -c 'import random,sys
r=random.Random(int(sys.argv[1])); w="data disk file block sector volume record carve image table header".split()
for p in range(int(sys.argv[2])): print(" ".join(r.choice(w) for _ in range(90)) + ".\n")' "$1" "$2"; }
for i in 1 2; do next; { echo "# Report $i"; text $s $((20 * i)); } | pandoc -f markdown -o "$orig/report$i.docx"; done
next; { echo "# Notes"; text $s 30; } | pandoc -f markdown -o "$orig/notes.odt"
for i in 1 2; do
  next
  { printf '%%!PS\n/Times-Roman findfont 11 scalefont setfont\n'
    text $s $((8 * i)) | fold -w 90 | awk -v n=$((50 * i)) 'NR > n {next} {gsub(/[()\\]/, ""); printf "72 %d moveto (%s) show\n", 760 - (NR % 60) * 12, $0; if (NR % 60 == 0) print "showpage"}'
    echo showpage; } | ps2pdf - "$orig/letter$i.pdf"
done
next; text $s 120 | gzip -n -9 > "$orig/log.txt.gz"

# Scripts and text.
next; { echo '#!/bin/sh'; echo "# backup job $s"; for k in $(seq 1 200); do echo "cp -a /srv/data/part$k /backup/part$k || exit 1"; done; } > "$orig/backup.sh"
next; { echo '#!/usr/bin/env python3'; for k in $(seq 1 150); do echo "def step_$k(x):"; echo "    return x * $k + $s"; done; } > "$orig/steps.py"
next; { echo 'id,name,size,sector'; for k in $(seq 1 2500); do echo "$k,file$k,$((k * 37 % 9973)),$((k * s))"; done; } > "$orig/table.csv"

mapfile -t names < <(cd "$orig" && ls -1 | sort)
deleted() { [ $(($1 % 3)) -eq 2 ]; }
: > "$out/known"

# Writes the originals into a mounted volume at $1, deletes every third, then
# writes the filler (space reuse).
fill_mounted() {
  local dir=$1 i=0
  for n in "${names[@]}"; do cp "$orig/$n" "$dir/$n"; sync; done
  for n in "${names[@]}"; do deleted $i && rm "$dir/$n"; i=$((i + 1)); done
  sync
  filler 2097152 $((seed * 7)) > "$dir/reuse.bin"
  sync
}
record() {
  local vol=$1 i=0
  for n in "${names[@]}"; do
    local state=live; deleted $i && state=deleted
    echo "$vol $n $state $(sha256sum < "$orig/$n" | cut -d' ' -f1)" >> "$out/known"
    i=$((i + 1))
  done
}

mnt="$out/mnt"; mkdir -p "$mnt"

# FAT32.
img="$out/fat32.img"; rm -f "$img"
mkfs.fat -F 32 -C "$img" 51200 > /dev/null
export MTOOLS_SKIP_CHECK=1
for n in "${names[@]}"; do mcopy -i "$img" "$orig/$n" "::/$n"; done
i=0; for n in "${names[@]}"; do deleted $i && mdel -i "$img" "::/$n"; i=$((i + 1)); done
filler 2097152 $((seed * 7)) > "$out/reuse.bin"; mcopy -i "$img" "$out/reuse.bin" ::/reuse.bin; rm "$out/reuse.bin"
record fat32

# NTFS.
img="$out/ntfs.img"; rm -f "$img"
truncate -s 50M "$img"; mkntfs -F -f -q "$img" 2> /dev/null
ntfs-3g "$img" "$mnt"; fill_mounted "$mnt"; umount "$mnt"
record ntfs

# exFAT.
img="$out/exfat.img"; rm -f "$img"
truncate -s 50M "$img"; mkfs.exfat "$img" > /dev/null
dev=$(losetup -f --show "$img")
mount.exfat-fuse "$dev" "$mnt" > /dev/null; fill_mounted "$mnt"; umount "$mnt"; losetup -d "$dev"
record exfat

# ext2 on 1 KiB blocks, by mke2fs -d; deletion and reuse through debugfs.
img="$out/ext2.img"; rm -f "$img"
mke2fs -q -t ext2 -b 1024 -d "$orig" "$img" 51200
i=0; for n in "${names[@]}"; do deleted $i && debugfs -w -R "rm /$n" "$img" > /dev/null 2>&1; i=$((i + 1)); done
filler 2097152 $((seed * 7)) > "$out/reuse.bin"; debugfs -w -R "write $out/reuse.bin reuse.bin" "$img" > /dev/null 2>&1; rm "$out/reuse.bin"
record ext2

# ext4, through a loop mount.
img="$out/ext4.img"; rm -f "$img"
mke2fs -q -t ext4 "$img" 50M
mount -o loop "$img" "$mnt"; fill_mounted "$mnt"; umount "$mnt"
record ext4

rmdir "$mnt"
echo "$out"
