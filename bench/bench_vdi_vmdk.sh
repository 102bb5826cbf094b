#!/usr/bin/env bash
# Sequential read of a VDI and a monolithic sparse VMDK image (1 GiB of random
# data by default; BENCH_MIB sets the size) through Tavrel's readers, against
# `qemu-img convert -O raw` of the same image, page cache warm, in the same run.
set -euo pipefail
build=${TAVREL_BUILD:?}
work=${BENCH_WORK:-$(mktemp -d)}
trap '[ -z "${BENCH_WORK:-}" ] && rm -rf "$work"' EXIT
mib=${BENCH_MIB:-1024}

if [ ! -f "$work/bench-$mib.vdi" ]; then
  head -c "${mib}M" /dev/urandom > "$work/bench.raw"
  qemu-img convert -f raw -O vdi "$work/bench.raw" "$work/bench-$mib.vdi"
  qemu-img convert -f raw -O vmdk -o subformat=monolithicSparse "$work/bench.raw" "$work/bench-$mib.vmdk"
  rm -f "$work/bench.raw"
fi

best() { printf '%s\n' "$@" | sort -g | tail -1; }
for img in "$work/bench-$mib.vdi" "$work/bench-$mib.vmdk"; do
  cat "$img" > /dev/null   # warm the page cache
  peers=(); ours=()
  # Best of three runs each, interleaved, so a busy moment does not decide.
  for _ in 1 2 3; do
    t0=$(date +%s.%N); qemu-img convert -O raw "$img" "$work/out.raw"; t1=$(date +%s.%N)
    rm -f "$work/out.raw"
    peers+=("$(echo "$mib / ($t1 - $t0)" | bc -l)")
    ours+=("$("$build/bench/bench_read_image" "$img" 2>/dev/null)")
  done
  peer=$(best "${peers[@]}")
  own=$(best "${ours[@]}")
  printf '%-5s qemu-img convert: %8.1f MiB/s   reader: %8.1f MiB/s  (%.2f x)\n' \
    "${img##*.}" "$peer" "$own" "$(echo "$own / $peer" | bc -l)"
done
