#!/usr/bin/env bash
# Prints what one hostile line costs the conversation pane (many links, a
# long line without spaces, undecodable bytes) and a flood of lines: CPU time
# from TConversation::Add to the line drawn into the pane. Usage: scripts/bench-pane.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target conversation_conversation_test >/dev/null
for run in 1 2 3; do
  QT_QPA_PLATFORM=offscreen PELMORA_TEST_BINARY_DIR="$PWD/$build" \
    "$build/tests/conversation/conversation_conversation_test" --gtest_filter='*HostileLines*' | grep '^\[ pane \]'
done
