# Shared timing for the benchmark scripts (sourced).
#
# pair LABEL ROUNDS OURS_COMMAND -- PEER_COMMAND
#   Runs the two commands alternately ROUNDS times after one warm-up each, and
#   prints "LABEL  ours s (peak MiB)  peer s (peak MiB)  ratio peer/ours" with the
#   median wall time of each and the largest peak resident set size, then the
#   median CPU time (user + system) of each. A command
#   that writes files should end with "&& sync" inside its own shell, so each
#   timing pays for its own writes. Every "@OUT@" in a command is replaced by an
#   empty folder, fresh for each run (removed afterwards).

bench_work=${bench_work:-$(mktemp -d "${TMPDIR:-/var/tmp}/tavrel-bench.XXXXXX")}

# One timed run: prints "seconds peakMiB cpuSeconds".
bench_once() {
  local out="$bench_work/out.$$"
  rm -rf "$out"; mkdir -p "$out"
  local cmd=("${@//@OUT@/$out}")
  sync
  /usr/bin/time -f '%e %M %U %S' -o "$bench_work/time.$$" "${cmd[@]}" >/dev/null 2>"$bench_work/err.$$" || {
    echo "bench: failed: ${cmd[*]}" >&2; tail -3 "$bench_work/err.$$" >&2; }
  rm -rf "$out"
  awk '{printf "%s %.1f %.2f\n", $1, $2 / 1024, $3 + $4}' "$bench_work/time.$$"
}

bench_median() { sort -n | awk '{v[NR]=$1} END {if (NR % 2) print v[(NR+1)/2]; else printf "%.3f\n", (v[NR/2]+v[NR/2+1])/2}'; }

pair() {
  local label=$1 rounds=$2; shift 2
  local ours=() peer=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do ours+=("$1"); shift; done
  shift
  peer=("$@")
  bench_once "${ours[@]}" >/dev/null
  bench_once "${peer[@]}" >/dev/null
  local o p i
  : > "$bench_work/ours"; : > "$bench_work/peer"
  for ((i = 0; i < rounds; i++)); do
    bench_once "${ours[@]}" >> "$bench_work/ours"
    bench_once "${peer[@]}" >> "$bench_work/peer"
  done
  o=$(cut -d' ' -f1 "$bench_work/ours" | bench_median)
  p=$(cut -d' ' -f1 "$bench_work/peer" | bench_median)
  local om pm
  om=$(cut -d' ' -f2 "$bench_work/ours" | sort -n | tail -1)
  pm=$(cut -d' ' -f2 "$bench_work/peer" | sort -n | tail -1)
  printf '%-28s tavrel %7.2f s (%7.1f MiB)   peer %7.2f s (%7.1f MiB)   ratio %s   cpu tavrel %s s, peer %s s\n' \
    "$label" "$o" "$om" "$p" "$pm" \
    "$(awk -v a="$p" -v b="$o" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')" \
    "$(cut -d' ' -f3 "$bench_work/ours" | bench_median)" "$(cut -d' ' -f3 "$bench_work/peer" | bench_median)"
}
