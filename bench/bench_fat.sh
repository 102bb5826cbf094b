#!/usr/bin/env bash
# FAT32 and exFAT: tavrel-cli ls / recover against The Sleuth Kit's fls -r -p and
# tsk_recover -e on the same volumes, in the same run. The volumes (>= 20,000
# files in nested folders, some deleted) are built here at run time:
# FAT32 with mkfs.fat + mtools, exFAT with mkfs.exfat + exfat-fuse on a loop
# device (needs root). The Sleuth Kit reads the raw disk (its fastest input);
# tavrel-cli reads the dynamic VHD made from it.
set -euo pipefail
: "${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}"
cli=$TAVREL_BUILD/tavrel-cli
FILES=${FAT_BENCH_FILES:-20000}
for tool in mkfs.fat mcopy mdel mkfs.exfat mount.exfat-fuse losetup sfdisk qemu-img fls tsk_recover python3; do
  command -v "$tool" >/dev/null || { echo "bench_fat: $tool missing, skipped"; exit 0; }
done
[ -x "$cli" ] || { echo "bench_fat: $cli missing"; exit 1; }

export TZ=UTC MTOOLS_SKIP_CHECK=1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_fat.XXXXXX")
mnt=$work/mnt
loopdev=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then fusermount -u "$mnt" || true; fi
  [ -n "$loopdev" ] && losetup -d "$loopdev" || true
  rm -rf "$work"
}
trap cleanup EXIT
START=2048

# The source tree: FILES files of 1 to 12 KiB in 100 folders of 10 subfolders.
python3 - "$work/src" "$FILES" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    d = os.path.join(root, f"folder-{i % 100:03d}", f"sub-{(i // 100) % 10}")
    os.makedirs(d, exist_ok=True)
    size = 1024 + (i * 7919) % (11 * 1024)
    line = f"file {i} ".encode()
    data = (line * (size // len(line) + 1))[:size]
    with open(os.path.join(d, f"Recovered document number {i:05d}.txt"), "wb") as f:
        f.write(data)
PY
src_bytes=$(du -sb "$work/src" | cut -f1)

timeit() {  # prints elapsed seconds of the command, started with clean page cache writes
  local t0 t1
  sync
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "FAILED: $*" >&2; }
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

compare() {  # name raw vhd
  local name=$1 raw=$2 vhd=$3
  sync
  local ours_ls theirs_ls ours_rec theirs_rec
  ours_ls=$(timeit "$cli" ls "$vhd" --volume 0)
  theirs_ls=$(timeit fls -r -p -o "$START" "$raw")
  # Recovery is mostly host writes: each tool's files are written out (sync)
  # inside its own timing, so neither pays for the other's dirty pages.
  ours_rec=$(timeit sh -c '"$0" recover "$1" --volume 0 --out "$2" && sync' "$cli" "$vhd" "$work/out-tavrel-$name")
  theirs_rec=$(timeit sh -c 'tsk_recover -e -o "$0" "$1" "$2" && sync' "$START" "$raw" "$work/out-tsk-$name")
  local listed recovered
  listed=$("$cli" ls "$vhd" --volume 0 2>/dev/null | wc -l)
  recovered=$(find "$work/out-tavrel-$name" -type f | wc -l)
  printf '%s: %d entries listed, %d files recovered (%s bytes of originals)\n' "$name" "$listed" "$recovered" "$src_bytes"
  printf '  ls       tavrel-cli %6.2f s   fls -r -p    %6.2f s   ratio %.2f\n' "$ours_ls" "$theirs_ls" \
    "$(echo "$theirs_ls / $ours_ls" | bc -l)"
  printf '  recover  tavrel-cli %6.2f s   tsk_recover  %6.2f s   ratio %.2f\n' "$ours_rec" "$theirs_rec" \
    "$(echo "$theirs_rec / $ours_rec" | bc -l)"
  rm -rf "$work/out-tavrel-$name" "$work/out-tsk-$name"
}

disk() {  # raw sectors type
  truncate -s $((($START + $2) * 512 + 1048576)) "$1"
  printf 'label: dos\nstart=%d, size=%d, type=%s\n' "$START" "$2" "$3" | sfdisk -q "$1"
}

# FAT32, 4 KiB clusters.
sectors=$((1024 * 2048))
disk "$work/fat32.raw" "$sectors" c
mkfs.fat -F 32 -s 8 --offset="$START" "$work/fat32.raw" $((sectors / 2)) >/dev/null 2>&1
mcopy -s -i "$work/fat32.raw@@$((START * 512))" "$work/src"/* ::/
mdel -i "$work/fat32.raw@@$((START * 512))" "::/folder-000/sub-0/*"
qemu-img convert -f raw -O vpc -o subformat=dynamic "$work/fat32.raw" "$work/fat32.vhd"
compare FAT32 "$work/fat32.raw" "$work/fat32.vhd"
rm -f "$work/fat32.raw" "$work/fat32.vhd"

# exFAT, 4 KiB clusters.
truncate -s $((sectors * 512)) "$work/exfat.vol"
mkfs.exfat -c 4096 "$work/exfat.vol" >/dev/null
loopdev=$(losetup -f --show "$work/exfat.vol")
mkdir -p "$mnt"
mount.exfat-fuse "$loopdev" "$mnt" >/dev/null 2>&1
cp -r "$work/src"/* "$mnt/"
rm -f "$mnt"/folder-000/sub-0/*
fusermount -u "$mnt"
losetup -d "$loopdev"; loopdev=""
disk "$work/exfat.raw" "$sectors" 7
dd if="$work/exfat.vol" of="$work/exfat.raw" bs=1M seek=1 conv=notrunc status=none
rm -f "$work/exfat.vol"
qemu-img convert -f raw -O vpc -o subformat=dynamic "$work/exfat.raw" "$work/exfat.vhd"
compare exFAT "$work/exfat.raw" "$work/exfat.vhd"
