#!/usr/bin/env bash
# Installs everything the two builds and their tests need, from Debian's packages only.
# Idempotent: when every package is already present it returns after one dpkg query.
#
# The package mirror can be inconsistent for a while (an index of the wrong
# size: "apt-get update" exits 100 although every other list was fetched), so:
#   - the index update is tried a few times with a pause, and then the
#     install goes on with the lists it has;
#   - the 64-bit set is installed first; a package of it that cannot be had
#     ends the run, with its name and apt's own message;
#   - the 32-bit Wine (wine32:i386) comes last.  When apt cannot resolve it
#     (Multi-Arch "same" libraries newer in the security suite for amd64 than
#     for i386), it is tried once more with the security suite pinned below
#     the main suite for that one call.  If that fails too, the machine
#     settles on the 64-only mode: the reason is written to the state file
#     below, which tools/wine-mode.sh reads for its mode line.
# Settings (the bootstrap test uses them to run against a fake apt):
#   KESTRELYN_BOOTSTRAP_STATE     the state file (default build/bootstrap-wine32.txt)
#   KESTRELYN_APT_TRIES           index update tries (default 3)
#   KESTRELYN_APT_PAUSE           seconds between them (default 10)
set -uo pipefail
cd "$(dirname "$0")/.."

state=${KESTRELYN_BOOTSTRAP_STATE:-build/bootstrap-wine32.txt}
tries=${KESTRELYN_APT_TRIES:-3}
pause=${KESTRELYN_APT_PAUSE:-10}
wine32=wine32:i386

packages=(
  python3 cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  wine wine64
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wixl msitools osslsigncode openssl time
  xvfb xauth xdotool x11-apps imagemagick
)
# A machine that runs no 32-bit x86 code can still smoke-test the 32-bit
# installer through qemu-user (see tools/test.sh).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ "$(uname -m)" = x86_64 ]; then
  packages+=(qemu-user-static)
fi

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }

missing=()
have_i386=0
if dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386; then
  have_i386=1
  for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
else
  missing=("${packages[@]}")
fi
need32=1
[ $have_i386 -eq 1 ] && installed $wine32 && need32=0
if [ "${#missing[@]}" -eq 0 ] && [ $need32 -eq 0 ]; then
  rm -f "$state"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "bootstrap: installing $(echo ${missing[*]} $([ $need32 -eq 0 ] || echo $wine32))"
if [ $have_i386 -eq 0 ] && ! $SUDO dpkg --add-architecture i386; then
  echo "bootstrap: dpkg --add-architecture i386 failed" >&2
  exit 1
fi

# The index update: a few tries, then on with what could be fetched.
for ((i = 1; ; i++)); do
  if out=$($SUDO apt-get update -qq 2>&1); then break; fi
  if [ "$i" -ge "$tries" ]; then
    echo "bootstrap: apt-get update failed $i times; going on with the lists it could fetch:"
    grep -E '^(E|W):' <<<"$out" | head -5 | sed 's/^/  /'
    break
  fi
  echo "bootstrap: apt-get update failed (try $i of $tries), again in ${pause}s"
  sleep "$pause"
done

# apt_install LOG [apt options] PACKAGE...: quiet install, apt's output in LOG.
apt_install() {
  local log=$1
  shift
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1
}
# apt_why LOG: apt's own reason, in a line or a few.
apt_why() { grep -E '^E: |Depends:' "$1" | sed 's/^ *//' | head -4 | paste -sd';' | sed 's/;/; /g'; }

log=$(mktemp)
trap 'rm -f "$log" "${prefs:-}"' EXIT
if [ "${#missing[@]}" -gt 0 ] && ! apt_install "$log" "${missing[@]}"; then
  # Name the packages that cannot be had: each one alone.
  failed=()
  for p in "${missing[@]}"; do
    installed "$p" || apt_install "$log.one" "$p" || { failed+=("$p"); cat "$log.one" >>"$log.why"; }
  done
  rm -f "$log.one"
  if [ "${#failed[@]}" -gt 0 ]; then
    echo "bootstrap: cannot install ${failed[*]}:" >&2
    grep -E '^E: |Depends:' "$log.why" | sed 's/^/  /' >&2
    rm -f "$log.why"
    exit 1
  fi
  rm -f "$log.why"
fi

# The 32-bit Wine last: without it the 64-bit suite still runs in full.
[ $need32 -eq 1 ] || exit 0
if apt_install "$log" $wine32; then
  rm -f "$state"
  exit 0
fi
why=$(apt_why "$log")
echo "bootstrap: $wine32 could not be installed ($why); trying again with the security suite pinned below the main suite"
prefs=$(mktemp)
printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$prefs"
# A Multi-Arch "same" library needs one version for both architectures: an
# amd64 one already installed from the security suite, newer than any i386
# list offers, goes back to the i386 candidate in the same call.
twins=()
while read -r p v c; do
  dpkg --compare-versions "$c" lt "$v" && twins+=("$p:amd64=$c")
done < <(
  dpkg-query -W -f='${Package} ${Version} ${Architecture} ${Multi-Arch} ${db:Status-Abbrev}\n' 2>/dev/null \
    | awk '$3 == "amd64" && $4 == "same" && $5 ~ /^ii/ { print $1, $2 }' >"$log.ma"
  cut -d' ' -f1 "$log.ma" | sed 's/$/:i386/' | xargs -r apt-cache -o Dir::Etc::Preferences="$prefs" policy 2>/dev/null \
    | awk 'NR == FNR { v[$1] = $2; next }
           /^[^ ].*:i386:$/ { p = $1; sub(/:i386:$/, "", p) }
           /^  Candidate: / && $2 != "(none)" && (p in v) && $2 != v[p] { print p, v[p], $2 }' "$log.ma" -
  rm -f "$log.ma")
[ "${#twins[@]}" -eq 0 ] || echo "bootstrap: with the i386 versions of ${twins[*]}"
if apt_install "$log" --allow-downgrades -o Dir::Etc::Preferences="$prefs" $wine32 "${twins[@]}"; then
  echo "bootstrap: $wine32 installed with the security suite pinned down"
  rm -f "$state"
  exit 0
fi
why=$(apt_why "$log")
mkdir -p "$(dirname "$state")"
echo "${why:-apt-get install $wine32 failed}" >"$state"
echo "bootstrap: $wine32 cannot be installed here ($why): this machine is tested in the 64-only mode"
exit 0
