#!/usr/bin/env bash
# package_lint.sh BUILD_DIR: the Debian package from the build tree passes
# lintian without errors or warnings (justified ones are overridden in
# data/debian/lintian-overrides); skips (77) without lintian.
command -v lintian >/dev/null && command -v dpkg-shlibdeps >/dev/null || { echo "SKIP: lintian is not installed"; exit 77; }
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
cpack --config "$1/CPackConfig.cmake" -G DEB -B "$tmp" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
lintian --fail-on error,warning --pedantic --info "$tmp"/pelmora_*.deb 2>&1 | grep -v '^running with root'
exit "${PIPESTATUS[0]}"
