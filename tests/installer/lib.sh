# Shared by the installer's end-to-end scripts (sourced, bash).
#
# CTest passes every program as KT_<target> (dashes as underscores), the work
# directory as KT_WORK and the Wine prefix as WINEPREFIX.  Each script gets a
# fresh work directory with tmp/, the installer's temporary directory
# (ZELK_TMPDIR), so that what a run leaves behind there can be checked.
set -uo pipefail
export LC_ALL=C.UTF-8
# "wine", "winepath" and "wineboot" are the build's own (wine-bin/ first on
# PATH, set by CTest): they run the loader that fits the build's programs.
case $(command -v wine) in
*/wine-bin/wine) ;;
*) echo "FAIL wine is $(command -v wine), not the test bench's (run through ctest)"; exit 1 ;;
esac
# The installers' mutex is one per Wine prefix (one wineserver): scripts that
# run installers in the same prefix take turns, also across test runs that
# CTest's resource lock does not see (two ctest commands in one build tree, a
# script run by hand).  The script runs again under flock, which holds the
# lock while it runs; -o keeps the lock's descriptor out of the script, so
# that no Wine process it starts (services outlive it) goes on holding it.
kt_lock=${WINEPREFIX:?not set: run through ctest}
kt_lock=${kt_lock%/}.installer-lock
if [ "${KT_PREFIX_LOCK:-}" != "$kt_lock" ]; then
  flock -n -o "$kt_lock" true 2>/dev/null || echo "waiting for another installer test on $WINEPREFIX"
  export KT_PREFIX_LOCK=$kt_lock
  exec flock -o -w 900 "$kt_lock" "$0" "$@"
fi
# Without a display a message box returns at once: nothing here may wait on one.
unset DISPLAY
work=$KT_WORK
rm -rf "$work"
mkdir -p "$work/tmp"
tmp=$work/tmp
fails=0
out=$work/stdout.txt err=$work/stderr.txt
# The build's winepath adds every path it could not convert here (finish fails then).
export ZELK_WINEPATH_FAILURES=$work/winepath-failures.txt
wout=$(winepath -w "$out") werr=$(winepath -w "$err")
wtmp=$(winepath -w "$tmp")
export ZELK_TMPDIR=$wtmp

# run [--cwd DIR] PROGRAM ARGS...: sets $code, $stdout and $stderr (CRs removed).
run() {
  local cwd=()
  if [ "$1" == --cwd ]; then cwd=(--cwd "$(winepath -w "$2")"); shift 2; fi
  local said try
  for try in 1 2; do
    rm -f "$out" "$err"
    said=$(wine "$KT_launch" --stdout "$wout" --stderr "$werr" --timeout 120000 "${cwd[@]}" -- "$@" </dev/null \
           2>"$work/wine-stderr.txt" | tr -d '\r')
    # The launcher always says something ("exit code: N", "timeout" or what
    # failed); nothing at all means Wine did not start it.  That is the
    # bench's fault, not the program's: say so, with Wine's own words, and
    # run it once more.  So is a CreateProcessW that Wine refuses with an
    # internal error (1359) under load.
    [[ -z "$said" || "$said" == "launch: CreateProcessW failed: 1359"* ]] && [ "$try" == 1 ] || break
    echo "note: Wine did not start the launcher for $(basename "$1"); again. Wine said:"
    tail -n 5 "$work/wine-stderr.txt" | sed 's/^/  /'
  done
  code=$(sed -n 's/^exit code: //p;s/^timeout$/timeout/p' <<<"$said")
  stdout=$(tr -d '\r' < "$out" 2>/dev/null)
  stderr=$(tr -d '\r' < "$err" 2>/dev/null)
}

ok() { echo "ok   $1"; }
fail() { echo "FAIL $1"; fails=$((fails + 1)); }

# check NAME EXPECTED ACTUAL
check() {
  if [ "$2" == "$3" ]; then ok "$1"; else
    fail "$1"; echo "  expected: $(printf '%q' "$2")"; echo "  actual:   $(printf '%q' "$3")"; fi
}

# matches NAME REGEX ACTUAL (extended regular expression, whole text)
matches() {
  if [[ "$3" =~ ^$2$ ]]; then ok "$1"; else
    fail "$1"; echo "  pattern: $2"; echo "  actual:  $(printf '%q' "$3")"; fi
}

# check_run NAME CODE STDOUT STDERR: the last run's results.
check_run() {
  if [ "$code" == "$2" ] && [ "$stdout" == "$3" ] && [ "$stderr" == "$4" ]; then ok "$1"; else
    fail "$1"
    [ "$code" == "$2" ] || echo "  exit code: expected $2, got $code"
    [ "$stdout" == "$3" ] || { echo "  stdout expected: $(printf '%q' "$3")"; echo "  stdout actual:   $(printf '%q' "$stdout")"; }
    [ "$stderr" == "$4" ] || { echo "  stderr expected: $(printf '%q' "$4")"; echo "  stderr actual:   $(printf '%q' "$stderr")"; }
    unexpected_mutex "$4" "$stderr"
  fi
}

# prefix_programs: the Windows programs running in this Wine prefix, Wine's
# own services left out, one "pid: command line" a line.
prefix_programs() {
  local d cmd
  for d in /proc/[0-9]*; do
    tr '\0' '\n' 2>/dev/null < "$d/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    cmd=$(tr '\0' ' ' 2>/dev/null < "$d/cmdline" | sed 's/ *$//')
    case $cmd in
    *'.exe'*) ;;
    *) continue ;;
    esac
    case $cmd in
    *'\services.exe'* | *'\winedevice.exe'* | *'\plugplay.exe'* | *'\svchost.exe'* | *'\rpcss.exe'* \
      | *'\explorer.exe'* | *'\conhost.exe'*) continue ;;
    esac
    echo "${d#/proc/}: $cmd"
  done
}

# unexpected_mutex EXPECTED-STDERR STDERR: when a run found the installers'
# mutex taken and was not meant to, names what runs in the prefix (the holder
# is among them).
unexpected_mutex() {
  [[ "$2" == *"Another installer is already running"* && "$1" != *"Another installer is already running"* ]] || return 0
  echo "  the mutex was taken; running in the prefix:"
  prefix_programs | sed 's/^/    /'
}

# listing DIR: the names in DIR, sorted, space-separated.
listing() { (cd "$1" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'); }

# tmp_empty NAME: nothing is left in the installer's temporary directory.
tmp_empty() { check "$1: temporary directory empty" "" "$(listing "$tmp")"; }
clear_tmp() { rm -rf "$tmp" && mkdir -p "$tmp"; }

# same_file NAME PACKAGE FILE: the extracted FILE is byte for byte the package.
same_file() {
  if cmp -s "$KT_PACKAGES/$2" "$3"; then ok "$1"; else fail "$1: $3 differs from $2"; fi
}

# exe NAME: the file name of a program, as the messages print it.
exe() { basename "$1"; }

finish() {
  if [ -s "$ZELK_WINEPATH_FAILURES" ]; then
    fail "every Windows path was converted"
    sed 's/^/  /' "$ZELK_WINEPATH_FAILURES"
  fi
  echo
  echo "$(basename "$0"): $fails failed"
  exit "$fails"
}
