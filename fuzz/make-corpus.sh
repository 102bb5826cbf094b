#!/usr/bin/env bash
# Regenerates the fuzz seed corpus, fuzz/corpus/<target>/. Every parser seed is
# a small volume stored four times, with first bytes 0 to 3: the volume whole
# (held in memory) or the start of one inside a sparse VHD claiming 2 TiB, each
# read by both scan variants; see ParserFuzz.h.
#
# The FAT volumes are made afresh by mkfs.fat and mtools, as the FAT fixtures
# are, and cut after their last written sector (FAT16 and FAT32 with their FATs
# cut short). The exFAT and NTFS seeds are cut from the committed fixture
# images: NTFS after its first MFT records (its boot sector claiming no more),
# exFAT after its first clusters, with its FAT and cluster heap moved up behind
# the boot region and cut short so that those clusters fit in a few KB. The
# partition and VHD seeds are the starts of the volume fixtures and tiny images
# made by qemu-img.
#
# Needs mkfs.fat, mtools, xz, qemu-img and python3.
set -euo pipefail
export TZ=UTC LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1

here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../tests/fixtures
out=$here/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"/{fuzz_fat16,fuzz_fat32,fuzz_exfat,fuzz_ntfs,fuzz_partition,fuzz_vhd,fuzz_slots}

# seed TARGET NAME VOLUME: the volume, cut after its last non-zero sector, in
# both placements and for both scan variants.
seed() {
  python3 - "$out/$1/$2" "$3" <<'PY'
import sys
base, path = sys.argv[1], sys.argv[2]
data = open(path, 'rb').read()
end = len(data)
while end >= 512 and not any(data[end - 512:end]):
    end -= 512
for mode in range(4):
    name = f'{base}-{"vhd" if mode & 1 else "plain"}{"-variant" if mode & 2 else ""}'
    open(name, 'wb').write(bytes([mode]) + data[:end])
PY
}

# raw FIXTURE: the fixture's virtual disk as a raw file in $work.
raw() {
  xz -dc "$1" > "$work/in.vhd"
  qemu-img convert -f vpc -O raw "$work/in.vhd" "$work/disk.raw"
  rm "$work/in.vhd"
}

# cut FILE OFFSET LENGTH DEST
cut_bytes() {
  python3 -c "import sys; f=open(sys.argv[1],'rb'); f.seek(int(sys.argv[2])); open(sys.argv[4],'wb').write(f.read(int(sys.argv[3])))" "$@"
}

text() {  # text PATH BYTES SEED
  python3 -c "import sys; t=b''.join(b'%s:%06d\n' % (sys.argv[3].encode(), i) for i in range(int(sys.argv[2]) // 10 + 1)); open(sys.argv[1],'wb').write(t[:int(sys.argv[2])])" "$@"
}

# fat NAME MKFS_OPTIONS SIZE_KB: a FAT volume with short and long names, nested
# folders, a fragmented file and deleted entries.
fat() {
  local vol=$work/$1.img
  # shellcheck disable=SC2086
  mkfs.fat --invariant $2 -C "$vol" "$3" >/dev/null 2>&1
  text "$work/a" 700 readme
  text "$work/b" 1500 gone
  text "$work/c" 2600 frag
  text "$work/d" 300 nested
  touch -d "2021-03-04 13:05:06" "$work"/[abcd]
  mcopy -m -i "$vol" "$work/a" ::/README
  mcopy -m -i "$vol" "$work/b" "::/A deleted file with a long name.txt"
  mcopy -m -i "$vol" "$work/d" ::/blocker.bin
  mmd -i "$vol" ::/docs ::/docs/deep
  mcopy -m -i "$vol" "$work/d" "::/docs/deep/Ünïcode-名前.txt"
  mdel -i "$vol" ::/blocker.bin
  mcopy -m -i "$vol" "$work/c" ::/fragmented.bin
  mdel -i "$vol" "::/A deleted file with a long name.txt"
  [ "$1" = fat12 ] || compact_fat "$vol"
  seed "$4" "$1" "$vol"
}

