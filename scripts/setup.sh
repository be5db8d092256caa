#!/usr/bin/env bash
# Installs the Debian packages that the build needs (only those missing) and
# builds. Usage: scripts/setup.sh [normal|sanitize|all|fuzz]   (default: normal)
# fuzz: the libFuzzer targets in build-fuzz/, built with clang.
set -euo pipefail
cd "$(dirname "$0")/.."

# install PACKAGE... : installs those that are missing. As root directly;
# otherwise through sudo where there is one. Without it (Debian installed
# with a root password has none), say what to install.
install() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "These Debian packages are missing and sudo is not installed:" >&2
      echo "  ${missing[*]}" >&2
      echo "Install them as root, then run this again:" >&2
      echo "  su -c 'apt-get install ${missing[*]}'" >&2
      exit 1
    fi
  fi
  echo "installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install \
  build-essential cmake ninja-build pkg-config \
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6opengl6-dev libgl-dev \
  qt6-translations-l10n \
  libgtest-dev googletest \
  fonts-ipafont-gothic fontconfig \
  desktop-file-utils appstream dpkg-dev file \
  qt6-gtk-platformtheme lintian xvfb xauth dbus at-spi2-core python3-pyatspi \
  iproute2 nftables procps \
  libssl-dev qtkeychain-qt6-dev

jobs=$(nproc)
build() { # build DIR [cmake args...]
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" -j "$jobs"
}

case "${1:-normal}" in
  normal)   build build ;;
  sanitize) build build-asan -DPELMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug ;;
  all)      build build; build build-asan -DPELMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug ;;
  fuzz)     install clang libfuzzer-14-dev
            CC=clang CXX=clang++ build build-fuzz -DPELMORA_FUZZ=ON ;;
  *) echo "usage: $0 [normal|sanitize|all|fuzz]" >&2; exit 2 ;;
esac
