#!/usr/bin/env bash
# Builds the Debian package (build/pelmora_VERSION_ARCH.deb) and installs it
# with apt, which brings in the Qt libraries it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh normal
(cd build && cpack -G DEB)
deb=$(ls -t build/pelmora_*.deb | head -n 1)
if [ "$(id -u)" -eq 0 ]; then
  apt-get install -y "./$deb"
elif command -v sudo >/dev/null 2>&1; then
  sudo apt-get install -y "./$deb"
else
  echo "Install the package as root: su -c 'apt-get install $PWD/$deb'" >&2
  exit 1
fi
