#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS (default 30), starting from the
# committed seeds in fuzz/corpus/<target>/ (made by fuzz/make-corpus.sh). New
# inputs go to <build>/corpus/<target>/, findings to <build>/artifacts/.
# Usage: fuzz/run.sh [build-dir [target...]]
set -euo pipefail
build=${1:-build-fuzz}
shift || true
secs=${FUZZ_SECONDS:-30}
# A small quarantine keeps freed memory in reuse: with the default, every input
# touches fresh pages and the page faults cost as much as the parse.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=8:malloc_context_size=4}
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for t in "$build"/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
mkdir -p "$build/artifacts"
for name in "${targets[@]}"; do
  echo "== $name for ${secs}s"
  corpus="$build/corpus/$name"
  mkdir -p "$corpus" "$seeds/$name"
  "$build/fuzz/$name" -max_total_time="$secs" -rss_limit_mb=2048 -max_len=131072 \
    -artifact_prefix="$build/artifacts/$name-" "$corpus" "$seeds/$name"
done
