#!/usr/bin/env bash
# Raw recovery: carving a volume of random data that holds known files (JPEG and
# PNG made by netpbm from random pictures, PDF, ZIP made by zip), some at sector ends that are
# not whole sectors, with the default rules (tavrel-cli carve --out), against
# `cat` of the same image (the machine's read limit), in one run. Prints the
# times and how many carved files are byte-identical to the originals.
# BENCH_CARVE_MIB sets the volume size (default 1024).
set -euo pipefail
build=${TAVREL_BUILD:?}
cli="$build/tavrel-cli"
mib=${BENCH_CARVE_MIB:-1024}
runs=${BENCH_RUNS:-3}
work=${BENCH_WORK:-$(mktemp -d)}
trap '[ -z "${BENCH_WORK:-}" ] && rm -rf "$work"' EXIT
for tool in pnmtojpeg pnmtopng zip; do
  command -v "$tool" > /dev/null || { echo "bench_carve: $tool missing, skipped"; exit 0; }
done

img="$work/carve.img"
files="$work/files"
mkdir -p "$files"
head -c "${mib}M" /dev/urandom > "$img"
picture() { printf 'P6\n%d %d\n255\n' "$1" "$2"; head -c $(($1 * $2 * 3)) /dev/urandom; }
# One file every 8 MiB plus an odd number of sectors, cycling through the kinds.
n=0
for ((at = 4096; at + 4194304 < mib * 1048576; at += 8388608 + 512 * (n % 7))); do
  case $((n % 4)) in
    0) picture 320 240 | pnmtojpeg > "$files/$n.jpg"; f="$files/$n.jpg" ;;
    1) picture 200 150 | pnmtopng > "$files/$n.png" 2> /dev/null; f="$files/$n.png" ;;
    2) printf '%%PDF-1.4\n1 0 obj\n<< >>\nendobj\n%s\ntrailer\n<< /Root 1 0 R >>\n%%%%EOF\n' "$(head -c 20000 /dev/urandom | base64 -w0)" > "$files/$n.pdf"; f="$files/$n.pdf" ;;
    3) head -c 30000 /dev/urandom | base64 > "$files/$n.txt"; (cd "$files" && zip -q "$n.zip" "$n.txt" && rm "$n.txt"); f="$files/$n.zip" ;;
  esac
  dd if="$f" of="$img" bs=512 seek=$((at / 512)) conv=notrunc status=none
  echo "$at $(sha256sum < "$f" | cut -d' ' -f1)" >> "$work/placed"
  n=$((n + 1))
done

timed() {
  local TIMEFORMAT='%R' t
  t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
  echo "$t"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }
end=$((mib * 2048 - 1))
cat "$img" > /dev/null
ours=() peer=()
for _ in $(seq "$runs"); do
  rm -rf "$work/out"
  ours+=("$(timed "$cli" carve "$img" --start 0 --end "$end" --out "$work/out")")
  peer+=("$(timed cat "$img")")
done
identical=0
while read -r at sum; do
  for f in "$work/out"/*/"$at ".*; do
    [ -f "$f" ] && [ "$(sha256sum < "$f" | cut -d' ' -f1)" = "$sum" ] && identical=$((identical + 1))
  done
done < "$work/placed"
found=$(find "$work/out" -type f | wc -l)
o=$(best "${ours[@]}"); p=$(best "${peer[@]}")
printf 'carve %d MiB   tavrel-cli %.2f s (%.0f MiB/s)   cat %.2f s (%.0f MiB/s)   placed %d, found %d, byte-identical %d\n' \
  "$mib" "$o" "$(echo "$mib / $o" | bc -l)" "$p" "$(echo "$mib / $p" | bc -l)" "$n" "$found" "$identical"
