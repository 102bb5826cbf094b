#!/usr/bin/env bash
# Runs every benchmark script in bench/ against the given release build folder.
set -euo pipefail
build=${1:-build-release}
here=$(cd "$(dirname "$0")" && pwd)
export TAVREL_BUILD=$(cd "$build" && pwd)
for script in "$here"/bench_*.sh; do
  [ -e "$script" ] || continue
  echo "== $(basename "$script")"
  bash "$script"
done
