#!/usr/bin/env bash
# The encrypted headless hub beside the plain one and the bare relay, side by
# side in one run (bench/run.sh --private): nine clients, a flood and one line
# at a time as in run.sh, ROUNDS rounds. Three servers on loopback addresses
# of their own, each started here and stopped at the end: the headless hub
# with encryption off (PELMORA_ENCRYPT=0, the load generator plain), the
# headless hub with it on (PELMORA_ENCRYPT=1, every client answers the offer
# and speaks TLS 1.3), and the bare epoll relay (plain). Each hub has a home
# of its own here, so the encrypting one makes its key at its first start.
#
#   bench/run.sh --private                    3 rounds, 64-byte lines
#   ROUNDS=1 LINES=500 SINGLE=500 bench/run.sh --private   a short run
#   bench/run.sh --private --smoke [BUILD_DIR]             a tiny load
#
# The table compares, of the medians (each round's ratio in brackets):
# flood deliveries/s of the encrypted hub to the bare relay (target >= 0.5),
# the one-line-at-a-time p99 of the encrypted hub to the plain one (target
# <= 1.5), and the resident memory each encrypted seat adds (target
# < 100 KiB): the hub's growth from before its first caller to all nine
# seated, on the first round, so the one-time cost of the first handshake
# counts too; the plain hub's figure beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/common.sh
bench_options "$@"
BASE=${PRIVATE_ADDR:-127.0.94.1}
PLAIN_ADDR=$BASE
PRIVATE_HUB_ADDR=${BASE%.*}.2
BARE_ADDR=${BASE%.*}.3
PORT=${PORT:-$((20000 + $$ % 20000))}

bench_setup pelmora-private
cp "${PELMORA_BIN:-$build/app/pelmora}" "$work/pelmora-bench"

start_hub() { # start_hub NAME ADDRESS ENCRYPT: its pid in HUB_PID
  local home="$work/$1"
  mkdir -p "$home/config" "$home/data"
  ( cd "$home" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" \
      XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" PELMORA_ENCRYPT="$3" \
      "$work/pelmora-bench" --hub --address "$2" --port "$PORT" --name "bench-$1" \
      --line-rate 0 --seats-per-address 0 ) >"$work/$1.log" 2>&1 &
  HUB_PID=$!
  pids+=($HUB_PID)
  "$LOADGEN" --probe "$2" "$PORT" >/dev/null
}
start_hub plain "$PLAIN_ADDR" 0
PLAIN_PID=$HUB_PID
start_hub private "$PRIVATE_HUB_ADDR" 1
PRIVATE_PID=$HUB_PID
"$build/bench/pelmora_barerelay" "$BARE_ADDR" "$PORT" &
BARE_PID=$!
pids+=($BARE_PID)
"$LOADGEN" --probe "$BARE_ADDR" "$PORT" >/dev/null
echo "servers: plain hub $PLAIN_ADDR, encrypted hub $PRIVATE_HUB_ADDR, bare relay $BARE_ADDR, port $PORT"

cpu_ticks() { # prints: steal total
  awk '/^cpu / { t = 0; for (i = 2; i <= 9; i++) t += $i; print $9, t }' /proc/stat
}
steal_pct() { # steal_pct "S0 T0" "S1 T1"
  echo "$1 $2" | awk '{ d = $4 - $2; printf "%.1f", (d > 0 ? 100 * ($3 - $1) / d : 0) }'
}
results="$work/results"
: > "$results"
run() { # run NAME ROUND args...
  local name=$1 round=$2 out t0
  shift 2
  t0=$(cpu_ticks)
  out=$("$LOADGEN" --proto pelmora --port "$PORT" --size "$SIZE" --window "$WINDOW" --timeout 900 "$@")
  out="$out steal_pct=$(steal_pct "$t0" "$(cpu_ticks)")"
  echo "round $round $name: $out"
  echo "$name $round $out" >> "$results"
}
steal_start=$(cpu_ticks)
t_start=$(date +%s)
for r in $(seq 1 "$ROUNDS"); do
  for mode in flood single; do
    lines=$LINES
    [ $mode = single ] && lines=$SINGLE
    run bare-$mode "$r" --host "$BARE_ADDR" --mode $mode --lines "$lines" --pid "$BARE_PID"
    run plain-$mode "$r" --host "$PLAIN_ADDR" --mode $mode --lines "$lines" --pid "$PLAIN_PID"
    run private-$mode "$r" --host "$PRIVATE_HUB_ADDR" --tls --mode $mode --lines "$lines" --pid "$PRIVATE_PID"
  done
