#!/usr/bin/env bash
# XFS benchmark, in the same run, on the same disk:
#   tavrel-cli ls --json (on the VHD)  vs  xfs_db -r listing every folder (on the raw volume)
#   tavrel-cli recover   (on the VHD)  vs  cat of the VHD (the machine's read limit)
# The volume (version 5, >= 20,000 files of 1 to 12 KiB in 100 folders of 10
# subfolders, one 40 MB file, forty files deleted) is made at run time by
# mkfs.xfs and filled through a loop mount (root), written into an LVM2
# logical volume (made by the lvm2 tools with activation off) on the 0x8E
# partition of an MBR disk, and converted to a dynamic VHD. Each pair runs alternately BENCH_ROUNDS times
# (default 5); prints median wall seconds, the ratio (peer / tavrel: above 1
# means tavrel is faster), peak memory, median CPU seconds and the load
# average. Recoveries flush their writes (sync) inside their own timing. Needs
# mkfs.xfs, xfs_db, mount, losetup, lvm2, sfdisk, qemu-img, python3 and
# /usr/bin/time. Environment: TAVREL_BUILD (release build folder),
# XFS_BENCH_FILES, BENCH_ROUNDS.
set -euo pipefail

build=${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}
cli="$build/tavrel-cli"
files=${XFS_BENCH_FILES:-20000}
rounds=${BENCH_ROUNDS:-5}

for tool in mkfs.xfs xfs_db sfdisk qemu-img python3 losetup pvcreate; do
  if ! command -v "$tool" >/dev/null; then echo "bench_xfs: skipped, $tool is missing"; exit 0; fi
done
if [ ! -x /usr/bin/time ]; then echo "bench_xfs: skipped, /usr/bin/time is missing"; exit 0; fi
if [ "$(id -u)" != 0 ]; then echo "bench_xfs: skipped, a loop mount needs root"; exit 0; fi
if [ ! -x "$cli" ]; then echo "bench_xfs: $cli not built"; exit 1; fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-bench-xfs.XXXXXX")
mkdir -p "$work/mnt"
pv=
trap 'mountpoint -q "$work/mnt" && umount "$work/mnt"; [ -z "$pv" ] || losetup -d "$pv"; rm -rf "$work"' EXIT
bench_work=$work
source "$(dirname "$0")/lib.sh"

# --- the volume -----------------------------------------------------------
start=2048
sizeMb=$(( 300 + files * 12 / 1024 ))
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
truncate -s $(( (sizeMb + 8) * 1024 * 1024 )) "$disk"
printf 'label: dos\nstart=%d, type=8e\n' "$start" | sfdisk -q "$disk"
pv=$(losetup -f --show -o $(( start * 512 )) "$disk")
lvm_config=(--config 'global{activation=0}' --devices "$pv")
pvcreate "${lvm_config[@]}" "$pv" >/dev/null 2>&1 3>&- 4>&-
vgcreate "${lvm_config[@]}" -s 1m benchvg "$pv" >/dev/null 2>&1 3>&- 4>&-
lvcreate "${lvm_config[@]}" -an -Zn -L "${sizeMb}m" -n xfs benchvg >/dev/null 2>&1 3>&- 4>&-
peStart=$(pvs "${lvm_config[@]}" --noheadings --units b --nosuffix -o pe_start "$pv" 2>/dev/null 3>&- 4>&- | tr -d ' ')
losetup -d "$pv"; pv=
# One linear segment from the first extent: the volume lies at pe_start.
dd if="$vol" of="$disk" bs=1M seek=$(( start * 512 + peStart )) oflag=seek_bytes conv=notrunc status=none
qemu-img convert -f raw -O vpc -o subformat=dynamic "$disk" "$image"
rm -f "$disk"

# --- timing -----------------------------------------------------------------
volume=$("$cli" volumes "$image" --json | python3 -c '
import json, sys
for line in sys.stdin:
    row = json.loads(line)
    if row.get("name") == "benchvg/xfs": print(row["volume"])')
listed=$("$cli" ls "$image" --volume "$volume" --json 2>/dev/null | wc -l)
echo "bench_xfs: tavrel lists $listed entries of benchvg/xfs (volume $volume); load average $(cut -d' ' -f1-3 /proc/loadavg)"
pair "ls --json / xfs_db ls" "$rounds" "$cli" ls "$image" --volume "$volume" --json -- \
  sh -c 'tr "\n" "\0" < "$0" | xargs -0 xfs_db -r "$1"' "$work/db-args" "$vol"
pair "recover / cat" "$rounds" \
  sh -c '"$0" recover "$1" --volume "$3" --out "$2/x" >/dev/null && sync' "$cli" "$image" @OUT@ "$volume" -- \
  sh -c 'cat "$0" > /dev/null' "$image"
echo "bench_xfs: load average $(cut -d' ' -f1-3 /proc/loadavg)"
