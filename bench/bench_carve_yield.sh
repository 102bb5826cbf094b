#!/usr/bin/env bash
# Raw recovery yield against PhotoRec: the sample volumes of make_carve_volumes.sh
# (FAT32, NTFS, exFAT, ext2 with files of more than 12 blocks, ext4; live,
# deleted and partly overwritten files of many families) are carved whole by
# tavrel-cli carve (default rules, --out) and by PhotoRec with every family on
# (`partition_none,fileopt,everything,enable,search`, ext2 mode on ext2), in the
# same run, alternated, BENCH_RUNS times each (default 3); each timing includes
# writing the files and a sync. Prints per volume the originals found
# byte-identical by each (every original counted once) and the median times,
# then for each volume the originals only one of the two found.
#
# TAVREL_BUILD: the build folder holding tavrel-cli. BENCH_VOLUMES: a folder
# already made by make_carve_volumes.sh (else one is made, which needs root).
# BENCH_ONLY: the volumes to run (default "fat32 ntfs exfat ext2 ext4").
set -euo pipefail
build=${TAVREL_BUILD:?}
cli="$build/tavrel-cli"
runs=${BENCH_RUNS:-3}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-yield.XXXXXX")
trap 'rm -rf "$work"' EXIT
command -v photorec > /dev/null || { echo "bench_carve_yield: photorec missing, skipped"; exit 0; }
vols=${BENCH_VOLUMES:-}
if [ -z "$vols" ]; then
  vols="$work/volumes"
  "$here/make_carve_volumes.sh" "$vols" > /dev/null
fi

seconds() { date +%s.%N; }
# One timed run of a command (its output folder made fresh first): prints seconds.
timed() {
  local folder=$1; shift
  rm -rf "$folder"; mkdir -p "$folder"; sync
  local t0 t1
  t0=$(seconds)
  "$@" > /dev/null 2>&1 < /dev/null || echo "bench_carve_yield: failed: $*" >&2
  sync
  t1=$(seconds)
  echo "$t1 - $t0" | bc -l
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
# Hashes of the files below a folder, one per line, sorted, unique.
hashes() { find "$1" -type f ! -name report.xml -exec sha256sum {} + 2> /dev/null | cut -d' ' -f1 | sort -u; }

printf '%-7s %8s %8s %8s %10s %10s\n' volume originals tavrel photorec "tavrel s" "photorec s"
total_ours=0 total_peer=0
for v in ${BENCH_ONLY:-fat32 ntfs exfat ext2 ext4}; do
  img="$vols/$v.img"
  [ -f "$img" ] || { echo "bench_carve_yield: $img missing" >&2; continue; }
  end=$(($(stat -c %s "$img") / 512 - 1))
  mode=""; [ "$v" = ext2 ] && mode="options,mode_ext2,"
  ours() { "$cli" carve "$img" --start 0 --end "$end" --out "$work/ours"; }
  peer() { photorec /d "$work/peer/recup" /cmd "$img" "partition_none,${mode}fileopt,everything,enable,search"; }
  : > "$work/t.ours"; : > "$work/t.peer"
  for _ in $(seq "$runs"); do
    timed "$work/ours" ours >> "$work/t.ours"
    timed "$work/peer" peer >> "$work/t.peer"
  done
  awk -v v="$v" '$1 == v {print $4, $2}' "$vols/known" | sort -u -k1,1 > "$work/known"
  cut -d' ' -f1 "$work/known" > "$work/known.h"
  hashes "$work/ours" | comm -12 - "$work/known.h" > "$work/hit.ours"
  hashes "$work/peer" | comm -12 - "$work/known.h" > "$work/hit.peer"
  o=$(median < "$work/t.ours"); p=$(median < "$work/t.peer")
  total_ours=$(echo "$total_ours + $o" | bc -l); total_peer=$(echo "$total_peer + $p" | bc -l)
  printf '%-7s %8d %8d %8d %10.2f %10.2f\n' "$v" "$(wc -l < "$work/known.h")" "$(wc -l < "$work/hit.ours")" \
    "$(wc -l < "$work/hit.peer")" "$o" "$p"
  comm -13 "$work/hit.ours" "$work/hit.peer" | join - "$work/known" | awk '{print $2}' | tr '\n' ' ' > "$work/only.peer.$v"
  comm -23 "$work/hit.ours" "$work/hit.peer" | join - "$work/known" | awk '{print $2}' | tr '\n' ' ' > "$work/only.ours.$v"
done
printf '%-7s %8s %8s %8s %10.2f %10.2f\n' all "" "" "" "$total_ours" "$total_peer"
for v in ${BENCH_ONLY:-fat32 ntfs exfat ext2 ext4}; do
  [ -f "$work/only.peer.$v" ] || continue
  echo "$v: only PhotoRec: $(cat "$work/only.peer.$v")"
  echo "$v: only Tavrel:   $(cat "$work/only.ours.$v")"
done
