#!/usr/bin/env bash
# Builds samples/demo.vhd: a small dynamic VHD with an MBR and one NTFS volume
# holding a few folders and files of different sizes, some of them deleted.
# Needs root (FUSE mount), mkfs.ntfs, ntfs-3g, sfdisk and qemu-img.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT

disk_mb=16
start=2048                        # first sector of the volume
vol_sectors=$(( (disk_mb * 2048) - start - 64 ))

# The volume on its own first, then placed into the partitioned disk.
truncate -s $((vol_sectors * 512)) "$work/vol.img"
mkfs.ntfs -F -q -L DEMO -p $start -H 16 -S 63 "$work/vol.img" $vol_sectors >/dev/null 2>&1

mkdir -p "$mnt"
ntfs-3g "$work/vol.img" "$mnt"
mkdir -p "$mnt/Documents/Letters" "$mnt/Pictures" "$mnt/Projects/tavrel-notes" "$mnt/Old stuff"

# Deterministic content: the same script gives the same files.
# Word soup from a seeded generator: varied enough to tell files apart, and it
# compresses well, which keeps the committed image small.
gen() {
  python3 - "$1" "$2" <<'PY'
import random, sys
r = random.Random(sys.argv[1])
words = "disk sector volume cluster record folder file name size time block table entry recover".split()
out = bytearray()
while len(out) < int(sys.argv[2]):
    out += (r.choice(words) + (" " if r.random() < 0.9 else "\n")).encode()
sys.stdout.buffer.write(bytes(out[: int(sys.argv[2])]))
PY
}

printf 'Dear reader,\nThis letter is kept on a small NTFS volume.\n' > "$mnt/Documents/Letters/letter-to-anna.txt"
printf 'Shopping: bread, milk, apples.\n' > "$mnt/Documents/shopping list.txt"
gen report 150000 > "$mnt/Documents/annual report.pdf"
gen photo1 420000 > "$mnt/Pictures/beach.jpg"
gen photo2 260000 > "$mnt/Pictures/mountain.jpg"
gen notes 3000 > "$mnt/Projects/tavrel-notes/design.md"
printf 'int main() { return 0; }\n' > "$mnt/Projects/tavrel-notes/main.c"
printf 'Grüße aus Köln – ünïcödé names work too.\n' > "$mnt/Documents/Grüße.txt"
gen archive 1200000 > "$mnt/Old stuff/backup.zip"
gen draft 90000 > "$mnt/Documents/draft (old).docx"
gen secret 50000 > "$mnt/Pictures/holiday-secret.png"
printf 'temporary\n' > "$mnt/Old stuff/tmp.txt"
mkdir -p "$mnt/Old stuff/Trash folder"
gen trash 70000 > "$mnt/Old stuff/Trash folder/removed photo.jpg"
printf 'gone but not forgotten\n' > "$mnt/Old stuff/Trash folder/note.txt"
sync

# Deleted entries: a few files and one folder with its content.
rm "$mnt/Documents/draft (old).docx" "$mnt/Pictures/holiday-secret.png" "$mnt/Old stuff/tmp.txt"
rm -r "$mnt/Old stuff/Trash folder"
sync
umount "$mnt"

# MBR disk with one NTFS partition (type 7), the volume copied in at its start.
truncate -s $((disk_mb * 1024 * 1024)) "$work/disk.raw"
printf 'label: dos\nlabel-id: 0x7a7e1000\n%s,%s,7,*\n' $start $vol_sectors | sfdisk -q "$work/disk.raw"
dd if="$work/vol.img" of="$work/disk.raw" bs=512 seek=$start conv=notrunc status=none

rm -f "$here/demo.vhd"
qemu-img convert -f raw -O vpc -o subformat=dynamic "$work/disk.raw" "$here/demo.vhd"
echo "wrote $here/demo.vhd ($(stat -c %s "$here/demo.vhd") bytes)"
