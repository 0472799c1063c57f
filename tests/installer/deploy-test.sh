#!/usr/bin/env bash
# What deployment tools read: the exit codes under --msi-exit-codes, the
# single-instance lock held by a real install (a custom action of the test
# package keeps the first installer running) with and without --wait, an
# installer with nothing for this host, and --wait's refusals.
source "$(dirname "$0")/lib.sh"
n=$(exe "$KT_inst_msi")
remove_product() { run "$1" --silent --no-silent-cert --msiparams REMOVE=ALL; }

# The Windows Installer's own answer for a corrupt package (Wine: 1627).
for opt in "" --msi-exit-codes -msi-exit-codes /msi-exit-codes; do
  run "$KT_bad_msi" --silent --no-silent-cert $opt
  matches "corrupt package ${opt:-without option}: exit code and message" \
    "$([ -n "$opt" ] && echo '16[0-9][0-9]' || echo 1) $(exe "$KT_bad_msi"): error: Installation failed! Error: [^0-9].+" \
    "$code $stderr"
done
tmp_empty "corrupt package"

# A package set with nothing for this host (a 64-bit prefix is a 64-bit host).
run "$KT_inst_x86_only" --silent --no-silent-cert
check_run "x86 only on a 64-bit host" 1 "" "$(exe "$KT_inst_x86_only"): error: This installer has no package for this host (amd64)."
tmp_empty "x86 only on a 64-bit host"
# A cabinet for this host counts as a package for it.
run "$KT_inst_x86_cab" --silent --no-silent-cert
check_run "x86 package and a cabinet for this host" 0 "" ""
tmp_empty "x86 package and a cabinet for this host"

# A restart begun by the Windows Installer (1641) is a success, reported as
# it is: Wine cannot begin one, so the answer is injected (inst-answer).
# The installer hands over no package after it; --ignore-reboot turns 3010
# into 0 but leaves 1641, whose restart is already under way.
na=$(exe "$KT_inst_answer")
calls=$work/answer-calls.txt
export KT_MSI_ANSWER_LOG KT_MSI_ANSWER
KT_MSI_ANSWER_LOG=$(winepath -w "$calls")
restart="$na: info: Restart initiated .by .+first.msi."
# (A pattern's "." takes the line break too.)
reboot="$na: info: Reboot required .by .+first.msi..$na: info: Reboot required .by .+second.msi."
answer_rows=(
  # answer  options                    code  packages  standard output (a pattern)
  "1641|--silent|1641|1|$restart"
  "1641|--silent --ignore-reboot|1641|1|$restart"
  "1641||1641|1|"
  "1641|--ignore-reboot|1641|1|"
  # A reboot to come lets the next package install.
  "3010|--silent --ignore-reboot|0|2|$reboot"
)
for row in "${answer_rows[@]}"; do
  IFS='|' read -r KT_MSI_ANSWER opts want_code want_calls want_out <<<"$row"
  rm -f "$calls"
  run "$KT_inst_answer" --no-silent-cert $opts
  what="answer $KT_MSI_ANSWER${opts:+ with $opts}"
  matches "$what: exit code, standard output and error" "$want_code $want_out/" "$code $stdout/$stderr"
  check "$what: packages handed over" "$want_calls" "$(grep -c call "$calls" 2>/dev/null)"
done
unset KT_MSI_ANSWER KT_MSI_ANSWER_LOG
tmp_empty "injected answers"

# --wait refusals: a syntax error that shows the value.
for v in -1 86401 abc 1.5 "" 99999999999; do
  run "$KT_inst_msi" --silent --wait="$v"
  check_run "--wait '$v' refused" 2 "" "$n: error: Invalid --wait seconds: '$v'"
done
run "$KT_inst_msi" --silent --wait 86400 --help
check "--wait 86400 accepted" 0 "$code"

# A first installer held by its package's custom action holds the lock.
hold=$work/hold
start_first() {
  rm -f "$hold" "$hold.started" "$work/held-code.txt"
  ( run "$KT_inst_msi" --silent --no-silent-cert --msi-prop HOLDEXE "$(winepath -w "$KT_fsprobe")" \
      --msi-prop HOLDFILE "$(winepath -w "$hold")"
    echo "$code" > "$work/held-code.txt" ) &
  first=$!
  for _ in $(seq 600); do [ -e "$hold.started" ] && break; kill -0 $first 2>/dev/null || break; sleep 0.1; done
  [ -e "$hold.started" ] && ok "first install held" || fail "first install: the custom action never started"
}
end_first() {
  touch "$hold"
  wait $first 2>/dev/null
  check "first install finishes" 0 "$(cat "$work/held-code.txt")"
}
# second NAME ARGS...: a second installer's exit code, standard output and error.
second() {
  local o=$work/second-out.txt e=$work/second-err.txt
  rm -f "$o" "$e"
  wine "$KT_launch" --stdout "$(winepath -w "$o")" --stderr "$(winepath -w "$e")" --timeout 120000 \
    -- "$KT_inst_msi" --silent --no-silent-cert "$@" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^exit code: //p'
  tr -d '\r' < "$o"; tr -d '\r' < "$e"
}
busy="$n: error: Another installer is already running"
waiting="$n: info: Waiting up to 1 s for another installer"
# An installed product runs no custom action again: removed first.
remove_product "$KT_inst_msi"
start_first
check "held lock" "1
$busy" "$(second)"
check "held lock, --msi-exit-codes" "1618
$busy" "$(second --msi-exit-codes)"
check "held lock, --wait 1 runs out" "1
$waiting
$busy" "$(second --wait 1)"
check "held lock, /wait 1 --msi-exit-codes runs out" "1618
$waiting
$busy" "$(second /wait 1 --msi-exit-codes)"
# Released while the second one waits: it goes on and installs.  The first
# one is released only once the second has said that it waits (or has
# ended), however long a loaded machine takes to start it; the output of the
# runs before is gone first, or its line would pass for this one's.
rm -f "$work/second-out.txt" "$work/second-err.txt"
second -wait 120 > "$work/second.txt" &
waiter=$!
for _ in $(seq 1200); do
  grep -q "Waiting up to 120 s" "$work/second-out.txt" 2>/dev/null && break
  kill -0 $waiter 2>/dev/null || break
  sleep 0.1
done
end_first
wait $waiter
check "held lock, released during --wait" "0
$n: info: Waiting up to 120 s for another installer" "$(cat "$work/second.txt")"
tmp_empty "held lock"
remove_product "$KT_inst_msi"

finish
