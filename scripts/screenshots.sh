#!/usr/bin/env bash
# Screenshots of the wizard's pages on samples/demo.vhd: starts the wizard under a
# virtual X server (xvfb-run), walks it to the scan page with a folder open, runs a
# search, treats the volume as RAW for the raw recovery page and its Setting
# dialog, shows the recovery mode page of a FAT32 fixture and the preview pane on a
# small FAT16 volume made with mkfs.fat and mtools; writes one PNG per
# view into the folder given as the first argument (the manual's are in
# docs/manual/images).
#
#   scripts/screenshots.sh OUTPUT_DIR [BUILD_DIR]
#
# BUILD_DIR (default: build) is configured and the Qt test binary built in it when
# needed.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 OUTPUT_DIR [BUILD_DIR]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
build=${2:-"$here/build"}

command -v xvfb-run >/dev/null || { echo "xvfb-run is needed (package xvfb)" >&2; exit 1; }
[ -f "$here/samples/demo.vhd" ] || { echo "samples/demo.vhd is missing (samples/make-demo.sh makes it)" >&2; exit 1; }

if [ ! -x "$build/tests/test_ui" ]; then
  cmake -S "$here" -B "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target test_ui
fi

# The test binary keeps one QApplication in a static; on the xcb platform Qt can
# crash while tearing that down at process exit, after every test has finished,
# so the verdict is read from the test's own report instead of the exit code.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
TAVREL_SCREENSHOTS_DIR="$out" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/tests/test_ui" --gtest_filter='ScanScreenshots.*' >"$log" 2>&1 || true
if ! grep -q '^\[  PASSED  \] [0-9]* test' "$log" || grep -q '^\[  \(SKIPPED\|FAILED\)' "$log"; then
  cat "$log" >&2
  echo "screenshots failed" >&2
  exit 1
fi
ls -1 "$out"/*.png
