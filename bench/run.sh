#!/usr/bin/env bash
# The hub against an IRC server (ngIRCd) on this machine, side by side in one
# run: nine clients, a flood (every client sends LINES lines, a send window
# of WINDOW) and one line at a time (SINGLE lines), ROUNDS rounds, medians and
# the ratios hub / ngIRCd. Four servers run on loopback addresses of their
# own, each started here and stopped at the end: the window hub, the real
# program offscreen with its event-loop blocks logged (PELMORA_LOOP_LOG); the
# headless hub (pelmora --hub, its journal to a file); a bare epoll relay
# (bench/barerelay.cpp, the practical limit of the machine); and ngIRCd. Every run
# and the whole also report the host's steal time (steal_pct), so a run that
# a busy host disturbed can be told from one that measured the servers.
#
#   bench/run.sh                         3 rounds, 64-byte lines
#   ROUNDS=5 SIZE=200 bench/run.sh       other settings by environment
#   PELMORA_BIN=/other/pelmora bench/run.sh   measure another build of the hub
#   LINE_RATE=10 bench/run.sh            the hubs with their line rate on
#                                        (default 0: off, as a flood needs)
#   bench/run.sh --smoke [BUILD_DIR]     a tiny load, to prove it works
#   bench/run.sh --private [--smoke [BUILD_DIR]]
#                                        the encrypted headless hub beside the
#                                        plain one and the bare relay
#                                        (bench/private.sh)
#
# Installs ngircd (Debian package) when it is missing, except for --smoke,
# which then measures the hub alone.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--private" ]; then
  shift
  exec bench/private.sh "$@"
fi

. bench/common.sh
bench_options "$@"
# The hubs' guards: the line rate off unless asked for, and no limit of
# seats per address, since the nine clients all call from one address.
LINE_RATE=${LINE_RATE:-0}
# Loopback addresses and ports of this run (the hub's port 2200 stays free).
HUB_ADDR=${HUB_ADDR:-127.0.91.1}
IRC_ADDR=${IRC_ADDR:-127.0.91.2}
HEADLESS_ADDR=${HEADLESS_ADDR:-${HUB_ADDR%.*}.3}
BARE_ADDR=${BARE_ADDR:-${HUB_ADDR%.*}.4}
PORT=${PORT:-$((20000 + $$ % 20000))}

have_ngircd=1
if ! command -v ngircd >/dev/null && [ ! -x /usr/sbin/ngircd ]; then
  if [ $smoke -eq 1 ]; then
    have_ngircd=0
  else
    echo "installing ngircd"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends ngircd >/dev/null
  fi
fi
NGIRCD=$(command -v ngircd || echo /usr/sbin/ngircd)

bench_setup pelmora-bench

# --- ngIRCd: its own configuration, penalties off, in the foreground --------
if [ $have_ngircd -eq 1 ]; then
  : > "$work/motd"
  cat > "$work/ngircd.conf" <<EOF
[Global]
Name = bench.invalid
Info = bench
Listen = $IRC_ADDR
Ports = $PORT
MotdFile = $work/motd
PidFile = $work/ngircd.pid
ServerUID = $(id -u)
ServerGID = $(id -g)
[Limits]
MaxConnections = 0
MaxConnectionsIP = 0
MaxJoins = 0
MaxPenaltyTime = 0
PingTimeout = 600
PongTimeout = 600
[Options]
DNS = no
Ident = no
PAM = no
SyslogFacility = local7
EOF
  "$NGIRCD" --nodaemon --config "$work/ngircd.conf" >"$work/ngircd.log" 2>&1 &
  pids+=($!)
  IRC_PID=$!
  "$LOADGEN" --probe "$IRC_ADDR" "$PORT" >/dev/null
fi