done
echo "rounds took $(($(date +%s) - t_start)) s; host steal $(steal_pct "$steal_start" "$(cpu_ticks)") %"
rss_kib() { awk '/^VmRSS/ { print $2 }' /proc/"$1"/status; }
for who in plain:$PLAIN_PID private:$PRIVATE_PID; do
  kill -0 "${who#*:}" 2>/dev/null || { echo "the ${who%:*} hub has ended during the run" >&2; exit 1; }
  echo "${who%:*} hub: resident $(rss_kib "${who#*:}") KiB after the rounds"
done

awk -v rounds="$ROUNDS" '
  function median(name, key,   i, n, v, t, j) {
    n = 0
    for (i = 1; i <= rounds; i++) if ((name, key, i) in val) v[++n] = val[name, key, i]
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return n == 0 ? 0 : (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2)
  }
  # The ratio a / b of one measure: of the medians, then per round.
  function ratio(a, b, key,   i, s) {
    s = sprintf("%.2f (", median(a, key) / median(b, key))
    for (i = 1; i <= rounds; i++) s = s sprintf("%s%.2f", i > 1 ? " " : "", val[a, key, i] / val[b, key, i])
    return s ")"
  }
  function perSeat(name) { return (val[name, "rss_joined_kib", 1] - val[name, "rss0_kib", 1]) / 9 }
  { for (i = 3; i <= NF; i++) { split($i, kv, "="); val[$1, kv[1], $2] = kv[2] } names[$1] = 1 }
  END {
    printf "\nmedians of %d rounds\n", rounds
    split("bare plain private", who, " ")
    for (w = 1; w <= 3; w++) for (m = 0; m < 2; m++) {
      n = who[w] (m ? "-single" : "-flood")
      printf "  %-14s per_s=%s p50_us=%s p99_us=%s max_us=%s cpu_ns_per_delivery=%s steal_pct=%s\n", n,
        median(n, "per_s"), median(n, "p50_us"), median(n, "p99_us"), median(n, "max_us"),
        median(n, "cpu_ns_per_delivery"), median(n, "steal_pct")
    }
    printf "\nprivate groups                          measured               target\n"
    printf "  flood per_s, encrypted / bare relay   %-22s >= 0.5\n", ratio("private-flood", "bare-flood", "per_s")
    printf "  single p99, encrypted / plain hub     %-22s <= 1.5\n", ratio("private-single", "plain-single", "p99_us")
    printf "  resident memory per encrypted seat    %-22s < 100 KiB\n", sprintf("%.0f KiB", perSeat("private-flood"))
    printf "  (single p50, encrypted / plain hub    %s)\n", ratio("private-single", "plain-single", "p50_us")
    printf "\nthe plain hub\n"
    printf "  flood per_s %s, %s of the bare relay\n", median("plain-flood", "per_s"), ratio("plain-flood", "bare-flood", "per_s")
    printf "  single p50_us %s p99_us %s, p99 %s of the bare relay\n", median("plain-single", "p50_us"),
      median("plain-single", "p99_us"), ratio("plain-single", "bare-single", "p99_us")
    printf "  resident memory per seat %.0f KiB\n", perSeat("plain-flood")
  }' "$results"
echo "machine: $(uptime)"
