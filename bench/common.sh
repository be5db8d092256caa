# Sourced by run.sh and private.sh once smoke, build and a name are set:
# builds what a measured run needs (not for --smoke, which takes a built
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
