#!/usr/bin/env bash
# The main window as a screen reader reads it: the program runs on a virtual
# display with its own session bus, and atspi_tree.py walks its tree through
# at-spi2. Skips (77) with the reason where a piece is missing.
# Usage: atspi_tree.sh PROGRAM
set -u
skip() { echo "SKIP: $*"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed (package xvfb)"
command -v dbus-run-session >/dev/null 2>&1 || skip "dbus-run-session is not installed (package dbus)"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "the accessibility bus is not installed (package at-spi2-core)"
"$py" -c 'import pyatspi' >/dev/null 2>&1 || skip "pyatspi is not installed (package python3-pyatspi)"
dbus-run-session -- true >/dev/null 2>&1 || skip "no session bus can be started"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 700 "$tmp"
dbus-run-session -- "$py" "$here/atspi_tree.py" "$1" "$tmp"
