#!/usr/bin/env bash
# Runs each fuzz target briefly (FUZZ_SECONDS each, default 30).
set -euo pipefail
build=${1:-build-fuzz}
secs=${FUZZ_SECONDS:-30}
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  echo "== $(basename "$target") for ${secs}s"
  corpus="$build/corpus/$(basename "$target")"
  mkdir -p "$corpus"
  "$target" -max_total_time="$secs" -rss_limit_mb=2048 "$corpus"
done
