#!/usr/bin/env bash
# wine-bench.sh start|stop PREFIX [ARCH]
# start: creates the prefix on first use (wineboot -i; ARCH win32 makes a
#        32-bit one) and leaves one wineserver running for the test run.
# stop:  shuts that wineserver down.
# "wine" and "wineboot" are the build's own (build/<preset>/wine-bin first on
# PATH, as CTest and the scripts set it): they run the loader that fits the
# build, so a 64-bit build's prefix is made by wine64 alone.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
arch=${3:-}

case "$action" in
start)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    rm -rf "$WINEPREFIX"
    [ -z "$arch" ] || export WINEARCH=$arch
    # Wine asks for Mono/Gecko on a new prefix; nothing here needs them.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # The server and Wine's helper processes outlive this script: they must not
  # hold the test runner's output pipes open, or it waits for them.
  # A server already running for this prefix (say, from a run by hand) serves as well.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: wine-bench.sh start|stop PREFIX [ARCH]" >&2
  exit 2
  ;;
esac
