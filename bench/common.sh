# Sourced by run.sh and private.sh.
#   bench_options "$@"
# The run's size: ROUNDS, SIZE, LINES, WINDOW, SINGLE from the environment;
# --smoke [BUILD_DIR] is a tiny load against a tree already built.
bench_options() {
  smoke=0
  build=build
  if [ "${1:-}" = "--smoke" ]; then
    smoke=1
    build=${2:-build}
  fi
  ROUNDS=${ROUNDS:-3} SIZE=${SIZE:-64} LINES=${LINES:-5000} WINDOW=${WINDOW:-100} SINGLE=${SINGLE:-20000}
  if [ "$smoke" -eq 1 ]; then
    ROUNDS=1 LINES=200 SINGLE=200
  fi
}

# Then it builds what a measured run needs (not for --smoke, which takes a built
# tree), names the load generator, and makes a private work folder whose
# servers (their pids in pids) are stopped and which is removed at exit.
#   bench_setup NAME
bench_setup() {
  if [ "$smoke" -eq 0 ]; then
    [ -f build/build.ninja ] || scripts/setup.sh normal
    cmake --build build -j2 --target pelmora pelmora_loadgen pelmora_barerelay >/dev/null
  fi
  LOADGEN=$build/bench/pelmora_loadgen
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  chmod 700 "$work"
  pids=()
  trap bench_cleanup EXIT INT TERM
}

bench_cleanup() {
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null || true
  done
  for p in "${pids[@]}"; do
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
