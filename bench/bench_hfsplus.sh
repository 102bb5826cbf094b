#!/usr/bin/env bash
# HFS+ benchmark against The Sleuth Kit in the same run, on the same volume:
#   tavrel-cli ls --json (on the VHD)  vs  fls -r -p (on a raw copy of the disk)
#   tavrel-cli recover   (on the VHD)  vs  tsk_recover -e (on the raw copy)
# The peer reads the raw disk, its fastest path.
# Debian has no HFS+ formatter, so the volume is written at run time by the
# test-only writer (the make_hfs_volume target of the test build): BENCH_FILES
# files (default 20,000) of 1 to 12 KiB in 100 folders of 10 subfolders, every
# 97th file 48 KiB in twelve runs (the last ones in the extents-overflow file),
# 4 KiB blocks, 8 KiB catalog nodes. It is put in an MBR disk (type 0xAF) and
# converted to a dynamic VHD. Each pair runs alternately BENCH_ROUNDS times
# (default 5); prints median wall seconds, the ratio (peer / tavrel: above 1
# means tavrel is faster) and peak memory. Recoveries flush their writes (sync)
# inside their own timing.
# Needs sfdisk, qemu-img, fls, tsk_recover and /usr/bin/time. Environment:
# TAVREL_BUILD (a release build folder with the benchmarks built), BENCH_FILES,
# BENCH_ROUNDS.
set -euo pipefail

build=${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}
cli="$build/tavrel-cli"
maker="$build/bench/make_hfs_volume"
files=${BENCH_FILES:-20000}
rounds=${BENCH_ROUNDS:-5}

for tool in sfdisk qemu-img fls tsk_recover; do
  if ! command -v "$tool" >/dev/null; then echo "bench_hfsplus: skipped, $tool is missing"; exit 0; fi
done
if [ ! -x /usr/bin/time ]; then echo "bench_hfsplus: skipped, /usr/bin/time is missing"; exit 0; fi
if [ ! -x "$cli" ]; then echo "bench_hfsplus: $cli not built"; exit 1; fi
if [ ! -x "$maker" ]; then echo "bench_hfsplus: $maker not built (cmake --build ... --target make_hfs_volume)"; exit 1; fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-bench-hfsplus.XXXXXX")
trap 'rm -rf "$work"' EXIT
bench_work=$work
source "$(dirname "$0")/lib.sh"

# --- the volume -----------------------------------------------------------
start=2048
vol="$work/volume.raw"
disk="$work/disk.raw"
image="$work/disk.vhd"
"$maker" "$vol" "$files"
sectors=$(( $(stat -c %s "$vol") / 512 ))
echo "bench_hfsplus: a $(( sectors / 2048 )) MB HFS+ volume with $files files in 1,100 folders"
truncate -s $(( (start + sectors) * 512 + 1048576 )) "$disk"
printf 'label: dos\nstart=%d, size=%d, type=af\n' "$start" "$sectors" | sfdisk -q "$disk"
dd if="$vol" of="$disk" bs=1M seek=1 conv=notrunc status=none
rm -f "$vol"
qemu-img convert -f raw -O vpc -o subformat=dynamic "$disk" "$image"

# --- timing -----------------------------------------------------------------
listed=$("$cli" ls "$image" --volume 0 --json 2>/dev/null | wc -l)
echo "bench_hfsplus: tavrel lists $listed entries, fls $(fls -r -p -o "$start" "$disk" | wc -l)"
pair "ls --json / fls -r -p" "$rounds" "$cli" ls "$image" --volume 0 --json -- fls -r -p -o "$start" "$disk"
pair "recover / tsk_recover -e" "$rounds" \
  sh -c '"$0" recover "$1" --volume 0 --out "$2/x" >/dev/null && sync' "$cli" "$image" @OUT@ -- \
  sh -c 'tsk_recover -e -o "$0" "$1" "$2" >/dev/null && sync' "$start" "$disk" @OUT@
