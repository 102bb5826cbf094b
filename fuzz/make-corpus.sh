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
# The ext2 and ext4 (extents) volumes are made by mke2fs and debugfs, the HFS+
# seed is cut from its fixture; each is stored as the pieces of its first 2 MiB
# that hold data (first byte with bit 3 set, see ParserFuzz.h), so a seed keeps
# only the sectors the volume uses. The VDI and VMDK seeds are small images made
# by qemu-img, cut after their last non-zero sector; the carving seeds a rule
# record followed by a volume of small JPEG, PNG, GIF, MP3 and BMP files; the rules
# seeds the default rule table, rule files built from it and a user rule file.
#
# Needs mkfs.fat, mtools, mke2fs, debugfs, mkfs.xfs, loop mounts (root), netpbm,
# xz, qemu-img, python3 and a
# built tavrel-cli (TAVREL_CLI, default build/tavrel-cli) for the rule files.
set -euo pipefail
export TZ=UTC LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1

here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../tests/fixtures
out=$here/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"/{fuzz_fat16,fuzz_fat32,fuzz_exfat,fuzz_ntfs,fuzz_partition,fuzz_vhd,fuzz_slots} \
  "$out"/{fuzz_ext,fuzz_hfsplus,fuzz_vdi,fuzz_vmdk,fuzz_carve,fuzz_rules,fuzz_lvm,fuzz_xfs}

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

