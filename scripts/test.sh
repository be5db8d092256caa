#!/usr/bin/env bash
# Set up, build, and run every test headless: first the normal build, then
# the AddressSanitizer + UndefinedBehaviorSanitizer build; then a bounded run
# of every fuzz target (build-fuzz/, clang).
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
scripts/setup.sh all
status=0
for dir in build build-asan; do
  echo "== tests in $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300 || status=1
done
echo "== fuzz targets"
scripts/setup.sh fuzz
scripts/fuzz.sh || status=1
exit $status
