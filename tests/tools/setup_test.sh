#!/usr/bin/env bash
# Set-up's decisions against a package mirror that misbehaves, with
# apt-get, dpkg, dpkg-query and sudo replaced by stubs on PATH: nothing is
# installed or fetched, as root or as a user. Each case gives the mirror's
# faults and the kernel's answer, and checks the exit code, set-up's words
# and what it asked apt for.
#   setup_test.sh [tools/setup.sh]
set -u
setup=${1:-$(dirname "$0")/../../tools/setup.sh}
. "$(dirname "$0")/checks.sh"

# The stubs keep their state in $STUB: installed (one package a line),
# arch (foreign architectures), calls (each call's arguments), updates (the
# number of updates so far). UPDATE_FAILS: updates that fail before one
# works (always: every one); the failing list is the i386 security list.
# STUB_UNINSTALLABLE: packages apt cannot install; I386_BROKEN=1: no :i386
# package can be installed.
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB/calls"
if [ "$1" = update ]; then
  n=$(( $(cat "$STUB/updates" 2>/dev/null || echo 0) + 1 )); echo $n >"$STUB/updates"
  if [ "$UPDATE_FAILS" = always ] || [ "$n" -le "$UPDATE_FAILS" ]; then
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in progress? [IP: 127.0.0.1 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
  fi
  exit 0
fi
simulate=0; pkgs=()
for a in "${@:2}"; do
  case $a in -s) simulate=1 ;; -*) ;; *) pkgs+=("$a") ;; esac
done
for p in "${pkgs[@]}"; do
  if grep -qx "$p" <<<"${STUB_UNINSTALLABLE:-}"; then
    echo "E: Package '$p' has no installation candidate"; exit 100
  fi
  if [ "${I386_BROKEN:-0}" = 1 ] && [[ $p == *:i386 ]]; then
    echo " libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 but it is not installable"
    echo "E: Unable to correct problems, you have held broken packages."; exit 100
  fi
done
[ $simulate = 1 ] || printf '%s\n' "${pkgs[@]}" >>"$STUB/installed"
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
p=${!#}
grep -qx "$p" "$STUB/installed" 2>/dev/null && printf 'install ok installed' && exit 0
exit 1
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB/calls"
case $1 in
  --print-foreign-architectures) cat "$STUB/arch" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$STUB/arch" ;;
esac
EOF
# npm: each call in $STUB/calls; "installs" the packages named by writing
# their package.json under --prefix; NPM_FAILS=1: the registry says no.
cat >"$work/bin/npm" <<'EOF'
#!/usr/bin/env bash
echo "npm $*" >>"$STUB/calls"
if [ "${NPM_FAILS:-0}" = 1 ]; then echo "npm ERR! code E404"; exit 1; fi
prefix=; take=0
for a in "$@"; do
  if [ $take = 1 ]; then prefix=$a; take=0; continue; fi
  case $a in
    --prefix) take=1 ;;
    -*|install) ;;
    *) mkdir -p "$prefix/node_modules/${a%@*}"
       printf '{\n  "name": "%s",\n  "version": "%s"\n}\n' "${a%@*}" "${a##*@}" >"$prefix/node_modules/${a%@*}/package.json" ;;
  esac
done
EOF
# Run as a user, set-up asks sudo, and sudo's own PATH would reach the real
# apt-get: its stub runs the command with the stubs.
cat >"$work/bin/sudo" <<'EOF'
#!/usr/bin/env bash
exec "$@"
EOF
chmod +x "$work/bin/"*

# Runs set-up in the state directory $1 with the environment given after it.
run_setup() {
  local state=$1; shift
  mkdir -p "$state"
  env -i PATH="$work/bin:/usr/bin:/bin" STUB="$state" TRELM_SETUP_RETRY_SECONDS=0 \
    TRELM_PARQUET_READERS="$state/readers" \
    UPDATE_FAILS=0 "$@" bash "$setup" >"$state/out" 2>&1
  echo $? >"$state/code"
}
out() { cat "$1/out"; }
code() { cat "$1/code"; }
calls() { cat "$1/calls" 2>/dev/null | grep -c -- "$2"; }