# --- the hub: the real program offscreen, settings and runtime files here ---
mkdir -p "$work/home/config/tovanit" "$work/home/runtime" "$work/home/logs"
chmod 700 "$work/home/runtime"
printf '[hub]\nLineRate=%s\nSeatsPerAddress=0\n' "$LINE_RATE" >"$work/home/config/tovanit/pelmora.conf"
echo "hubs: line rate ${LINE_RATE} (0: off), seats per address unlimited"
cp "${PELMORA_BIN:-$build/app/pelmora}" "$work/pelmora-bench"
start_hub() {
  local t0 t1
  t0=$(date +%s%N)
  ( cd "$work/home/logs" && QT_QPA_PLATFORM=offscreen PELMORA_ADDRESS=$HUB_ADDR \
      PELMORA_PORT=$PORT PELMORA_LOOP_LOG="$work/loop.log" HOME="$work/home" PELMORA_ENCRYPT=0 \
      XDG_CONFIG_HOME="$work/home/config" XDG_RUNTIME_DIR="$work/home/runtime" \
      exec "$work/pelmora-bench" ) >"$work/hub.log" 2>&1 &
  HUB_PID=$!
  t1=$("$LOADGEN" --probe "$HUB_ADDR" "$PORT" --realtime)
  starts+=($(( (t1 - t0) / 1000000 )))
}
# Start to listening: the median of five starts (one start alone is at the
# mercy of whatever else the machine does in that moment); the last hub
# started is the one measured.
starts=()
for i in 1 2 3 4 5; do
  start_hub
  if [ "$i" -lt 5 ]; then
    kill "$HUB_PID"
    wait "$HUB_PID" 2>/dev/null || true
  fi
done
pids+=($HUB_PID)
start_ms=$(printf '%s\n' "${starts[@]}" | sort -n | sed -n 3p)
echo "hub: start to listening ${start_ms} ms (median of ${starts[*]})"

