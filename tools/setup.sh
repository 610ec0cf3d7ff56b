#!/usr/bin/env bash
# Installs what the toolset's build, tests and demo need on Debian 12.
# Safe to run again: it installs only what is missing.
#
# Two steps, so that a mirror that cannot give everything still leaves a
# machine that builds and tests:
#   1. the packages every path needs, in one step; one that cannot be
#      installed is an error naming it (exit 1);
#   2. the 32-bit Wine (with the i386 architecture), only where the kernel
#      runs 32-bit programs. Where it cannot be installed one line says why
#      and the scripts take the wine64 path (tools/common.sh); the next run
#      of set-up tries it again;
#   3. the Parquet readers that test pktdump parquet (DuckDB's Node package,
#      hyparquet): Node.js and npm from Debian where there is no npm, then
#      the readers at pinned versions from the npm registry into a cache
#      folder, build/parquet-readers (TRELM_PARQUET_READERS names another).
#      Where they cannot be had one line says so: only that test needs them.
# A package list that still fails after three tries of `apt-get update` is a
# warning naming it: set-up goes on with the lists it has.
set -euo pipefail

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then echo sudo; else
      echo "setup: must run as root (or with sudo) to install packages" >&2; exit 1
    fi
  fi
}

SUDO=$(need_root)
export DEBIAN_FRONTEND=noninteractive

# Step 1: every path needs these (prometheus for its promtool, which the
# tests check Varnet's metrics file with).
BASE_PACKAGES=(
  cmake ninja-build g++ make
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine
  xvfb x11-utils xauth imagemagick file
  googletest libzstd-dev zstd
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev xdotool
  tshark strace linux-perf time
  msitools wixl zip unzip chromium
  dpkg-dev debian-archive-keyring
  prometheus
)
# Step 2: the 32-bit Wine.
WINE32_PACKAGES=(wine32:i386)
# Step 3: the Parquet readers, pinned.
PARQUET_READERS=(@duckdb/node-api@1.5.6-r.1 hyparquet@1.31.5 hyparquet-compressors@1.1.2)
readers=${TRELM_PARQUET_READERS:-$(cd "$(dirname "$0")/.." && pwd)/build/parquet-readers}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

# Does the kernel run 32-bit x86 programs? Runs a 93-byte 32-bit ELF that
# exits with 7. TRELM_SETUP_KERNEL32=yes|no answers instead (tests).
kernel_runs_32bit() {
  case "${TRELM_SETUP_KERNEL32:-}" in
    yes) return 0 ;; no) return 1 ;;
  esac
  [ "$(uname -m)" = x86_64 ] || return 1
  local probe rc=0
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xb3\x07\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ "$rc" -eq 7 ]
}

# apt-get update, tried up to three times. What still fails is a warning
# naming each list; set-up goes on with the lists that arrived.
update_lists() {
  local try out
  for try in 1 2 3; do
    if out=$($SUDO apt-get update -q 2>&1); then
      return 0
    fi
    [ "$try" -lt 3 ] && sleep "${TRELM_SETUP_RETRY_SECONDS:-5}"
  done
  local failed
  failed=$(printf '%s\n' "$out" | sed -n -E 's/^(W|E): Failed to fetch ([^ ]+).*/\2/p' | sort -u)
  if [ -n "$failed" ]; then
    while read -r list; do
      echo "setup: warning: package list $list could not be fetched after 3 tries; going on with the lists that arrived" >&2
    done <<<"$failed"
  else
    echo "setup: warning: apt-get update failed 3 times; going on with the lists that arrived:" >&2
    printf '%s\n' "$out" | grep -E '^(W|E):' | sed 's/^/setup:   /' >&2 || true
  fi
  return 0
}

