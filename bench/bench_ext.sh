#!/usr/bin/env bash
# ext4 benchmark against The Sleuth Kit in the same run, on the same disk:
#   tavrel-cli ls --json (on the VHD)  vs  fls -r -p (on a raw copy of the disk)
#   tavrel-cli ls        (on the VHD)  vs  fls -r -p
#   tavrel-cli recover   (on the VHD)  vs  tsk_recover -e (on the raw copy)
# The peer reads the raw disk, its fastest path.
# The volume (>= 20,000 files of 1 to 12 KiB in 100 folders of 10 subfolders,
# one 40 MB file, forty files deleted) is made at run time by
# `mkfs.ext4 -d` (no mount, no root) with today's default features, deleted
# from with debugfs, put in an MBR disk and converted to a dynamic VHD. Each
# pair runs alternately BENCH_ROUNDS times (default 5); prints median wall
# seconds, the ratio (peer / tavrel: above 1 means tavrel is faster) and peak
# memory. Recoveries flush their writes (sync) inside their own timing.
# Needs mkfs.ext4, debugfs, sfdisk, qemu-img, fls, tsk_recover, python3 and
# /usr/bin/time. Environment: TAVREL_BUILD (release build folder),
# EXT_BENCH_FILES, BENCH_ROUNDS.
set -euo pipefail

build=${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}
cli="$build/tavrel-cli"
files=${EXT_BENCH_FILES:-20000}
rounds=${BENCH_ROUNDS:-5}

for tool in mkfs.ext4 debugfs sfdisk qemu-img fls tsk_recover python3; do
  if ! command -v "$tool" >/dev/null; then echo "bench_ext: skipped, $tool is missing"; exit 0; fi
done
if [ ! -x /usr/bin/time ]; then echo "bench_ext: skipped, /usr/bin/time is missing"; exit 0; fi
if [ ! -x "$cli" ]; then echo "bench_ext: $cli not built"; exit 1; fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-bench-ext.XXXXXX")
trap 'rm -rf "$work"' EXIT
bench_work=$work
source "$(dirname "$0")/lib.sh"

# --- the volume -----------------------------------------------------------
python3 - "$work/src" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    d = os.path.join(root, f"folder-{i % 100:03d}", f"sub-{(i // 100) % 10}")
    os.makedirs(d, exist_ok=True)
    size = 1024 + (i * 7919) % (11 * 1024)
    line = f"file {i} ".encode()
    with open(os.path.join(d, f"Recovered document number {i:05d}.txt"), "wb") as f:
        f.write((line * (size // len(line) + 1))[:size])
with open(os.path.join(root, "large.bin"), "wb") as f:
    for k in range(40):
        f.write(bytes([k]) * (1 << 20))
PY
start=2048
# Room for the files (4 KiB blocks, about 10 KiB each), the large one, the
# inode tables and the journal.
sizeMb=$(( 160 + files * 12 / 1024 ))
sectors=$(( sizeMb * 2048 ))
vol="$work/volume.raw"
disk="$work/disk.raw"
image="$work/disk.vhd"
echo "bench_ext: making a ${sizeMb} MB ext4 volume with $files files"
mkfs.ext4 -q -F -d "$work/src" "$vol" "${sizeMb}M" >/dev/null
rm -rf "$work/src"
# Deleted entries: forty files in two folders.
{
  for i in $(seq 0 100 1900); do printf 'rm "/folder-000/sub-%d/Recovered document number %05d.txt"\n' $((i / 100 % 10)) "$i"; done
  for i in $(seq 1 100 1901); do printf 'rm "/folder-001/sub-%d/Recovered document number %05d.txt"\n' $((i / 100 % 10)) "$i"; done
} > "$work/cmds"
debugfs -w -f "$work/cmds" "$vol" >/dev/null 2>&1
truncate -s $(( (sizeMb + 2) * 1024 * 1024 )) "$disk"
printf 'label: dos\nstart=%d, size=%d, type=83\n' "$start" "$sectors" | sfdisk -q "$disk"
dd if="$vol" of="$disk" bs=1M seek=1 conv=notrunc status=none
rm -f "$vol"
qemu-img convert -f raw -O vpc -o subformat=dynamic "$disk" "$image"

# --- timing -----------------------------------------------------------------
listed=$("$cli" ls "$image" --volume 0 --json 2>/dev/null | wc -l)
echo "bench_ext: tavrel lists $listed entries, fls $(fls -r -p -o "$start" "$disk" | wc -l)"
pair "ls --json / fls -r -p" "$rounds" "$cli" ls "$image" --volume 0 --json -- fls -r -p -o "$start" "$disk"
pair "ls / fls -r -p" "$rounds" "$cli" ls "$image" --volume 0 -- fls -r -p -o "$start" "$disk"
pair "recover / tsk_recover -e" "$rounds" \
  sh -c '"$0" recover "$1" --volume 0 --out "$2/x" >/dev/null && sync' "$cli" "$image" @OUT@ -- \
  sh -c 'tsk_recover -e -o "$0" "$1" "$2" >/dev/null && sync' "$start" "$disk" @OUT@
