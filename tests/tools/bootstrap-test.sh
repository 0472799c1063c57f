#!/usr/bin/env bash
# bootstrap-test.sh WORKDIR: tools/bootstrap.sh against a fake apt-get,
# apt-cache, dpkg, dpkg-query and sudo first on PATH, in the ways a broken
# package mirror fails: what it tries, in which order, and which mode
# tools/wine-mode.sh then settles on.  Nothing here reaches the real system:
# the fakes keep their "installed" list in WORKDIR.
set -uo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work/bin"
fails=0
ok() { echo "ok   $1"; }
fail() { echo "FAIL $1"; fails=$((fails + 1)); }
check() {
  if [ "$2" == "$3" ]; then ok "$1"; else
    fail "$1"; echo "  expected: $(printf '%q' "$2")"; echo "  actual:   $(printf '%q' "$3")"; fi
}
contains() {
  if [[ "$3" == *"$2"* ]]; then ok "$1"; else
    fail "$1: no $(printf '%q' "$2") in:"; printf '%s\n' "$3" | sed 's/^/  /'; fi
}

# One fake for every command; it acts on its name and on $FAKE (the scenario):
#   update    "fail": exits 100 with the mirror's message; else 0
#   wine32    "fail": wine32:i386 is unresolvable unless pinned and given its
#             twins; "never": unresolvable whatever is asked; else installs
#   missing   a package no list has
cat >"$work/bin/fake" <<'FAKE'
#!/usr/bin/env bash
me=$(basename "$0")
echo "$me $*" >>"$FAKE_DIR/calls"
installed=$FAKE_DIR/installed
has() { grep -qxF "$1" "$installed" 2>/dev/null; }
case $me in
sudo) exec "$@" ;;
dpkg)
  case $1 in
  --print-foreign-architectures) has arch:i386 && echo i386 ;;
  --add-architecture) echo "arch:$2" >>"$installed" ;;
  --compare-versions) [ "$3" != lt ] || [[ "$2" < "$4" ]] ;;
  *) exit 2 ;;
  esac ;;
dpkg-query)
  # -W -f=FORMAT [PACKAGE]
  if [ $# -eq 3 ]; then has "$3" && echo "install ok installed"; exit 0; fi
  has libfoo-twin && echo "libfoo 1.2+security amd64 same ii " ;;
apt-cache)
  for a; do case $a in libfoo:i386) printf 'libfoo:i386:\n  Installed: (none)\n  Candidate: 1.1\n' ;; esac; done ;;
apt-get)
  if [ "$1" == update ]; then
    [ "${FAKE_UPDATE:-}" != fail ] && exit 0
    echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
    exit 100
  fi
  pinned=0 twin=0 pkgs=()
  for a in "${@:2}"; do
    case $a in
    -o) ;;
    Dir::Etc::Preferences=*) grep -q 'Pin: release l=Debian-Security' "${a#*=}" && pinned=1 ;;
    libfoo:amd64=1.1) twin=1 ;;
    -*) ;;
    *) pkgs+=("$a") ;;
    esac
  done
  for p in "${pkgs[@]}"; do
    if [ "$p" == "${FAKE_MISSING:-}" ]; then echo "E: Unable to locate package $p"; exit 100; fi
    if [ "$p" == wine32:i386 ] && { [ "${FAKE_WINE32:-}" == never ] ||
        { [ "${FAKE_WINE32:-}" == fail ] && [ $pinned$twin != 11 ]; }; }; then
      echo " libwine:i386 : Depends: libfoo:i386 (>= 1.0) but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages."
      exit 100
    fi
  done
  printf '%s\n' "${pkgs[@]}" >>"$installed" ;;
esac
FAKE
chmod +x "$work/bin/fake"
for c in sudo dpkg dpkg-query apt-cache apt-get; do ln -s fake "$work/bin/$c"; done

