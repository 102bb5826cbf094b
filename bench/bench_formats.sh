#!/usr/bin/env bash
# Export of one disk (1 GiB, BENCH_MIB sets the size) stored in every format
# Tavrel reads: dynamic and fixed VHD, VDI, VMDK (sparse and stream-optimized),
# dynamic VHDX, qcow2 (plain and compressed), E01 (compressed, 256 MiB
# segments) and raw. Tavrel exports the flat disk (`tavrel-cli export`) against
# the peer writing the same flat disk (`qemu-img convert -O raw`; `ewfexport -f
# raw` for E01), alternated in the same run, medians of BENCH_ROUNDS (5) runs
# (bench/lib.sh). Both write into a folder on disk (BENCH_WORK's file system,
# not a memory one) and flush what they wrote inside the timing (sync of the
# output file); the disk space each output takes (du) is printed beside. The
# images are read through a warm page cache.
#
# The disk holds the system's shared libraries in its first three quarters of
# every MiB and zeros in the last quarter, so that every block of the sparse
# formats is stored, a quarter of it zeros.
set -euo pipefail
build=${TAVREL_BUILD:?}
here=$(cd "$(dirname "$0")" && pwd)
work=${BENCH_WORK:-$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-formats.XXXXXX")}
mib=${BENCH_MIB:-1024}
rounds=${BENCH_ROUNDS:-5}
bench_work=$work/timing
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
  python3 - "$img.raw" "$mib" <<'PY'
import os, sys
path, mib = sys.argv[1], int(sys.argv[2])
def library_bytes():
    for top in ("/usr/lib", "/usr/bin"):
        for folder, _, files in sorted(os.walk(top)):
            for name in sorted(files):
                p = os.path.join(folder, name)
                try:
                    if os.path.isfile(p) and not os.path.islink(p) and os.path.getsize(p) > 65536:
                        with open(p, "rb") as f:
                            yield f.read()
                except OSError:
                    pass
data = library_bytes()
pending = b""
with open(path, "wb") as out:
    for _ in range(mib):
        while len(pending) < 786432:
            pending += next(data, b"\xa5" * 786432)
        out.write(pending[:786432])
        pending = pending[786432:]
        out.write(bytes(262144))
PY
  qemu-img convert -f raw -O vpc "$img.raw" "$img.vhd"
  qemu-img convert -f raw -O vpc -o subformat=fixed "$img.raw" "$img.fixed.vhd"
  qemu-img convert -f raw -O vdi "$img.raw" "$img.vdi"
  qemu-img convert -f raw -O vmdk "$img.raw" "$img.vmdk"
  qemu-img convert -f raw -O vmdk -o subformat=streamOptimized "$img.raw" "$img.s.vmdk"
  qemu-img convert -f raw -O vhdx "$img.raw" "$img.vhdx"
  qemu-img convert -f raw -O qcow2 "$img.raw" "$img.qcow2"
  qemu-img convert -c -f raw -O qcow2 "$img.raw" "$img.c.qcow2"
  ewfacquire -u -q -t "$img" -S 256MiB -c deflate:fast "$img.raw" >/dev/null
  cp --sparse=always "$img.raw" "$img.img"
  rm -f "$img.raw"
fi

# One more run: the disk space of the output a command leaves in @OUT@ (the
# processor seconds are in pair's line).
space() {
  local out="$bench_work/space.out"
  rm -rf "$out"; mkdir -p "$out"
  local cmd=("${@//@OUT@/$out}")
  "${cmd[@]}" >/dev/null 2>&1 || true
  printf '%s MiB' "$(du -sm "$out" | cut -f1)"
  rm -rf "$out"
}
compare() {
  local label=$1; shift
  local ours=() peer=()
  while [ "$1" != "--" ]; do ours+=("$1"); shift; done
  shift
  peer=("$@")
  pair "$label" "$rounds" "${ours[@]}" -- "${peer[@]}"
  printf '%-28s tavrel %s on disk   peer %s on disk\n' "" "$(space "${ours[@]}")" "$(space "${peer[@]}")"
}

printf '%-28s %s\n' "image ($mib MiB)" "tavrel-cli export vs. peer writing the flat disk to disk, flushed; ratio = peer time / Tavrel time"
for kind in vhd fixed.vhd vdi vmdk s.vmdk vhdx qcow2 c.qcow2 img; do
  case $kind in
    *vhd) name=vhd ;; *vmdk) name=vmdk ;; *qcow2) name=qcow2 ;; img) name=raw ;; *) name=$kind ;;
  esac
  [[ ", $formats, " == *", $name, "* ]] || { echo "$kind: not read by this build, skipped"; continue; }
  cat "$img.$kind" > /dev/null   # warm the page cache
  compare "$kind vs qemu-img" bash -c "\"$cli\" export \"$img.$kind\" @OUT@ && sync @OUT@/*" -- \
    bash -c "qemu-img convert -O raw \"$img.$kind\" @OUT@/disk.raw && sync @OUT@/*"
done
if [[ ", $formats, " == *", e01, "* ]]; then
  cat "$img".E* > /dev/null
  compare "E01 vs ewfexport" bash -c "\"$cli\" export \"$img.E01\" @OUT@ && sync @OUT@/*" -- \
    bash -c "ewfexport -u -q -f raw -t @OUT@/disk \"$img.E01\" && sync @OUT@/*"
fi