# --- the headless hub: the same program, no display, journal to a file -----
t0=$(date +%s%N)
( cd "$work/home/logs" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/config" PELMORA_ENCRYPT=0 \
    "$work/pelmora-bench" --hub --address "$HEADLESS_ADDR" --port "$PORT" --name bench-hub \
    --line-rate "$LINE_RATE" --seats-per-address 0 ) \
  >"$work/headless.log" 2>&1 &
HEADLESS_PID=$!
pids+=($HEADLESS_PID)
t1=$("$LOADGEN" --probe "$HEADLESS_ADDR" "$PORT" --realtime)
echo "headless hub: start to listening $(( (t1 - t0) / 1000000 )) ms"

# --- the bare relay: accept, read, write whole lines to the others ----------
"$build/bench/pelmora_barerelay" "$BARE_ADDR" "$PORT" &
BARE_PID=$!
pids+=($BARE_PID)
"$LOADGEN" --probe "$BARE_ADDR" "$PORT" >/dev/null

# Steal time: the share of this machine's CPU time that the host of a
# virtual machine gave to others. Where it is more than a few per cent, the
# latency tails measure the host more than either server.
cpu_ticks() { # prints: steal total
  awk '/^cpu / { t = 0; for (i = 2; i <= 9; i++) t += $i; print $9, t }' /proc/stat
}
steal_pct() { # steal_pct "S0 T0" "S1 T1"
  echo "$1 $2" | awk '{ d = $4 - $2; printf "%.1f", (d > 0 ? 100 * ($3 - $1) / d : 0) }'
}
steal_start=$(cpu_ticks)

results="$work/results"
: > "$results"
run() { # run NAME ROUND args...
  local name=$1 round=$2; shift 2
  local out t0
  t0=$(cpu_ticks)
  out=$("$LOADGEN" --size "$SIZE" --window "$WINDOW" --timeout 900 "$@")
  out="$out steal_pct=$(steal_pct "$t0" "$(cpu_ticks)")"
  echo "round $round $name: $out"
  echo "$name $round $out" >> "$results"
}
for r in $(seq 1 "$ROUNDS"); do
  for mode in flood single; do
    lines=$LINES
    [ $mode = single ] && lines=$SINGLE
    if [ $have_ngircd -eq 1 ]; then
      run irc-$mode "$r" --proto irc --host "$IRC_ADDR" --port "$PORT" --mode $mode \
        --lines "$lines" --pid "$IRC_PID"
    fi
    run hub-$mode "$r" --proto pelmora --host "$HUB_ADDR" --port "$PORT" --mode $mode \
      --lines "$lines" --pid "$HUB_PID" --block-log "$work/loop.log"
    run headless-$mode "$r" --proto pelmora --host "$HEADLESS_ADDR" --port "$PORT" --mode $mode \
      --lines "$lines" --pid "$HEADLESS_PID"
    run bare-$mode "$r" --proto pelmora --host "$BARE_ADDR" --port "$PORT" --mode $mode \
      --lines "$lines" --pid "$BARE_PID"
  done
done
steal_rounds=$(steal_pct "$steal_start" "$(cpu_ticks)")

# Idle: the hub's context switches (all threads) over two quiet seconds,
# once the pane has shown what the last run left it (a throttled pane takes
# a few seconds to catch up after a flood of 10 000 lines or more) and
# Qt's cache of painted pixmaps has had its clean-up, a timer of 30 s that
# stops once the cache holds nothing old; after it, nothing wakes the
# program until something arrives.
switches() { # switches PID
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/ctxt_switches/ { n += $2 } END { print n + 0 }'
}
rss_kib() { awk '/^VmRSS/ { print $2 }' /proc/"$1"/status; }
if [ $smoke -eq 1 ]; then sleep 8; else sleep 35; fi
s0=$(switches "$HUB_PID")
h0=$(switches "$HEADLESS_PID")
sleep 2
s1=$(switches "$HUB_PID")
h1=$(switches "$HEADLESS_PID")
echo "hub: idle wake-ups in 2 s: $((s1 - s0)), resident $(rss_kib "$HUB_PID") KiB"
echo "headless hub: idle wake-ups in 2 s: $((h1 - h0)), resident $(rss_kib "$HEADLESS_PID") KiB"
kill -0 "$HUB_PID" 2>/dev/null || { echo "the hub has ended during the run" >&2; exit 1; }
kill -0 "$HEADLESS_PID" 2>/dev/null || { echo "the headless hub has ended during the run" >&2; exit 1; }

# Medians per measure, then the ratios hub / ngIRCd.
awk -v rounds="$ROUNDS" '
  function median(name, key,   i, n, v, t, j) {
    n = 0
    for (i = 1; i <= rounds; i++) if ((name, key, i) in val) v[++n] = val[name, key, i]
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return n == 0 ? "" : (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2)
  }
  { for (i = 3; i <= NF; i++) { split($i, kv, "="); val[$1, kv[1], $2] = kv[2] } names[$1] = 1 }
  END {
    printf "\nmedians of %d rounds\n", rounds
    for (n in names) {
      printf "  %-10s per_s=%s p50_us=%s p99_us=%s max_us=%s cpu_ns_per_delivery=%s", n,
        median(n, "per_s"), median(n, "p50_us"), median(n, "p99_us"), median(n, "max_us"),
        median(n, "cpu_ns_per_delivery")
      if (median(n, "block_max_us") != "") printf " block_max_us=%s", median(n, "block_max_us")
      printf " steal_pct=%s", median(n, "steal_pct")
      printf "\n"
    }
    if (("irc-flood" in names) && ("hub-flood" in names)) {
      printf "\nratios hub / ngIRCd (medians)\n"
      printf "  flood deliveries/s  %.2f   (per round:", median("hub-flood", "per_s") / median("irc-flood", "per_s")
      for (i = 1; i <= rounds; i++) printf " %.2f", val["hub-flood", "per_s", i] / val["irc-flood", "per_s", i]
      printf ")\n"
      printf "  flood p99           %.2f\n", median("hub-flood", "p99_us") / median("irc-flood", "p99_us")
      printf "  single p50          %.2f\n", median("hub-single", "p50_us") / median("irc-single", "p50_us")
      printf "  single p99          %.2f\n", median("hub-single", "p99_us") / median("irc-single", "p99_us")
      printf "  flood CPU/delivery  %.2f\n", median("hub-flood", "cpu_ns_per_delivery") / median("irc-flood", "cpu_ns_per_delivery")
    }
    # Against the bare relay: flood deliveries/s (higher is better, target
    # >= 0.9 for the headless hub) and single-line p99 (lower is better,
    # target <= 1.0), per round and of the medians.
    split("headless-flood hub-flood irc-flood", who, " ")
    if ("bare-flood" in names) {
      printf "\nratios to the bare relay (medians; per round)\n"
      for (w = 1; w <= 3; w++) {
        f = who[w]; s = f; sub(/-flood$/, "-single", s)
        if (!(f in names)) continue
        printf "  %-9s flood per_s %.2f (", f, median(f, "per_s") / median("bare-flood", "per_s")
        for (i = 1; i <= rounds; i++) printf "%s%.2f", (i > 1 ? " " : ""), val[f, "per_s", i] / val["bare-flood", "per_s", i]
        printf ")  single p99 %.2f (", median(s, "p99_us") / median("bare-single", "p99_us")
        for (i = 1; i <= rounds; i++) printf "%s%.2f", (i > 1 ? " " : ""), val[s, "p99_us", i] / val["bare-single", "p99_us", i]
        printf ")  single p50 %.2f\n", median(s, "p50_us") / median("bare-single", "p50_us")
      }
    }
  }' "$results"
echo "machine: $(uptime)"
echo "host steal during the rounds: $steal_rounds % of this machine's CPU time"
if awk -v s="$steal_rounds" 'BEGIN { exit !(s > 5) }'; then
  echo "note: the host was busy; the latency tails and the longest blocks of this run measure it more than the servers"
fi