# FAT16 needs 4085 clusters and FAT32 65525, so FATs of 8 and 256 KiB: each FAT
# is cut to its first sectors (the clusters in use), the root folder and data
# moved up behind. The boot sector keeps its claimed size, and so its kind.
compact_fat() {
  python3 - "$1" <<'PY'
import struct, sys
path = sys.argv[1]
v = open(path, 'rb').read()
reserved, fats = struct.unpack_from('<H', v, 14)[0], v[16]
fat32 = struct.unpack_from('<H', v, 22)[0] == 0
spf = struct.unpack_from('<I', v, 36)[0] if fat32 else struct.unpack_from('<H', v, 22)[0]
keep = 8 if fat32 else 2
head = bytearray(v[:reserved * 512])
for at in ((0, 6 * 512) if fat32 else (0,)):
    if fat32:
        struct.pack_into('<I', head, at + 36, keep)
    else:
        struct.pack_into('<H', head, at + 22, keep)
fat = v[reserved * 512:(reserved + keep) * 512]
rest = v[(reserved + fats * spf) * 512:]
open(path, 'wb').write(bytes(head) + fat * fats + rest)
PY
}

fat fat12 "-F 12" 128 fuzz_fat16
fat fat16 "-F 16 -s 1" 2200 fuzz_fat16
fat fat32 "-F 32 -s 1" 34000 fuzz_fat32

