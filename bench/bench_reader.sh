#!/usr/bin/env bash
# Sequential read of a 1 GiB dynamic VHD through the reader (5 MiB reads) against
# `cat` of the same file, page cache warm, in the same run.
set -euo pipefail
build=${TAVREL_BUILD:?}
work=${BENCH_WORK:-$(mktemp -d)}
trap '[ -z "${BENCH_WORK:-}" ] && rm -rf "$work"' EXIT

img="$work/bench-1g.vhd"
if [ ! -f "$img" ]; then
  head -c 1G /dev/urandom > "$work/bench-1g.raw"
  qemu-img convert -f raw -O vpc -o subformat=dynamic "$work/bench-1g.raw" "$img"
  rm -f "$work/bench-1g.raw"
fi

size_mib=$(( $(stat -c %s "$img") / 1048576 ))
cat "$img" > /dev/null   # warm the page cache

# Best of three runs each, interleaved, so a busy moment does not decide.
best() { printf '%s\n' "$@" | sort -g | tail -1; }
cats=(); seeks=(); ats=()
for _ in 1 2 3; do
  t0=$(date +%s.%N); cat "$img" > /dev/null; t1=$(date +%s.%N)
  cats+=("$(echo "$size_mib / ($t1 - $t0)" | bc -l)")
  seeks+=("$("$build/bench/bench_read_throughput" "$img" seekread 2>/dev/null)")
  ats+=("$("$build/bench/bench_read_throughput" "$img" readat 2>/dev/null)")
done
cat_mibs=$(best "${cats[@]}")
seekread=$(best "${seeks[@]}")
readat=$(best "${ats[@]}")

printf 'cat:                %8.1f MiB/s\n' "$cat_mibs"
printf 'reader seek+read:   %8.1f MiB/s  (%.2f of cat)\n' "$seekread" "$(echo "$seekread / $cat_mibs" | bc -l)"
printf 'reader readAt:      %8.1f MiB/s  (%.2f of cat)\n' "$readat" "$(echo "$readat / $cat_mibs" | bc -l)"