# scenario NAME [VAR=VALUE...]: runs the bootstrap in a fresh fake system,
# sets $out, $rc, $calls, $mode (the mode line tools/wine-mode.sh gives).
scenario() {
  local name=$1
  shift
  export FAKE_DIR=$work/$name
  mkdir -p "$FAKE_DIR"
  : >"$FAKE_DIR/calls"
  echo libfoo-twin >"$FAKE_DIR/installed"
  out=$(env "$@" PATH="$work/bin:$PATH" KESTRELYN_BOOTSTRAP_STATE="$FAKE_DIR/state" \
    KESTRELYN_APT_PAUSE=0 "$src/tools/bootstrap.sh" 2>&1)
  rc=$?
  calls=$(cat "$FAKE_DIR/calls")
  # The mode as the test command would see it: the 32-bit loader counts as
  # present when the fake installed wine32.
  local loader=$FAKE_DIR/no-loader
  grep -qxF wine32:i386 "$FAKE_DIR/installed" && loader=/bin/true
  mode=$(cd "$src" && env -u ZELK_WINE_MODE -u KESTRELYN_NO_32BIT ZELK_WINE32_LOADER=$loader \
    KESTRELYN_BOOTSTRAP_STATE="$FAKE_DIR/state" bash -c '. tools/wine-mode.sh; echo "$ZELK_WINE_MODE ($ZELK_WINE_MODE_WHY)"')
}
# installs: the apt-get install calls, packages only, one line each
installs() { sed -n 's/^apt-get install //p' <<<"$calls" | tr ' ' '\n' | grep -v '^-' | grep -v '^Dir::' \
  | grep -v '^-o$' | paste -sd' ' | sed 's/ \(wine32:i386\)/\n\1/g'; }
updates() { grep -c '^apt-get update' <<<"$calls"; }
runs32=0
/lib/ld-linux.so.2 --version >/dev/null 2>&1 && runs32=1

# The mirror as seen this week: the update fails, wine32 needs the pin and its twin.
scenario broken FAKE_UPDATE=fail FAKE_WINE32=fail
check "broken index: bootstrap succeeds" 0 "$rc"
check "broken index: three update tries" 3 "$(updates)"
contains "broken index: says it goes on" "going on with the lists it could fetch" "$out"
check "broken index: 64-bit set first, then wine32 alone" "wine32:i386" "$(installs | tail -n +2 | head -1)"
contains "broken index: pinned retry" "Dir::Etc::Preferences=" "$(grep 'apt-get install.*wine32' <<<"$calls" | tail -1)"
contains "broken index: twin taken back to the i386 version" "libfoo:amd64=1.1" "$(grep 'apt-get install.*wine32' <<<"$calls" | tail -1)"
check "broken index: no state left" "" "$(cat "$FAKE_DIR/state" 2>/dev/null)"
if [ $runs32 -eq 1 ]; then
  check "broken index: mode" "both (this machine runs 32-bit x86 code)" "$mode"
fi

# wine32 cannot be had at all: the 64-only mode, and why.
scenario never FAKE_UPDATE=fail FAKE_WINE32=never
check "no wine32: bootstrap succeeds" 0 "$rc"
check "no wine32: tried twice" 2 "$(grep -c 'apt-get install.*wine32' <<<"$calls")"
contains "no wine32: says so" "this machine is tested in the 64-only mode" "$out"
if [ $runs32 -eq 1 ]; then
  check "no wine32: mode" "64-only (the 32-bit Wine could not be installed: libwine:i386 : Depends: libfoo:i386 (>= 1.0) but it is not going to be installed; E: Unable to correct problems, you have held broken packages.)" "$mode"
fi

# A package the run needs and no list has: the run ends, naming it.
scenario missing FAKE_UPDATE=fail FAKE_MISSING=wixl
check "missing package: bootstrap fails" 1 "$rc"
contains "missing package: named" "cannot install wixl" "$out"
contains "missing package: apt's message" "E: Unable to locate package wixl" "$out"
check "missing package: wine32 not tried" 0 "$(grep -c 'apt-get install.*wine32' <<<"$calls")"

# The mirror has recovered: one update, one install each, no pin.
scenario recovered
check "recovered: bootstrap succeeds" 0 "$rc"
check "recovered: one update" 1 "$(updates)"
check "recovered: no pin" 0 "$(grep -c 'Preferences' <<<"$calls")"
check "recovered: two installs" 2 "$(grep -c '^apt-get install' <<<"$calls")"

# Everything present (the recovered system again): no apt at all.
: >"$FAKE_DIR/calls"
out=$(PATH="$work/bin:$PATH" KESTRELYN_BOOTSTRAP_STATE="$FAKE_DIR/state" "$src/tools/bootstrap.sh" 2>&1)
rc=$?
check "installed: bootstrap succeeds quietly" "0:" "$rc:$out"
check "installed: apt not called" 0 "$(grep -c '^apt' "$FAKE_DIR/calls")"

echo "bootstrap-test: $fails failed"
exit "$fails"
