#!/usr/bin/env bash
# Name search: `tavrel-cli search` over a FAT32 volume of SEARCH_BENCH_FILES
# (default 20,000) files in nested folders, some deleted, made here with
# mkfs.fat + mtools, against The Sleuth Kit's `fls -r -p | grep -iE` with the
# same pattern, in the same run, alternated, medians (bench/lib.sh). The Sleuth
# Kit reads the raw disk (its fastest input); tavrel-cli reads the dynamic VHD
# made from it. Both must list the same number of matches.
set -euo pipefail
: "${TAVREL_BUILD:?set TAVREL_BUILD to a release build folder}"
cli=$TAVREL_BUILD/tavrel-cli
FILES=${SEARCH_BENCH_FILES:-20000}
ROUNDS=${BENCH_RUNS:-5}
for tool in mkfs.fat mcopy mdel sfdisk qemu-img fls python3; do
  command -v "$tool" >/dev/null || { echo "bench_search: $tool missing, skipped"; exit 0; }
done
[ -x "$cli" ] || { echo "bench_search: $cli missing"; exit 1; }

export TZ=UTC MTOOLS_SKIP_CHECK=1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_search.XXXXXX")
bench_work=$work
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
START=2048

# FILES small files under 100 folders of 10 subfolders, of several kinds.
python3 - "$work/src" "$FILES" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
kinds = ["txt", "jpg", "png", "docx", "pdf", "mp3", "zip"]
for i in range(count):
    d = os.path.join(root, f"folder-{i % 100:03d}", f"sub-{(i // 100) % 10}")
    os.makedirs(d, exist_ok=True)
    name = f"Holiday report {i:05d}.{kinds[i % len(kinds)]}"
    with open(os.path.join(d, name), "wb") as f:
        f.write(f"file {i}\n".encode() * (1 + i % 50))
PY

sectors=$((512 * 2048))
raw=$work/search.raw
truncate -s $((($START + sectors) * 512 + 1048576)) "$raw"
printf 'label: dos\nstart=%d, size=%d, type=c\n' "$START" "$sectors" | sfdisk -q "$raw"
mkfs.fat -F 32 -s 8 --offset="$START" "$raw" $((sectors / 2)) >/dev/null 2>&1
mcopy -s -i "$raw@@$((START * 512))" "$work/src"/* ::/
mdel -i "$raw@@$((START * 512))" "::/folder-001/sub-1/*"
rm -rf "$work/src"
vhd=$work/search.vhd
qemu-img convert -f raw -O vpc -o subformat=dynamic "$raw" "$vhd"
# The partition is the first volume the volume list shows.
volume=0

for pattern in 'report 1234' 'jpg|png' '7\.pdf$'; do
  ours=$("$cli" search "$vhd" --volume "$volume" "$pattern" 2>/dev/null | wc -l)
  peer=$(fls -r -p -o "$START" "$raw" | grep -ciE "$pattern" || true)
  echo "pattern '$pattern': tavrel-cli lists $ours lines, fls | grep $peer"
  pair "search '$pattern'" "$ROUNDS" "$cli" search "$vhd" --volume "$volume" "$pattern" -- \
    sh -c 'fls -r -p -o "$0" "$1" | grep -iE "$2" || true' "$START" "$raw" "$pattern"
done
