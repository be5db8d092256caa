#!/usr/bin/env bash
# Set up, build and start the chat window. Extra arguments go to the program
# (an address to join at start-up).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh normal
exec build/app/pelmora "$@"
