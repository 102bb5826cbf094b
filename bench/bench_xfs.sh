#!/usr/bin/env bash
# XFS benchmark, in the same run, on the same disk:
#   tavrel-cli ls --json (on the VHD)  vs  xfs_db -r listing every folder (on the raw volume)
#   tavrel-cli recover   (on the VHD)  vs  cat of the VHD (the machine's read limit)
# The volume (version 5, >= 20,000 files of 1 to 12 KiB in 100 folders of 10
# subfolders, one 40 MB file, forty files deleted) is made at run time by
# mkfs.xfs and filled through a loop mount (root), put in an MBR disk and
# converted to a dynamic VHD. Each pair runs alternately BENCH_ROUNDS times
# (default 5); prints median wall seconds, the ratio (peer / tavrel: above 1
# means tavrel is faster) and peak memory. Recoveries flush their writes (sync)
# inside their own timing. Needs mkfs.xfs, xfs_db, mount, sfdisk, qemu-img,
# python3 and /usr/bin/time. Environment: TAVREL_BUILD (release build folder),
# XFS_BENCH_FILES, BENCH_ROUNDS.
set -euo pipefail

build=${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}
cli="$build/tavrel-cli"
files=${XFS_BENCH_FILES:-20000}
rounds=${BENCH_ROUNDS:-5}

for tool in mkfs.xfs xfs_db sfdisk qemu-img python3; do
  if ! command -v "$tool" >/dev/null; then echo "bench_xfs: skipped, $tool is missing"; exit 0; fi
done
if [ ! -x /usr/bin/time ]; then echo "bench_xfs: skipped, /usr/bin/time is missing"; exit 0; fi
if [ "$(id -u)" != 0 ]; then echo "bench_xfs: skipped, a loop mount needs root"; exit 0; fi
if [ ! -x "$cli" ]; then echo "bench_xfs: $cli not built"; exit 1; fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-bench-xfs.XXXXXX")
mkdir -p "$work/mnt"
trap 'mountpoint -q "$work/mnt" && umount "$work/mnt"; rm -rf "$work"' EXIT
bench_work=$work
source "$(dirname "$0")/lib.sh"

# --- the volume -----------------------------------------------------------
start=2048
sizeMb=$(( 300 + files * 12 / 1024 ))
sectors=$(( sizeMb * 2048 ))
vol="$work/volume.raw"
disk="$work/disk.raw"
image="$work/disk.vhd"
echo "bench_xfs: making a ${sizeMb} MB XFS volume with $files files"
truncate -s "${sizeMb}M" "$vol"
mkfs.xfs -q -f "$vol"
mount -o loop "$vol" "$work/mnt"
python3 - "$work/mnt" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    d = os.path.join(root, f"folder-{i % 100:03d}", f"sub-{(i // 100) % 10}")
    os.makedirs(d, exist_ok=True)
    size = 1024 + (i * 7919) % (11 * 1024)
    line = f"file {i} ".encode()
    with open(os.path.join(d, f"Recovered-document-number-{i:05d}.txt"), "wb") as f:
        f.write((line * (size // len(line) + 1))[:size])
with open(os.path.join(root, "large.bin"), "wb") as f:
    for k in range(40):
        f.write(bytes([k]) * (1 << 20))
# Deleted entries: forty files in two folders.
for i in list(range(0, 2000, 100)) + list(range(1, 2001, 100)):
    os.remove(os.path.join(root, f"folder-{i % 100:03d}", f"sub-{(i // 100) % 10}",
                           f"Recovered-document-number-{i:05d}.txt"))
PY
# xfs_db's commands: one listing of every folder.
(cd "$work/mnt" && find . -type d -printf '-c\nls /%P\n') > "$work/db-args"
umount "$work/mnt"
truncate -s $(( (sizeMb + 2) * 1024 * 1024 )) "$disk"
printf 'label: dos\nstart=%d, size=%d, type=83\n' "$start" "$sectors" | sfdisk -q "$disk"
dd if="$vol" of="$disk" bs=1M seek=1 conv=notrunc status=none
qemu-img convert -f raw -O vpc -o subformat=dynamic "$disk" "$image"
rm -f "$disk"

# --- timing -----------------------------------------------------------------
listed=$("$cli" ls "$image" --volume 0 --json 2>/dev/null | wc -l)
echo "bench_xfs: tavrel lists $listed entries"
pair "ls --json / xfs_db ls" "$rounds" "$cli" ls "$image" --volume 0 --json -- \
  sh -c 'tr "\n" "\0" < "$0" | xargs -0 xfs_db -r "$1"' "$work/db-args" "$vol"
pair "recover / cat" "$rounds" \
  sh -c '"$0" recover "$1" --volume 0 --out "$2/x" >/dev/null && sync' "$cli" "$image" @OUT@ -- \
  sh -c 'cat "$0" > /dev/null' "$image"