# seed_pieces TARGET NAME VOLUME [MODES]: the runs of non-zero sectors of the
# volume's first 2 MiB as pieces, held in memory and in the sparse VHD, for both
# scan variants (MODES "0 1": only the first, for parsers without variants).
seed_pieces() {
  python3 - "$out/$1/$2" "$3" ${4:-0 1 2 3} <<'PY'
import struct, sys
base, path, modes = sys.argv[1], sys.argv[2], [int(m) for m in sys.argv[3:]]
data = open(path, 'rb').read()[:2 << 20]
used = [any(data[i:i + 512]) for i in range(0, len(data), 512)]
pieces = b''
s = 0
while s < len(used):
    if not used[s]:
        s += 1
        continue
    e = s
    while e < len(used) and used[e]:
        e += 1
    pieces += struct.pack('<IH', s, e - s) + data[s * 512:e * 512]
    s = e
for mode in modes:
    name = f'{base}-pieces-{"vhd" if mode & 1 else "plain"}{"-variant" if mode & 2 else ""}'
    open(name, 'wb').write(bytes([8 | mode]) + pieces)
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

# ext2 (block maps, an indirect block) and ext4 (extents, a tree one level
# deep): 1 KiB blocks, 32 inodes, a folder tree with a long name, a symbolic
# link, a sparse file of six runs and a deleted file.
export E2FSPROGS_FAKE_TIME=1615000000
uuid=6f1c0a5e-3b52-4e8e-9a43-2f7d3c1e8b10
tree=$work/tree
mkdir -p "$tree/docs/deep"
text "$tree/README" 700 readme
text "$tree/gone.txt" 1500 gone
text "$tree/docs/deep/a file with a rather long name.txt" 300 nested
ln -s docs/deep "$tree/link"
python3 - "$tree/sparse.bin" <<'PY'
import sys
with open(sys.argv[1], 'wb') as f:
    for run in range(6):
        f.seek(run * 3072)
        f.write(b'run%d ' % run * 100)
PY
touch -h -d "2021-03-04 13:05:06" "$tree" "$tree"/* "$tree"/docs/* "$tree"/docs/deep/*
for kind in ext2 ext4; do
  if [ $kind = ext2 ]; then features=^resize_inode,^dir_index; else features=^has_journal,^resize_inode,extents; fi
  mke2fs -q -F -t $kind -b 1024 -N 32 -m 0 -O "$features" -U "$uuid" \
    -E root_owner=0:0,hash_seed=$uuid -d "$tree" "$work/$kind.img" 256
  debugfs -w -R "rm gone.txt" "$work/$kind.img" >/dev/null 2>&1
  seed_pieces fuzz_ext $kind "$work/$kind.img" "0 1"
done

# XFS, version 5 filled through a loop mount (two names deleted from a folder
# in block form) and version 4 from a prototype file: 1 KiB blocks, one AG and
# an external log, so that every structure and file lies in the first 2 MiB.
# Standard mode over the pieces in memory, Deep mode over them in the VHD.
export TEST_DIR=/tmp TEST_DEV=/dev/null QA_CHECK_FS=1
xtree=$work/xtree
mkdir -p "$xtree/docs/deep" "$xtree/many" "$work/mnt"
text "$xtree/README" 700 readme
text "$xtree/docs/deep/a-file-with-a-rather-long-name.txt" 300 nested  # prototype names hold no blanks
for i in $(seq -w 0 29); do text "$xtree/many/entry-$i.txt" 50 "e$i"; done
ln -s docs/deep "$xtree/link"
python3 - "$xtree/sparse.bin" <<'PY'
import sys
with open(sys.argv[1], 'wb') as f:
    for run in range(6):
        f.seek(run * 12288)
        f.write(b'run%d ' % run * 100)
PY
touch -h -d "2021-03-04 13:05:06.5" "$xtree" "$xtree"/* "$xtree"/docs/* "$xtree"/docs/deep/* "$xtree"/many/*
truncate -s 16M "$work/xfs5.img" "$work/xfslog.img"
mkfs.xfs -q -f -b size=1024 -d agcount=1 -l logdev="$work/xfslog.img",size=4m -m uuid=$uuid "$work/xfs5.img"
logdev=$(losetup -f --show "$work/xfslog.img")
mount -o loop,logdev="$logdev" "$work/xfs5.img" "$work/mnt"
cp -a "$xtree/." "$work/mnt/"
rm "$work/mnt/many/entry-05.txt" "$work/mnt/many/entry-06.txt"
umount "$work/mnt"
losetup -d "$logdev"
seed_pieces fuzz_xfs v5 "$work/xfs5.img" "0 3"
python3 - "$xtree" > "$work/proto" <<'PY'
import os, stat, sys
def emit(path, depth):
    for name in sorted(os.listdir(path)):
        p = os.path.join(path, name); st = os.lstat(p); mode = "%03o" % (st.st_mode & 0o777); pad = " " * depth
        if stat.S_ISLNK(st.st_mode): print(f"{pad}{name} l--{mode} 0 0 {os.readlink(p)}")
        elif stat.S_ISDIR(st.st_mode):
            print(f"{pad}{name} d--{mode} 0 0"); emit(p, depth + 1); print(f"{pad}$")
        else: print(f"{pad}{name} ---{mode} 0 0 {p}")
print("/dev/null\n0 0\nd--755 0 0")
emit(sys.argv[1], 1)
print("$")
PY
truncate -s 16M "$work/xfs4.img"
mkfs.xfs -q -f -b size=1024 -d agcount=1 -l logdev="$work/xfslog.img",size=4m -m crc=0,uuid=$uuid \
  -p "$work/proto" "$work/xfs4.img"
seed_pieces fuzz_xfs v4 "$work/xfs4.img" "0 3"

# HFS+: the fixture's used sectors of its first 2 MiB (volume header, the
# special files' nodes, the files).
xz -dc "$fixtures/hfsplus/hfsplus-macos.raw.xz" > "$work/hfsplus.img"
seed_pieces fuzz_hfsplus macos "$work/hfsplus.img"

# VDI and VMDK: empty images and images holding a few KB (text, so that the
# stream-optimized grains compress), cut after their last non-zero sector: the
# file then ends inside a block or grain, which the readers must take too.
text "$work/data" 6000 disk
python3 - "$work/data" "$work/disk.raw" <<'PY'
import sys
d = open(sys.argv[1], 'rb').read()
disk = bytearray(2 << 20)
disk[0:len(d)] = d
disk[(1 << 20) + 4096:(1 << 20) + 4096 + 512] = d[:512]
open(sys.argv[2], 'wb').write(disk)
PY
cut_zeros() {  # cut_zeros FILE DEST
  python3 - "$@" <<'PY'
import sys
d = open(sys.argv[1], 'rb').read()
end = len(d)
while end >= 512 and not any(d[end - 512:end]):
    end -= 512
open(sys.argv[2], 'wb').write(d[:end])
PY
}
qemu-img create -q -f vdi "$out/fuzz_vdi/dynamic-empty" 4M
head -c $((1 << 20)) "$work/disk.raw" > "$work/small.raw"
truncate -s 4M "$work/small.raw"
qemu-img convert -f raw -O vdi "$work/small.raw" "$work/data.vdi"
cut_zeros "$work/data.vdi" "$out/fuzz_vdi/dynamic-first-block"
qemu-img convert -f raw -O vdi -o static=on "$work/small.raw" "$work/static.vdi"
cut_zeros "$work/static.vdi" "$out/fuzz_vdi/static-cut"
qemu-img create -q -f vmdk "$work/empty.vmdk" 4M
cut_zeros "$work/empty.vmdk" "$out/fuzz_vmdk/sparse-empty"
qemu-img convert -f raw -O vmdk "$work/small.raw" "$work/sparse.vmdk"
cut_zeros "$work/sparse.vmdk" "$out/fuzz_vmdk/sparse-data"
qemu-img convert -f raw -O vmdk -o subformat=streamOptimized "$work/disk.raw" "$work/stream.vmdk"
cut_zeros "$work/stream.vmdk" "$out/fuzz_vmdk/stream-data"

# Carving: one rule record (see fuzz_carve.cpp), then a volume of small files,
# each at the start of a sector, as the carving engine looks for them.
ppmmake rgb:20/80/c0 8 8 > "$work/p.ppm"
pnmtojpeg -quality=50 "$work/p.ppm" > "$work/p.jpg"
pnmtopng "$work/p.ppm" > "$work/p.png" 2>/dev/null
ppmtogif "$work/p.ppm" > "$work/p.gif" 2>/dev/null
ppmtobmp "$work/p.ppm" > "$work/p.bmp" 2>/dev/null
python3 - "$work" <<'PY'
import struct, sys
w = sys.argv[1]
# An MP3: an ID3v2.3 tag with a title, four MPEG-1 layer III frames at 128
# kbit/s, 44.1 kHz (417 bytes each, zero side information) and an ID3v1 tag.
title = b'\x00seed'
tag = b'TIT2' + struct.pack('>I', len(title)) + b'\x00\x00' + title
mp3 = b'ID3\x03\x00\x00' + bytes([0, 0, (len(tag) >> 7) & 0x7F, len(tag) & 0x7F]) + tag
for i in range(4):
    mp3 += b'\xFF\xFB\x90\x64' + bytes(413)
mp3 += b'TAG' + b'seed'.ljust(30, b'\x00') + bytes(94)
open(w + '/p.mp3', 'wb').write(mp3)
PY
python3 - "$work" "$out/fuzz_carve" <<'PY'
import struct, sys
w, out = sys.argv[1], sys.argv[2]
files = [open(f'{w}/p.{e}', 'rb').read() for e in ('jpg', 'png', 'gif', 'mp3', 'bmp')]
volume = b''
for f in files:
    volume += f + bytes(-len(f) % 512 + 512)

def record(ext, start, end, size_at=-1, size_bytes=0, header=0, includes=0, approx=65536):
    r = bytearray(173)
    e = ext.encode('utf-16-le')
    r[0:len(e)] = e
    r[12] = len(ext)
    r[13:13 + len(start)] = start
    r[23:23 + len(end)] = end
    r[33], r[34], r[35] = len(start), len(end), 0
    struct.pack_into('<iiiB', r, 36, size_at, size_bytes, header, includes)
    struct.pack_into('<qq', r, 53, approx, 0)
    c = 'Pictures'.encode('utf-16-le')
    r[69:69 + len(c)] = c
    return bytes(r)

seeds = {
    'jpeg-end': record('jpg', b'\xFF\xD8\xFF', b'\xFF\xD9'),
    'bmp-size-field': record('bmp', b'BM', b'', size_at=2, size_bytes=4, header=0, includes=1),
    'gif-approx': record('gif', b'GIF8', b'', approx=2048),
    'none': bytes(173),
}
for name, r in seeds.items():
    open(f'{out}/{name}', 'wb').write(r + volume)
PY
# The carve samples of the other families (tests/fixtures/carve): the small ones
# whole, then every one cut in half, each at the start of a sector.
python3 - "$fixtures/carve/samples" "$out/fuzz_carve/families" <<'PY'
import os, sys
folder, path = sys.argv[1], sys.argv[2]
names = sorted(os.listdir(folder))
data = [open(os.path.join(folder, n), 'rb').read() for n in names]
volume = b''
for f in [f for f in data if len(f) <= 6144] + [f[:len(f) // 2] for f in data]:
    volume += f + bytes(-len(f) % 512)
open(path, 'wb').write(bytes(173) + volume)
PY

# LVM2: the first physical volume of each LVM fixture disk, from its start up
# to its metadata area's last non-zero sector (a disk that is one physical
# volume; first byte 1), and the latest metadata text of its
# first physical volume (first byte 0).
for name in lvm-mbr lvm-whole lvm-striped; do
  xz -dc "$fixtures/lvm/$name.raw.xz" > "$work/lvm.raw"
  python3 - "$work/lvm.raw" "$out/fuzz_lvm/$name" <<'PY'
import struct, sys
data, base = open(sys.argv[1], 'rb').read(), sys.argv[2]
pv = 0 if data[512:520] == b'LABELONE' else 2048 * 512
area = pv + struct.unpack_from('<Q', data, pv + 512 + 32 + 40 + 32)[0]
size = struct.unpack_from('<Q', data, area + 32)[0]
offset, length = struct.unpack_from('<QQ', data, area + 40)
end = area + size
while end > pv and not any(data[end - 512:end]):
    end -= 512
open(f'{base}-disk', 'wb').write(b'\x01' + data[pv:end])
open(f'{base}-text', 'wb').write(b'\x00' + data[area + offset:area + offset + length])
PY
done

# Rules: the readable table, the rule file built from it, and a user rule file
# of its first three rules.
cli=${TAVREL_CLI:-$here/../build/tavrel-cli}
cp "$here/../resources/FileSetting.table" "$out/fuzz_rules/table"
"$cli" rules build "$out/fuzz_rules/table" "$work/rules.bin" >/dev/null
cp "$work/rules.bin" "$out/fuzz_rules/default-file"
head -c $((3 * 173)) "$work/rules.bin" > "$out/fuzz_rules/user-file"
du -sh "$out"/*
