#!/usr/bin/env bash
# Raw recovery: carving a FAT32 volume (mkfs.fat, files copied by mcopy) that
# holds known JPEG and PNG files (netpbm, random pictures), PDF, ZIP (zip) and
# MP3 files (an ID3v2 tag, MPEG frames, an ID3v1 tag) between files of random
# data; every third known file is deleted (mdel) before the carve, and every file
# ends inside a sector. Tavrel carves the volume with the default rules and saves
# what it finds (`tavrel-cli carve --out`, then sync), against `cat` of the same
# volume (the machine's read limit), alternated, medians of BENCH_RUNS runs.
# Prints the times, the files found, and how many known files, live and deleted,
# were saved byte-identical to their originals.
# BENCH_CARVE_MIB sets the volume size (default 1024).
set -euo pipefail
build=${TAVREL_BUILD:?}
cli="$build/tavrel-cli"
mib=${BENCH_CARVE_MIB:-1024}
runs=${BENCH_RUNS:-5}
work=${BENCH_WORK:-$(mktemp -d)}
trap '[ -z "${BENCH_WORK:-}" ] && rm -rf "$work"' EXIT
for tool in pnmtojpeg pnmtopng zip mkfs.fat mcopy mdel python3; do
  command -v "$tool" > /dev/null || { echo "bench_carve: $tool missing, skipped"; exit 0; }
done

img="$work/carve.img"
files="$work/files"
rm -rf "$files" "$img" "$work/known"
mkdir -p "$files"
mkfs.fat -F 32 -C "$img" $((mib * 1024)) > /dev/null
picture() { printf 'P6\n%d %d\n255\n' "$1" "$2"; head -c $(($1 * $2 * 3)) /dev/urandom; }
mp3() {  # frames: 128 kbit/s, 44.1 kHz, every third padded (418 bytes)
  python3 - "$1" <<'EOF'
import os, sys
frames = int(sys.argv[1])
title = b"TIT2" + (9).to_bytes(4, "big") + b"\0\0" + b"\0bench mp"
tag = title + bytes(64)
size = len(tag)
syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
out = b"ID3\3\0\0" + syncsafe + tag
for i in range(frames):
    pad = i % 3 == 2
    out += bytes([0xFF, 0xFB, 0x92 if pad else 0x90, 0x00]) + os.urandom(417 + pad - 4)
out += b"TAG" + b"bench".ljust(125, b"\0")
sys.stdout.buffer.write(out)
EOF
}
# Known files and filler fill about nine tenths of the volume.
n=0 used=0
while [ $used -lt $((mib * 1048576 * 9 / 10 - 8388608)) ]; do
  name=$(printf 'k%04d' $n)
  case $((n % 5)) in
    0) picture $((200 + n % 150)) 240 | pnmtojpeg > "$files/$name.jpg"; f=$name.jpg ;;
    1) picture 200 $((100 + n % 90)) | pnmtopng > "$files/$name.png" 2> /dev/null; f=$name.png ;;
    2) printf '%%PDF-1.4\n1 0 obj\n<< >>\nendobj\n%s\ntrailer\n<< /Root 1 0 R >>\n%%%%EOF\n' \
         "$(head -c $((20000 + n * 7)) /dev/urandom | base64 -w0)" > "$files/$name.pdf"; f=$name.pdf ;;
    3) head -c $((30000 + n * 11)) /dev/urandom | base64 > "$files/$name.txt"
       (cd "$files" && zip -q "$name.zip" "$name.txt" && rm "$name.txt"); f=$name.zip ;;
    4) mp3 $((200 + n % 300)) > "$files/$name.mp3"; f=$name.mp3 ;;
  esac
  state=live; [ $((n % 3)) -eq 2 ] && state=deleted
  echo "$f $state $(sha256sum < "$files/$f" | cut -d' ' -f1)" >> "$work/known"
  head -c $((6291456 + 1000 * n + 17)) /dev/urandom > "$files/$(printf 'r%04d' $n).bin"
  used=$((used + $(stat -c %s "$files/$f") + 6291456 + 1000 * n + 17))
  n=$((n + 1))
done
mcopy -i "$img" "$files"/* ::/
while read -r f state _; do
  [ "$state" = deleted ] && mdel -i "$img" "::/$f"
done < "$work/known"
rm -rf "$files"

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
timed() {
  local TIMEFORMAT='%R' t
  t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
  echo "$t"
}
carve() { "$cli" carve "$img" --start 0 --end "$end" --out "$work/out" && sync; }
end=$((mib * 2048 - 1))
cat "$img" > /dev/null
: > "$work/ours"; : > "$work/peer"
for _ in $(seq "$runs"); do
  rm -rf "$work/out"; sync
  timed carve >> "$work/ours"
  timed cat "$img" >> "$work/peer"
done
find "$work/out" -type f -exec sha256sum {} + | cut -d' ' -f1 | sort -u > "$work/carved"
found=$(find "$work/out" -type f | wc -l)
count() { grep -c -- "$1" "$work/known" || true; }
identical() { awk -v s="$1" '$2 == s {print $3}' "$work/known" | sort -u | comm -12 - "$work/carved" | wc -l; }
o=$(median < "$work/ours"); p=$(median < "$work/peer")
printf 'carve %d MiB FAT32   tavrel-cli %.2f s (%.0f MiB/s)   cat %.2f s (%.0f MiB/s)\n' \
  "$mib" "$o" "$(echo "$mib / $o" | bc -l)" "$p" "$(echo "$mib / $p" | bc -l)"
printf '  known %d (live %d, deleted %d), found %d, byte-identical: live %d, deleted %d\n' \
  "$n" "$(count ' live ')" "$(count ' deleted ')" "$found" "$(identical live)" "$(identical deleted)"
