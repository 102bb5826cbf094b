#!/usr/bin/env bash
# Sequential read of a 1 GiB disk (BENCH_MIB sets the size) stored as dynamic
# VHDX, qcow2, compressed qcow2 and E01 (compressed, 256 MiB segments): Tavrel
# exports the flat disk (`tavrel-cli export`) against the peer writing the same
# flat disk (`qemu-img convert -O raw` for VHDX and qcow2, `ewfexport -f raw` for
# E01), alternated in the same run, medians of BENCH_ROUNDS runs (bench/lib.sh).
# Both write into a memory file system (/dev/shm when there is one) so that the
# disk's write speed does not decide; the images themselves are read through a
# warm page cache. The disk's content is the system's shared libraries, so
# compression has real data to work on.
set -euo pipefail
build=${TAVREL_BUILD:?}
here=$(cd "$(dirname "$0")" && pwd)
work=${BENCH_WORK:-$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-formats.XXXXXX")}
mib=${BENCH_MIB:-1024}
rounds=${BENCH_ROUNDS:-3}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  bench_work=$(mktemp -d /dev/shm/tavrel-formats.XXXXXX)
else
  bench_work=$work/timing
fi
mkdir -p "$bench_work"
trap '[ -z "${BENCH_WORK:-}" ] && rm -rf "$work"; rm -rf "$bench_work"' EXIT
# shellcheck source=bench/lib.sh
. "$here/lib.sh"

for tool in qemu-img ewfacquire ewfexport; do
  command -v "$tool" >/dev/null || { echo "bench_formats: $tool missing, skipped"; exit 0; }
done
cli=$build/tavrel-cli
formats=$("$cli" --version | sed -n 's/^Image formats: //p')

img=$work/disk-$mib
if [ ! -f "$img.E01" ]; then
  find /usr/lib /usr/bin -type f -size +64k -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null |
    head -c "${mib}M" > "$img.raw" || true
  truncate -s "${mib}M" "$img.raw"
  qemu-img convert -f raw -O vhdx "$img.raw" "$img.vhdx"
  qemu-img convert -f raw -O qcow2 "$img.raw" "$img.qcow2"
  qemu-img convert -c -f raw -O qcow2 "$img.raw" "$img.c.qcow2"
  ewfacquire -u -q -t "$img" -S 256MiB -c deflate:fast "$img.raw" >/dev/null
  rm -f "$img.raw"
fi

# Processor seconds (user + system) of a command, the median of three runs: on
# a machine busy with other work the wall times above also measure how many
# threads each side runs, this does not.
cpu() {
  local out="$bench_work/cpu.out" i
  for i in 1 2 3; do
    rm -rf "$out"; mkdir -p "$out"
    local cmd=("${@//@OUT@/$out}")
    /usr/bin/time -f '%U %S' -o "$bench_work/cpu.time" "${cmd[@]}" >/dev/null 2>&1 || true
    awk '{printf "%.2f\n", $1 + $2}' "$bench_work/cpu.time"
  done | sort -g | sed -n 2p
  rm -rf "$out"
}
compare() {
  local label=$1 n=$2; shift 2
  local ours=() peer=()
  while [ "$1" != "--" ]; do ours+=("$1"); shift; done
  shift
  peer=("$@")
  pair "$label" "$n" "${ours[@]}" -- "${peer[@]}"
  printf '%-28s tavrel %7s cpu s              peer %7s cpu s\n' "" "$(cpu "${ours[@]}")" "$(cpu "${peer[@]}")"
}

printf '%-28s %s\n' "image ($mib MiB)" "tavrel-cli export vs. peer writing the flat disk; ratio = peer time / Tavrel time"
for kind in vhdx qcow2 c.qcow2; do
  case $kind in vhdx) name=vhdx ;; *) name=qcow2 ;; esac
  [[ ", $formats, " == *", $name, "* ]] || { echo "$kind: not read by this build, skipped"; continue; }
  cat "$img.$kind" > /dev/null   # warm the page cache
  # A third of a second each: the page allocations of the memory file system
  # vary more than that between runs, so these take three times the rounds.
  n=$rounds; [ "$kind" = c.qcow2 ] || n=$((rounds * 3))
  compare "$kind vs qemu-img" "$n" bash -c "\"$cli\" export \"$img.$kind\" @OUT@" -- \
    bash -c "qemu-img convert -O raw \"$img.$kind\" @OUT@/disk.raw"
done
if [[ ", $formats, " == *", e01, "* ]]; then
  cat "$img".E* > /dev/null
  compare "E01 vs ewfexport" "$rounds" bash -c "\"$cli\" export \"$img.E01\" @OUT@" -- \
    bash -c "ewfexport -u -q -f raw -t @OUT@/disk \"$img.E01\""
fi