# Installs the packages named; on failure prints apt's complaint and names
# each package that apt cannot install by itself.
install_packages() {
  local out
  if out=$($SUDO apt-get install -y -q --no-install-recommends "$@" 2>&1); then
    return 0
  fi
  printf '%s\n' "$out" | grep -E '^(E:| .* : )' | sed 's/^/setup:   /' >&2 || true
  local p bad=()
  for p in "$@"; do
    $SUDO apt-get install -s -q --no-install-recommends "$p" >/dev/null 2>&1 || bad+=("$p")
  done
  UNINSTALLABLE=("${bad[@]+"${bad[@]}"}")
  return 1
}

updated=0
ensure_lists() {
  if [ "$updated" -eq 0 ]; then update_lists; updated=1; fi
}

# Step 1.
mapfile -t missing < <(missing_of "${BASE_PACKAGES[@]}")
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  ensure_lists
  UNINSTALLABLE=()
  if ! install_packages "${missing[@]}"; then
    if [ "${#UNINSTALLABLE[@]}" -gt 0 ]; then
      echo "setup: error: cannot install ${UNINSTALLABLE[*]} (needed on every path)" >&2
    else
      echo "setup: error: cannot install ${missing[*]} together (needed on every path)" >&2
    fi
    exit 1
  fi
else
  echo "setup: all packages every path needs are present"
fi

# Step 2.
mapfile -t missing32 < <(missing_of "${WINE32_PACKAGES[@]}")
if [ "${#missing32[@]}" -eq 0 ]; then
  echo "setup: the 32-bit Wine is present"
elif ! kernel_runs_32bit; then
  echo "setup: this kernel does not run 32-bit programs; not installing the 32-bit Wine (the scripts take the wine64 path)"
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  ensure_lists
  echo "setup: installing ${missing32[*]}"
  UNINSTALLABLE=()
  if ! install_packages "${missing32[@]}" >/dev/null 2>/tmp/trelm-setup-wine32.$$; then
    # The most telling of apt's lines: a package missing from the lists
    # before one that merely follows from it.
    reason=
    for pattern in 'not installable|has no installation candidate|Unable to locate' \
        'not going to be installed' '^setup: +E:'; do
      reason=$(grep -m1 -E "$pattern" /tmp/trelm-setup-wine32.$$ | sed -E 's/^setup: +//; s/^ +//' || true)
      [ -z "$reason" ] || break
    done
    echo "setup: the 32-bit Wine cannot be installed from this mirror (${reason:-apt-get install failed}); the scripts take the wine64 path, and the next set-up tries again"
  fi
  rm -f /tmp/trelm-setup-wine32.$$
fi

# Step 3. A Node.js of its own (as from NodeSource) brings npm: Debian's npm
# is installed only where there is none.
readers_present() {
  local pinned
  for pinned in "${PARQUET_READERS[@]}"; do
    grep -q "\"version\": \"${pinned##*@}\"" "$readers/node_modules/${pinned%@*}/package.json" 2>/dev/null || return 1
  done
}
if readers_present; then
  echo "setup: the Parquet readers are present"
else
  if ! command -v npm >/dev/null 2>&1; then
    ensure_lists
    echo "setup: installing nodejs npm"
    install_packages nodejs npm >/dev/null 2>&1 || true
  fi
  echo "setup: installing ${PARQUET_READERS[*]} into $readers"
  mkdir -p "$readers"
  if ! command -v npm >/dev/null 2>&1; then
    echo "setup: the Parquet readers cannot be installed: there is no npm (the pktdump_parquet test needs them)"
  elif ! npm install --prefix "$readers" --no-audit --no-fund --loglevel=error "${PARQUET_READERS[@]}" \
      >/tmp/trelm-setup-npm.$$ 2>&1; then
    echo "setup: the Parquet readers cannot be installed: $(grep -m1 -E 'ERR|error' /tmp/trelm-setup-npm.$$ || echo 'npm install failed') (the pktdump_parquet test needs them)"
  fi
  rm -f /tmp/trelm-setup-npm.$$
fi
