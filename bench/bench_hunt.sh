#!/usr/bin/env bash
# Advanced mode's structure hunt: `tavrel-cli hunt` on a FAT32 and an NTFS
# volume of a few hundred MB, against `cat` of the same raw volume bytes (the
# machine's sequential read rate), alternated in one run, medians of ROUNDS.
# Both volumes are filled with incompressible files, so neither command meets
# holes it could skip, and the hunt reads the whole volume: it finds two FATs
# (or one MFT) and keeps looking for the default third candidate.
# Needs: mkfs.fat, mtools, mkntfs, ntfscp.
set -euo pipefail
: "${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
cli=$TAVREL_BUILD/tavrel-cli
MIB=${HUNT_BENCH_MIB:-400}
ROUNDS=${HUNT_BENCH_ROUNDS:-5}
for tool in mkfs.fat mcopy mkntfs ntfscp; do
  command -v "$tool" >/dev/null || { echo "bench_hunt: $tool missing, skipped"; exit 0; }
done
[ -x "$cli" ] || { echo "bench_hunt: $cli missing"; exit 1; }

export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d "${TMPDIR:-/var/tmp}/bench_hunt.XXXXXX")
trap 'rm -rf "$work" "$bench_work"' EXIT
sectors=$((MIB * 2048))
files=$((MIB * 85 / 100 / 8))  # 8 MiB files filling about 85% of the volume
for ((i = 0; i < files; i++)); do head -c 8M /dev/urandom > "$work/file-$i.bin"; done

# FAT32, 4 KiB clusters, no partition table: the volume is the whole file.
truncate -s $((sectors * 512)) "$work/fat32.raw"
mkfs.fat -F 32 -s 8 "$work/fat32.raw" >/dev/null
mcopy -i "$work/fat32.raw" "$work"/file-*.bin ::/

# NTFS, 4 KiB clusters.
truncate -s $((sectors * 512)) "$work/ntfs.raw"
mkntfs -Q -F -q -c 4096 "$work/ntfs.raw" >/dev/null 2>&1
for ((i = 0; i < files; i++)); do ntfscp -q "$work/ntfs.raw" "$work/file-$i.bin" "file-$i.bin" >/dev/null; done
rm -f "$work"/file-*.bin

end=$((sectors - 1))
echo "hunt over ${MIB} MiB volumes, peer: cat of the same bytes (ratio >= 0.5 is the goal)"
pair "hunt FAT32 ${MIB} MiB" "$ROUNDS" "$cli" hunt "$work/fat32.raw" --start 0 --end "$end" --treat-as FAT32 \
  -- cat "$work/fat32.raw"
pair "hunt NTFS ${MIB} MiB" "$ROUNDS" "$cli" hunt "$work/ntfs.raw" --start 0 --end "$end" --treat-as NTFS \
  -- cat "$work/ntfs.raw"
