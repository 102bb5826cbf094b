#!/usr/bin/env bash
# Volume discovery against its peers, in the same run, page cache warm:
#  - export of a 1 GiB dynamic VHD (tavrel-cli export) against
#    `qemu-img convert -O raw` of the same image, for a full disk (random data in
#    every block) and a sparse one (256 MiB of data, the rest never written);
#  - the advanced scan (tavrel-cli volumes --advanced --no-skip, every sector
#    tested) against `cat` of the image file.
# Best of five interleaved runs each (wall time, and CPU time = user + sys, which
# a busy machine disturbs less); outputs are removed and synced between runs.
set -euo pipefail
build=${TAVREL_BUILD:?}
cli="$build/tavrel-cli"
runs=${BENCH_RUNS:-5}
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

# timed CMD...: prints "wall cpu" in seconds.
timed() {
  local TIMEFORMAT='%R %U %S' t
  t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<< "$t"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }
ratio() { echo "$1 / $2" | bc -l; }

export_bench() {  # NAME
  local img="$work/$1.vhd" out="$work/out"
  local ow=() oc=() pw=() pc=() t
  cat "$img" > /dev/null
  for _ in $(seq "$runs"); do
    rm -rf "$out"; mkdir -p "$out"; sync
    t=($(timed "$cli" export "$img" "$out")); ow+=("${t[0]}"); oc+=("${t[1]}")
    rm -rf "$out"; mkdir -p "$out"; sync
    t=($(timed qemu-img convert -f vpc -O raw "$img" "$out/peer.raw")); pw+=("${t[0]}"); pc+=("${t[1]}")
  done
  rm -rf "$out"
  local o p ocpu pcpu
  o=$(best "${ow[@]}"); p=$(best "${pw[@]}"); ocpu=$(best "${oc[@]}"); pcpu=$(best "${pc[@]}")
  printf 'export %-6s  tavrel-cli %6.3f s (%6.0f MiB/s, cpu %.3f s)   qemu-img convert %6.3f s (%6.0f MiB/s, cpu %.3f s)   speed vs qemu-img: wall %.2f, cpu %.2f\n' \
    "$1" "$o" "$(ratio 1024 "$o")" "$ocpu" "$p" "$(ratio 1024 "$p")" "$pcpu" "$(ratio "$p" "$o")" "$(ratio "$pcpu" "$ocpu")"
}

scan_bench() {  # NAME
  local img="$work/$1.vhd"
  local file_mib ow=() oc=() cw=() cc=() t
  file_mib=$(echo "$(stat -c %s "$img") / 1048576" | bc -l)
  cat "$img" > /dev/null
  for _ in $(seq "$runs"); do
    t=($(timed cat "$img")); cw+=("${t[0]}"); cc+=("${t[1]}")
    t=($(timed "$cli" volumes --advanced --no-skip "$img")); ow+=("${t[0]}"); oc+=("${t[1]}")
  done
  local o c ocpu ccpu ours cats
  o=$(best "${ow[@]}"); c=$(best "${cw[@]}"); ocpu=$(best "${oc[@]}"); ccpu=$(best "${cc[@]}")
  ours=$(ratio 1024 "$o"); cats=$(ratio "$file_mib" "$c")
  printf 'scan   %-6s  advanced scan %6.0f MiB/s of disk (%.3f s, cpu %.3f s)   cat %6.0f MiB/s of file (%.3f s, cpu %.3f s)   throughput vs cat: wall %.2f, cpu %.2f\n' \
    "$1" "$ours" "$o" "$ocpu" "$cats" "$c" "$ccpu" "$(ratio "$ours" "$cats")" \
    "$(ratio "$(ratio 1024 "$ocpu")" "$(ratio "$file_mib" "$ccpu")")"
}

export_bench full
export_bench sparse
scan_bench full
scan_bench sparse
