#!/usr/bin/env bash
# The cleanup and the single-instance mutex.  A normal run cleans up in one
# pass without sleeping; a package that another process holds open without
# delete sharing makes the cleanup retry after 100 ms and three times 3 s,
# report the file once and leave it; a retry deletes only the package, not
# another file put under its name.  Meanwhile the running installer holds
# the mutex, and a second one refuses to start.  The sleeps are read from
# Wine's trace of the calls into kernel32, not from the clock.
source "$(dirname "$0")/lib.sh"

# The installer's sleeps (ms, in order) in the trace of the last traced run.
sleeps() { sed -n 's/.*Call KERNEL32\.Sleep(\([0-9a-f]*\)).*/\1/p' "$work/relay.txt" | while read -r h; do printf '%d ' "0x$h"; done | sed 's/ $//'; }
# run() throws the launcher's own standard error away; this keeps Wine's trace
# of the calls, and leaves the exit code in code.txt for runs in the background.
run_traced() {
  rm -f "$out" "$err"
  WINEDEBUG=-all,+relay wine "$KT_launch" --stdout "$wout" --stderr "$werr" --timeout 120000 -- "$@" </dev/null \
    2>"$work/relay.txt" | tr -d '\r' | sed -n 's/^exit code: //p' > "$work/code.txt"
  code=$(cat "$work/code.txt")
  stdout=$(tr -d '\r' < "$out" 2>/dev/null)
  stderr=$(tr -d '\r' < "$err" 2>/dev/null)
}

# A normal run: one pass, no sleep.
run_traced "$KT_inst_one" --silent
check_run "normal run" 0 "" ""
check "normal run: no sleep" "" "$(sleeps)"
tmp_empty "normal run"
run_traced "$KT_inst_any" --silent
check_run "normal run, two packages" 0 "" ""
check "normal run, two packages: no sleep" "" "$(sleeps)"
tmp_empty "normal run, two packages"

# A package held open by another process (read and write shared, delete not).
# A file of that name planted beforehand would stop the run (it can't be
# removed), so the holder grabs the package as soon as the installer has made
# it, while the large package after it is still being written and verified.
# The --path is one the installer makes: it works there directly.
# hold_new DIR: a holder that grabs DIR/held.msi as soon as it exists ($holder),
# started and polling.
hold_new() {
  dir=$1
  wheld=$(winepath -w "$dir/held.msi")
  rm -f "$work/held.ready" "$work/held.ready.polling"
  wine "$KT_fsprobe" hold-new "$wheld" 30000 "$(winepath -w "$work/held.ready")" </dev/null >/dev/null 2>&1 &
  holder=$!
  for _ in $(seq 600); do [ -e "$work/held.ready.polling" ] && break; sleep 0.05; done
}
hold_new "$work/held"

run_traced "$KT_inst_held" --silent --path "$(winepath -w "$dir")" &
first=$!
for _ in $(seq 600); do [ -e "$work/held.ready" ] && break; sleep 0.05; done
[ -e "$work/held.ready" ] && ok "file held by a second process" || fail "the holder never opened the file"
# Once the package is written the first installer is well past its mutex.
msisize=$(stat -c %s "$KT_PACKAGES/KestrelynTest.msi")
for _ in $(seq 300); do [ "$(stat -c %s "$dir/held.msi")" == "$msisize" ] && break; sleep 0.05; done
wine "$KT_launch" --stdout "$(winepath -w "$work/second-out.txt")" --stderr "$(winepath -w "$work/second-err.txt")" \
  -- "$KT_QornStub" --silent </dev/null 2>/dev/null | tr -d '\r' > "$work/second-code.txt"
check "second instance during the first: exit code" "exit code: 1" "$(cat "$work/second-code.txt")"
check "second instance during the first: message" \
  "$(exe "$KT_QornStub"): error: Another installer is already running" "$(tr -d '\r' < "$work/second-err.txt")"
check "second instance: the first one is still running" "running" "$(kill -0 $first 2>/dev/null && echo running)"
wait $first
# The first run went on in a subshell: its results are in the files it left.
check "held file: exit code (the cleanup's trouble is not the run's)" 0 "$(cat "$work/code.txt")"
stderr=$(tr -d '\r' < "$err")
check "held file: reported once, in the last pass" \
  "$(exe "$KT_inst_held"): error: Failed to delete temporary file '$wheld': KERR_SHARING_VIOLATION" "$stderr"
check "held file: sleeps between the passes" "100 3000 3000 3000" "$(sleeps)"
check "held file: the file stays, the other package is gone" "held.msi" "$(listing "$dir")"
same_file "held file: it is the verified package" KestrelynTest.msi "$dir/held.msi"
kill $holder 2>/dev/null
wait $holder 2>/dev/null

# The same package, swapped for another file between the passes: once the
# first pass is over (the other package is gone) the holder lets go and a
# file of someone else's takes the package's name.  The retries look the
# name up below the directory's handle and find another file ID there: that
# file is left alone and reported, and the package, moved away, is not
# touched either.
hold_new "$work/swapped"
run_traced "$KT_inst_held" --silent --path "$(winepath -w "$dir")" &
first=$!
for _ in $(seq 600); do [ -e "$dir/after.cab" ] && break; sleep 0.05; done
for _ in $(seq 1200); do [ -e "$dir/after.cab" ] || break; sleep 0.05; done
kill $holder 2>/dev/null
wait $holder 2>/dev/null
mv "$dir/held.msi" "$work/ours.msi"
printf 'swapped in' > "$dir/held.msi"
wait $first
check "swapped file: exit code" 0 "$(cat "$work/code.txt")"
check "swapped file: reported once, in the last pass" \
  "$(exe "$KT_inst_held"): error: Failed to delete temporary file '$wheld': KERR_MISMATCH" "$(tr -d '\r' < "$err")"
check "swapped file: every pass was made" "100 3000 3000 3000" "$(sleeps)"
check "swapped file: the file under the name is left alone" "swapped in" "$(cat "$dir/held.msi")"
same_file "swapped file: the package moved away is left alone" KestrelynTest.msi "$work/ours.msi"
check "swapped file: nothing else is left" "held.msi" "$(listing "$dir")"

# The mutex held by any other process.
wine "$KT_fsprobe" hold-mutex 'Global\QornStubInstaller' 30000 "$(winepath -w "$work/mutex.ready")" </dev/null >/dev/null 2>&1 &
holder=$!
for _ in $(seq 300); do [ -e "$work/mutex.ready" ] && break; sleep 0.1; done
clear_tmp
run "$KT_inst_one" --silent
check_run "mutex held elsewhere" 1 "" "$(exe "$KT_inst_one"): error: Another installer is already running"
tmp_empty "mutex held elsewhere"
run "$KT_inst_one" --silent --extract
check_run "mutex held elsewhere, extract-only" 1 "" "$(exe "$KT_inst_one"): error: Another installer is already running"
tmp_empty "mutex held elsewhere, extract-only"
# Command-line errors end the run before the mutex is asked for.
run "$KT_inst_one" --silent --bogus
check_run "command-line error while the mutex is held" 2 "" "$(exe "$KT_inst_one"): error: Unknown option: '--bogus'"
kill $holder 2>/dev/null
wait $holder 2>/dev/null
run "$KT_inst_one" --silent
check_run "mutex free again" 0 "" ""

finish
