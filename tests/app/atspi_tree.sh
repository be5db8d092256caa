#!/usr/bin/env bash
# atspi_tree.sh PROGRAM: atspi_tree.py on its own session bus; skips (77)
# with the reason where Xvfb, the bus or at-spi2 is missing.
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed (xvfb)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "pyatspi is not installed (python3-pyatspi, at-spi2-core)"
dbus-run-session -- true >/dev/null 2>&1 || skip "no session bus can be started (dbus)"
tmp=$(mktemp -d) && chmod 700 "$tmp" && trap 'rm -rf "$tmp"' EXIT
dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/atspi_tree.py" "$1" "$tmp"