# case | environment
cases=(
  "first-update-fails|UPDATE_FAILS=1 TRELM_SETUP_KERNEL32=yes"
  "list-always-fails|UPDATE_FAILS=always TRELM_SETUP_KERNEL32=yes"
  "i386-step-fails|I386_BROKEN=1 TRELM_SETUP_KERNEL32=yes"
  "kernel-refuses-32bit|TRELM_SETUP_KERNEL32=no"
  "base-package-missing|STUB_UNINSTALLABLE=msitools TRELM_SETUP_KERNEL32=yes"
  "npm-refuses|NPM_FAILS=1 TRELM_SETUP_KERNEL32=no"
)
for row in "${cases[@]}"; do
  name=${row%%|*}
  # shellcheck disable=SC2086
  run_setup "$work/$name" ${row#*|}
done

s=$work/first-update-fails
check "an update that fails once is tried again and set-up goes on quietly" \
  '[ "$(code $s)" = 0 ] && ! out $s | grep -q warning &&
   [ "$(head -3 $s/calls | cut -c1-18 | tr "\n" /)" = "apt-get update -q/apt-get update -q/apt-get install -y/" ]'
check "both steps installed: the 32-bit Wine too, after adding i386" \
  'grep -qx msitools $s/installed && grep -qx wine32:i386 $s/installed && grep -qx i386 $s/arch'
check "the Parquet readers are asked of npm once, pinned, into the cache folder" \
  '[ "$(calls $s "^npm install --prefix $s/readers .*@duckdb/node-api@1.5.6-r.1 hyparquet@1.31.5 hyparquet-compressors@1.1.2")" = 1 ] &&
   grep -qx libzstd-dev $s/installed'

s=$work/npm-refuses
check "readers npm cannot give are one line, not a failure" \
  '[ "$(code $s)" = 0 ] && [ "$(out $s | grep -c "Parquet readers cannot be installed: npm ERR! code E404")" = 1 ]'

s=$work/list-always-fails
check "a list that fails three times is a warning naming it" \
  '[ "$(code $s)" = 0 ] && [ "$(calls $s "apt-get update")" -ge 3 ] &&
   out $s | grep -q "warning: package list http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz could not be fetched after 3 tries"'
check "and set-up goes on with the lists it has" 'grep -qx wine64 $s/installed && grep -qx wine32:i386 $s/installed'

s=$work/i386-step-fails
check "a 32-bit Wine that cannot be installed is one line, not a failure" \
  '[ "$(code $s)" = 0 ] && [ "$(out $s | grep -c "32-bit Wine cannot be installed")" = 1 ] &&
   out $s | grep -q "not installable" && out $s | grep -q "wine64 path"'
check "the first step's packages are installed all the same" 'grep -qx wine64 $s/installed && grep -qx cmake $s/installed'
run_setup "$s" TRELM_SETUP_KERNEL32=yes
check "a later run tries the 32-bit step again, and it installs" \
  '[ "$(code $s)" = 0 ] && grep -qx wine32:i386 $s/installed && out $s | grep -q "all packages every path needs are present"'

s=$work/kernel-refuses-32bit
check "a kernel without 32-bit programs skips the 32-bit step and says so" \
  '[ "$(code $s)" = 0 ] && out $s | grep -q "does not run 32-bit programs" &&
   [ "$(calls $s "add-architecture")" = 0 ] && [ "$(calls $s "i386")" = 0 ]'

s=$work/base-package-missing
check "a first-step package that cannot be installed is an error naming it" \
  '[ "$(code $s)" = 1 ] && out $s | grep -q "setup: error: cannot install msitools (needed on every path)"'
check "and the 32-bit step is not tried" '[ "$(calls $s "wine32")" = 0 ]'

s=$work/all-present
mkdir -p "$s"; cp "$work/first-update-fails/installed" "$s/installed"
cp -r "$work/first-update-fails/readers" "$s/readers"
run_setup "$s" TRELM_SETUP_KERNEL32=yes
check "with everything present set-up asks apt for nothing" '[ "$(code $s)" = 0 ] && [ "$(calls $s apt-get)" = 0 ]'
check "nor npm: the pinned readers are there" \
  '[ "$(calls $s npm)" = 0 ] && out $s | grep -q "the Parquet readers are present"'

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
