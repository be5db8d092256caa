#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz/ (scripts/setup.sh fuzz) for a fixed
# number of runs with a fixed seed, starting from its seed corpus in
# fuzz/corpus/. New inputs go to a scratch folder, never into the repository.
# Usage: scripts/fuzz.sh [runs]        (default 20000 per target)
#        scripts/fuzz.sh -- ARGS...    (ARGS for libFuzzer, e.g. -max_total_time=600)
set -euo pipefail
cd "$(dirname "$0")/.."
args=(-runs="${1:-20000}" -seed=1)
if [ "${1:-}" = "--" ]; then
  shift
  args=("$@")
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in linebuffer sjis chatcore negotiation; do
  mkdir -p "$work/$t"
  echo "== fuzz_$t ${args[*]}"
  # A target that hangs fails within 5 minutes instead of holding CI.
  if timeout -k 10 300 build-fuzz/fuzz/fuzz_$t "${args[@]}" -max_len=4096 -timeout=20 "$work/$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs)' "$work/$t.log" || tail -n 2 "$work/$t.log"
  else
    tail -n 60 "$work/$t.log"
    status=1
  fi
done
exit $status
