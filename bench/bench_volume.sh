#!/usr/bin/env bash
# Volume discovery against its peers, in the same run, page cache warm:
#  - export of a 1 GiB dynamic VHD (tavrel-cli export) against
#    `qemu-img convert -O raw` of the same image, for a full disk (random data in
#    every block) and a sparse one (256 MiB of data, the rest never written);
#  - the advanced scan (tavrel-cli volumes --advanced, every sector tested)
#    against `cat` of the image file.
# Best of three interleaved runs each; outputs are removed and synced between runs.
set -euo pipefail
build=${TAVREL_BUILD:?}
cli="$build/tavrel-cli"
work=${BENCH_WORK:-$(mktemp -d)}
trap '[ -z "${BENCH_WORK:-}" ] && rm -rf "$work"' EXIT

make_image() {  # NAME DATA_MIB: 1 GiB disk, DATA_MIB of random data from its start
  local img="$work/$1.vhd"
  [ -f "$img" ] && return
  truncate -s 1G "$work/$1.raw"
  head -c "$2M" /dev/urandom | dd of="$work/$1.raw" conv=notrunc status=none
  qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on "$work/$1.raw" "$img"
  rm -f "$work/$1.raw"
}
make_image full 1024
make_image sparse 256

now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -1; }   # shortest time
ratio() { echo "$1 / $2" | bc -l; }

export_bench() {  # NAME
  local img="$work/$1.vhd" out="$work/out"
  local ours=() peer=() t0 t1
  cat "$img" > /dev/null
  for _ in 1 2 3; do
    rm -rf "$out"; mkdir -p "$out"; sync
    t0=$(now); "$cli" export "$img" "$out" > /dev/null; t1=$(now)
    ours+=("$(echo "$t1 - $t0" | bc -l)")
    rm -rf "$out"; mkdir -p "$out"; sync
    t0=$(now); qemu-img convert -f vpc -O raw "$img" "$out/peer.raw"; t1=$(now)
    peer+=("$(echo "$t1 - $t0" | bc -l)")
  done
  rm -rf "$out"
  local o p
  o=$(best "${ours[@]}"); p=$(best "${peer[@]}")
  printf 'export %-6s  tavrel-cli %6.3f s (%7.1f MiB/s)   qemu-img convert %6.3f s (%7.1f MiB/s)   speed vs qemu-img %.2f\n' \
    "$1" "$o" "$(ratio 1024 "$o")" "$p" "$(ratio 1024 "$p")" "$(ratio "$p" "$o")"
}

scan_bench() {  # NAME
  local img="$work/$1.vhd"
  local file_mib ours=() cats=() t0 t1
  file_mib=$(echo "$(stat -c %s "$img") / 1048576" | bc -l)
  cat "$img" > /dev/null
  for _ in 1 2 3; do
    t0=$(now); cat "$img" > /dev/null; t1=$(now)
    cats+=("$(echo "$t1 - $t0" | bc -l)")
    t0=$(now); "$cli" volumes --advanced --no-skip "$img" > /dev/null; t1=$(now)
    ours+=("$(echo "$t1 - $t0" | bc -l)")
  done
  local o c
  o=$(best "${ours[@]}"); c=$(best "${cats[@]}")
  printf 'scan   %-6s  advanced scan %7.1f MiB/s of disk (%.3f s)   cat %7.1f MiB/s of file (%.3f s)   ratio %.2f\n' \
    "$1" "$(ratio 1024 "$o")" "$o" "$(ratio "$file_mib" "$c")" "$c" "$(ratio "$(ratio 1024 "$o")" "$(ratio "$file_mib" "$c")")"
}

export_bench full
export_bench sparse
scan_bench full
scan_bench sparse
