#!/usr/bin/env bash
# NTFS benchmark against The Sleuth Kit in the same run, on the same image:
#   tavrel-cli ls --json (on the VHD)  vs  fls -r -p (on a raw copy of the disk)
#   tavrel-cli recover   (on the VHD)  vs  tsk_recover -e (on the raw copy)
# The peer reads the raw disk, its fastest path.
# The volume (>= 20,000 files in 200 folders plus three 50 MB files) is made at
# run time with mkfs.ntfs and an ntfs-3g mount, put in an MBR disk and converted
# to a dynamic VHD. Each pair runs alternately BENCH_ROUNDS times (default 5);
# prints median wall seconds, the ratio (peer / tavrel: above 1 means tavrel is
# faster) and peak memory (maximum resident set size). Recoveries flush their
# writes (sync) inside their own timing.
# Needs root (FUSE mount), mkfs.ntfs, ntfs-3g, sfdisk, qemu-img, fls,
# tsk_recover and /usr/bin/time. Environment: TAVREL_BUILD (release build
# folder), BENCH_FOLDERS, BENCH_FILES_PER_FOLDER, BENCH_BIG_FILES.
set -euo pipefail

build=${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}
cli="$build/tavrel-cli"
folders=${BENCH_FOLDERS:-200}
perFolder=${BENCH_FILES_PER_FOLDER:-100}
bigFiles=${BENCH_BIG_FILES:-3}
rounds=${BENCH_ROUNDS:-5}

for tool in mkfs.ntfs ntfs-3g sfdisk qemu-img fls tsk_recover python3; do
  if ! command -v "$tool" >/dev/null; then echo "bench_ntfs: skipped, $tool is missing"; exit 0; fi
done
if [ ! -x /usr/bin/time ]; then echo "bench_ntfs: skipped, /usr/bin/time is missing"; exit 0; fi
if [ "$(id -u)" -ne 0 ] || [ ! -e /dev/fuse ]; then echo "bench_ntfs: skipped, needs root and /dev/fuse"; exit 0; fi
if [ ! -x "$cli" ]; then echo "bench_ntfs: $cli not built"; exit 1; fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-bench-ntfs.XXXXXX")
mnt="$work/mnt"
mkdir -p "$mnt"
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT
bench_work=$work
source "$(dirname "$0")/lib.sh"

# --- the volume -----------------------------------------------------------
start=2048
# Room for the big files, about 10 KiB of clusters per small file, and the MFT.
sizeMb=$(( 96 + bigFiles * 52 + folders * perFolder * 14 / 1024 ))
vol="$work/volume.raw"
disk="$work/disk.raw"
image="$work/disk.vhd"
echo "bench_ntfs: making a ${sizeMb} MB volume with $((folders * perFolder)) files in $folders folders and $bigFiles x 50 MB"
truncate -s "${sizeMb}M" "$vol"
mkfs.ntfs -F -q -f -p "$start" -H 255 -S 63 "$vol" >/dev/null 2>&1
ntfs-3g -o big_writes "$vol" "$mnt"
python3 - "$mnt" "$folders" "$perFolder" "$bigFiles" <<'PY'
import os, random, sys
root, folders, per, big = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(1)
for d in range(folders):
    folder = os.path.join(root, f'folder{d:03d}')
    os.mkdir(folder)
    for i in range(per):
        size = rng.choice((200, 700, 3000, 9000, 30000))  # resident and non-resident
        with open(os.path.join(folder, f'file{i:05d}.dat'), 'wb') as f:
            f.write(rng.randbytes(size))
for b in range(big):
    with open(os.path.join(root, f'big{b}.bin'), 'wb') as f:
        for _ in range(50):
            f.write(rng.randbytes(1 << 20))
PY
umount "$mnt"
sectors=$(( sizeMb * 2048 ))
truncate -s $(( (sizeMb + 2) * 1024 * 1024 )) "$disk"
printf 'label: dos\nstart=%d, size=%d, type=7\n' "$start" "$sectors" | sfdisk -q "$disk"
dd if="$vol" of="$disk" bs=1M seek=1 conv=notrunc status=none
rm -f "$vol"
qemu-img convert -f raw -O vpc -o subformat=dynamic "$disk" "$image"

# --- timing -----------------------------------------------------------------
listed=$("$cli" ls "$image" --volume 0 --json 2>/dev/null | wc -l)
echo "bench_ntfs: tavrel lists $listed entries, fls $(fls -r -p -o "$start" "$disk" | wc -l)"
pair "ls --json / fls -r -p" "$rounds" "$cli" ls "$image" --volume 0 --json -- fls -r -p -o "$start" "$disk"
pair "ls / fls -r -p" "$rounds" "$cli" ls "$image" --volume 0 -- fls -r -p -o "$start" "$disk"
pair "recover / tsk_recover -e" "$rounds" \
  sh -c '"$0" recover "$1" --volume 0 --out "$2/x" >/dev/null && sync' "$cli" "$image" @OUT@ -- \
  sh -c 'tsk_recover -e -o "$0" "$1" "$2" >/dev/null && sync' "$start" "$disk" @OUT@
