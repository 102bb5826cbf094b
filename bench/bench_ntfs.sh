#!/usr/bin/env bash
# NTFS benchmark against The Sleuth Kit in the same run, on the same image:
#   tavrel-cli ls       vs  fls -r -p
#   tavrel-cli recover  vs  tsk_recover -e
# The volume (>= 20,000 files in 200 folders plus three 50 MB files) is made at
# run time with mkfs.ntfs and an ntfs-3g mount, put in an MBR disk and converted
# to a dynamic VHD. Prints wall seconds, the ratio (peer / tavrel: above 1 means
# tavrel is faster) and peak memory (maximum resident set size).
# Needs root (FUSE mount), mkfs.ntfs, ntfs-3g, sfdisk, qemu-img, fls,
# tsk_recover and /usr/bin/time. Environment: TAVREL_BUILD (release build
# folder), BENCH_FOLDERS, BENCH_FILES_PER_FOLDER, BENCH_BIG_FILES.
set -euo pipefail

build=${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}
cli="$build/tavrel-cli"
folders=${BENCH_FOLDERS:-200}
perFolder=${BENCH_FILES_PER_FOLDER:-100}
bigFiles=${BENCH_BIG_FILES:-3}

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
rm -f "$disk"

# --- timing -----------------------------------------------------------------
# run NAME COMMAND...: runs once to warm the page cache, then measures.
declare -A secs mem
run() {
  local name=$1; shift
  local cmdline=("${@//@OUT@/$work/out-$name}")
  rm -rf "$work/out-$name"; mkdir -p "$work/out-$name"
  "${cmdline[@]}" >/dev/null 2>&1 || true
  rm -rf "$work/out-$name"; mkdir -p "$work/out-$name"
  sync  # the warm-up's writes are not left to slow down the measured run
  /usr/bin/time -v -o "$work/time-$name" "${cmdline[@]}" > "$work/stdout-$name" 2> "$work/stderr-$name" || {
    echo "bench_ntfs: $name failed:"; tail -5 "$work/stderr-$name"; }
  secs[$name]=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$work/time-$name")
  mem[$name]=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2/1024}' "$work/time-$name")
}

run tavrel-ls "$cli" ls "$image" --volume 0
run fls fls -i vhd -r -p -o "$start" "$image"
# Recovery writes into an empty folder each time (the warm-up run's output is removed first).
run tavrel-recover "$cli" recover "$image" --volume 0 --out @OUT@/x
run tsk_recover tsk_recover -i vhd -e -o "$start" "$image" @OUT@

lines_tavrel=$(wc -l < "$work/stdout-tavrel-ls")
lines_fls=$(wc -l < "$work/stdout-fls")
files_tavrel=$(find "$work/out-tavrel-recover" -type f | wc -l)
files_tsk=$(find "$work/out-tsk_recover" -type f | wc -l)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
printf '\n%-16s %10s %12s %10s\n' "command" "seconds" "peak MiB" "output"
printf '%-16s %10s %12s %10s\n' "tavrel ls" "${secs[tavrel-ls]}" "${mem[tavrel-ls]}" "$lines_tavrel lines"
printf '%-16s %10s %12s %10s\n' "fls -r -p" "${secs[fls]}" "${mem[fls]}" "$lines_fls lines"
printf '%-16s %10s %12s %10s\n' "tavrel recover" "${secs[tavrel-recover]}" "${mem[tavrel-recover]}" "$files_tavrel files"
printf '%-16s %10s %12s %10s\n' "tsk_recover -e" "${secs[tsk_recover]}" "${mem[tsk_recover]}" "$files_tsk files"
echo "ls speed-up (fls / tavrel):               $(ratio "${secs[fls]}" "${secs[tavrel-ls]}")"
echo "recover speed-up (tsk_recover / tavrel):  $(ratio "${secs[tsk_recover]}" "${secs[tavrel-recover]}")"
