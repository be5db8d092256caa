#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary folder and
# checks it as a distribution would: lintian finds no error and no warning
# (justified ones are overridden in data/debian/lintian-overrides).
# Skips (77) where lintian or the package tools are missing.
# Usage: package_lint.sh BUILD_DIR
set -u
skip() { echo "SKIP: $*"; exit 77; }
for tool in lintian cpack dpkg-shlibdeps; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$1/CPackConfig.cmake" -G DEB -B "$tmp" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/pelmora_*.deb)
lintian --fail-on error,warning --pedantic --info "$deb" 2>&1 | grep -v '^running with root privileges'
exit "${PIPESTATUS[0]}"
