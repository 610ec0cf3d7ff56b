#!/usr/bin/env bash
# Installs what the toolset's build, tests and demo need on Debian 12.
# Safe to run again: it installs only what is missing.
set -euo pipefail

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then echo sudo; else
      echo "setup: must run as root (or with sudo) to install packages" >&2; exit 1
    fi
  fi
}

SUDO=$(need_root)

# Packages the toolset needs. The i386 packages need the i386 architecture.
PACKAGES=(
  cmake ninja-build g++ make
  mingw-w64 g++-mingw-w64-i686-posix
  wine wine32:i386 wine64 fonts-wine
  xvfb x11-utils xauth imagemagick file
  googletest
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev xdotool
  tshark strace linux-perf time
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
