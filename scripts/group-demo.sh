#!/usr/bin/env bash
# Starts a small group on this machine: a hub on 127.0.0.2 and two peers on
# 127.0.0.3 and 127.0.0.4 that join it at start-up. Each runs from its own
# copy of the program (one instance per executable file name) with its own
# settings folder and nick name, so you can watch the group form, talk, lose
# its hub and regroup. Close the windows to end; Ctrl+C ends all three.
#
#   scripts/group-demo.sh            (builds first if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/app/pelmora ] || scripts/setup.sh normal

demo=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-demo.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true' INT TERM

start() { # start NAME ADDRESS NICK LEFT [JOIN]
  local name=$1 addr=$2 nick=$3 left=$4 join=${5:-}
  local home="$demo/$name"
  mkdir -p "$home/config/tovanit" "$home/logs"
  cp build/app/pelmora "$home/$name"
  printf '[position]\nLeft=%s\nTop=100\nWidth=420\nHeight=360\n\n[user]\nname=%s\n' \
    "$left" "$nick" > "$home/config/tovanit/pelmora.conf"
  ( cd "$home/logs" && PELMORA_ADDRESS=$addr XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
      exec "$home/$name" ${join:+"$join"} ) &
  echo "started $name as $nick on $addr${join:+, joining $join}"
}

start pelmora-hub 127.0.0.2 "ハブ" 20
sleep 1   # let the hub open its listener before the others call it
start pelmora-peer1 127.0.0.3 "いちろう" 460 127.0.0.2
start pelmora-peer2 127.0.0.4 "はなこ" 900 127.0.0.2
echo "logs and settings under $demo"
wait