# exFAT: boot region (24 sectors), the FAT's first sectors and the first 10
# clusters, relocated; the volume claims 64 clusters.
raw "$fixtures/fat/exfat.vhd.xz"
python3 - "$work/disk.raw" "$work/exfat.img" <<'PY'
import struct, sys
disk = open(sys.argv[1], 'rb').read()
v = disk[2048 * 512:]
fat_off, fat_len, heap_off = struct.unpack_from('<III', v, 80)
cluster = 512 << v[109]
boot = bytearray(v[:24 * 512])
keep_fat, clusters = 2, 64  # a FAT of 256 entries, a heap of 64 clusters
new_fat, new_heap = 24, 24 + keep_fat
for region in (0, 12 * 512):
    struct.pack_into('<Q', boot, region + 72, new_heap + clusters * cluster // 512)
    struct.pack_into('<IIII', boot, region + 80, new_fat, keep_fat, new_heap, clusters)
    s = 0
    for i in range(11 * 512):
        if i in (106, 107, 112):
            continue
        s = (((s << 31) | (s >> 1)) + boot[region + i]) & 0xFFFFFFFF
    boot[region + 11 * 512:region + 12 * 512] = struct.pack('<I', s) * 128
fat = v[fat_off * 512:(fat_off + keep_fat) * 512]
heap = v[heap_off * 512:heap_off * 512 + 10 * cluster]
open(sys.argv[2], 'wb').write(bytes(boot) + fat + heap)
PY
seed fuzz_exfat exfat "$work/exfat.img"

# Slots (see fuzz_slots.cpp for the first byte): the FAT16, FAT32 and exFAT
# seeds above for the Deep-mode scan; the FAT16 and FAT32 volumes with a folder
# no walk reaches (tests/fixtures/fat/make-orphan-fixtures.sh), cut and
# compacted like the others; and lone directory clusters of the three kinds.
retag() {  # retag SOURCE BYTE DEST: SOURCE's volume after a new first byte
  python3 -c "import sys; d=open(sys.argv[1],'rb').read(); open(sys.argv[3],'wb').write(bytes([int(sys.argv[2])]) + d[1:])" "$@"
}
retag "$out/fuzz_fat16/fat16-plain" 2 "$out/fuzz_slots/deep-fat16"
retag "$out/fuzz_fat32/fat32-plain" 3 "$out/fuzz_slots/deep-fat32"
retag "$out/fuzz_exfat/exfat-plain" 4 "$out/fuzz_slots/deep-exfat"
for name in fat16-orphan fat32-orphan exfat-orphan; do
  raw "$fixtures/fat/$name.vhd.xz"
  cut_bytes "$work/disk.raw" $((2048 * 512)) $((40 * 1048576)) "$work/$name.img"
  python3 - "$work/$name.img" "$out/fuzz_slots/cluster-$name" <<'PY'
import sys
v = open(sys.argv[1], 'rb').read()
# The first cluster-sized piece after the boot region that starts a folder
# ("." then "..") or a deleted exFAT file entry set.
exfat = v[3:8] == b'EXFAT'
unit = (512 << v[109]) if exfat else 512 * v[13]
for at in range(unit, len(v) - unit, 512):
    if (exfat and v[at] == 0x05 and v[at + 32] == 0x40) or (not exfat and v[at:at + 2] == b'. ' and v[at + 32:at + 34] == b'..'):
        open(sys.argv[2], 'wb').write(bytes([1 if exfat else 0]) + v[at:at + unit])
        break
PY
done
for name in fat16-orphan fat32-orphan; do
  python3 - "$work/$name.img" <<'PY'
import sys
path = sys.argv[1]
v = open(path, 'rb').read()
end = len(v)
while end >= 512 and not any(v[end - 512:end]):
    end -= 512
open(path, 'wb').write(v[:end])
PY
  compact_fat "$work/$name.img"
  if [ "$name" = fat16-orphan ]; then tag=2; else tag=3; fi
  python3 -c "import sys; open(sys.argv[2],'wb').write(bytes([int(sys.argv[3])]) + open(sys.argv[1],'rb').read())" \
    "$work/$name.img" "$out/fuzz_slots/deep-$name" "$tag"
done

# NTFS: the boot sector and the first MFT records of each fixture.
for name in ntfs-gpt ntfs-mbr; do
  raw "$fixtures/ntfs/$name.vhd.xz"
  start=$(($(cat "$fixtures/ntfs/$name.offset") * 512))
  python3 - "$work/disk.raw" "$start" "$work/$name.img" <<'PY'
import struct, sys
f = open(sys.argv[1], 'rb')
start = int(sys.argv[2])
f.seek(start)
boot = f.read(512)
cluster = struct.unpack_from('<H', boot, 11)[0] * boot[13]
mft = struct.unpack_from('<q', boot, 48)[0] * cluster
f.seek(start)
vol = bytearray(f.read(min(mft + 76 * 1024, 100 * 1024)))
# Records mkntfs formatted but never used (not in use, no attribute beyond the
# end marker) are zeroed: slots that hold no record cost a fuzz input almost
# nothing, and these add no path that records 12 to 15 do not take.
for at in range(mft + 16 * 1024, len(vol) - 1023, 1024):
    r = vol[at:at + 1024]
    first = struct.unpack_from('<H', r, 20)[0]
    if r[:4] == b'FILE' and struct.unpack_from('<H', r, 22)[0] == 0 and first < 1020 and \
            struct.unpack_from('<I', r, first)[0] == 0xFFFFFFFF:
        vol[at:at + 1024] = bytes(1024)
# The volume claims what the seed holds: whole-volume scans of a VHD-placed
# seed stay short (mutations of this field reach the larger claims).
struct.pack_into('<q', vol, 40, len(vol) // 512 - 1)
open(sys.argv[3], 'wb').write(bytes(vol))
PY
  seed fuzz_ntfs "$name" "$work/$name.img"
done

# Partition tables: the first 40 sectors of the MBR and GPT fixture disks.
for name in mbr gpt; do
  raw "$fixtures/volume/$name.vhd.xz"
  cut_bytes "$work/disk.raw" 0 $((40 * 512)) "$out/fuzz_partition/$name"
done

# VHD: an empty dynamic image and a small fixed one holding the FAT12 volume.
qemu-img create -q -f vpc -o subformat=dynamic "$out/fuzz_vhd/dynamic-empty" 64M
tail -c +2 "$out/fuzz_fat16/fat12-plain" > "$work/fat12-cut.img"
qemu-img convert -f raw -O vpc -o subformat=fixed "$work/fat12-cut.img" "$out/fuzz_vhd/fixed-fat12"
du -sh "$out"/*
