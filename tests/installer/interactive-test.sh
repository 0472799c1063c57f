#!/usr/bin/env bash
# Interactive runs under Xvfb (started by CTest through xvfb-run): message
# boxes titled "Kestrelyn Installer" with their texts, and the console of
# verbose runs.  uiprobe starts each installer as the desktop would and reads
# its box and console; one error box and one information box are also found,
# photographed (error-box.png, info-box.png in the work directory) and
# dismissed from the X side.  Every wait has a timeout.
display=${DISPLAY:-}
source "$(dirname "$0")/lib.sh"
export DISPLAY=$display
[ -n "$DISPLAY" ] || { echo "FAIL no X display (run through xvfb-run)"; exit 1; }

stub=$KT_QornStub
rnd='[0-9a-z]{24}'
wtmp_re=${wtmp//\\/\\\\}

# probe ARGS...: the report of uiprobe, which dismisses each box itself;
# vprobe also reads the console while the box is up.
# Wine now and then fails to start a process under load (CreateProcessW
# answers ERROR_INTERNAL_ERROR, 1359, before the program's first line): the
# bench's fault, not the installer's.  Said in the log, and tried once more.
uiprobe_twice() { # ARGS...: uiprobe's report
  local report try
  for try in 1 2; do
    report=$(wine "$KT_uiprobe" "$@" </dev/null 2>/dev/null | tr -d '\r')
    [[ "$report" == "uiprobe: CreateProcessW failed: 1359"* ]] && [ "$try" == 1 ] || break
    echo "note: Wine did not start the program ($report); once more" >&2
  done
  printf '%s\n' "$report"
}
probe() { uiprobe_twice --dismiss --timeout 60000 --stderr "$werr" -- "$@"; }
vprobe() { uiprobe_twice --dismiss --console --timeout 60000 -- "$@"; }
box() { # TEXT...: the report lines of one box with this text
  echo "box-title: Kestrelyn Installer"
  printf '%s\n' "$@" | sed 's/^/box-text: /'
}

# The icon on a screenshot of one box: Wine's error icon is a red disc, its
# information icon a blue one; nothing else on the box is red or that blue.
icon_kind() { # PNG
  convert "$1" -depth 8 rgb:- | python3 -c '
import sys
d = sys.stdin.buffer.read()
red = blue = 0
for i in range(0, len(d) - 2, 3):
    r, g, b = d[i], d[i + 1], d[i + 2]
    if r > 180 and g < 100 and b < 100: red += 1
    elif b > 140 and b > r + 50 and b > g + 20: blue += 1
print("error" if red > 100 and red > blue else "information" if blue > 100 and red < 10 else "none")'
}

# A box found and dismissed from the X side, with a screenshot of it (and
# the kind of its icon in $icon).
xbox() { # NAME SHOT ARGS...: sets $report
  local what=$1 shot=$2; shift 2
  icon=none
  rm -f "$work/ready"
  wine "$KT_uiprobe" --ready "$(winepath -w "$work/ready")" --timeout 60000 -- "$@" </dev/null 2>/dev/null \
    | tr -d '\r' > "$work/report.txt" &
  local pid=$!
  for _ in $(seq 600); do [ -e "$work/ready" ] && break; sleep 0.1; done
  local wid
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kestrelyn Installer$' 2>/dev/null | head -1)
  if [ -n "$wid" ]; then
    ok "$what: box found on the display"
    check "$what: window title" "Kestrelyn Installer" "$(xdotool getwindowname "$wid")"
    sleep 0.5 # let it paint
    xwd -root -silent > "$work/$shot.xwd"
    if command -v convert >/dev/null; then
      convert "$work/$shot.xwd" "$work/$shot.png" && rm -f "$work/$shot.xwd"
      icon=$(icon_kind "$work/$shot.png")
    fi
    timeout 30 xdotool windowfocus --sync "$wid" key Return
  else
    fail "$what: no box on the display"
  fi
  wait "$pid"
  report=$(cat "$work/report.txt")
}

xbox "error box" error-box "$stub" --bogus
check "error box: title, text and exit code" "$(box 'Unknown option "--bogus"' \
  'Please refer to the command line help by specifying "-?"' 'to get more information.')
exit code: 2" "$report"
error_icon=$icon
xbox "information box" info-box "$stub" --version
check "information box: title, text and exit code" "$(box "Version: $KT_VERSION")
exit code: 0" "$report"
if command -v convert >/dev/null; then
  check "error box: error icon" error "$error_icon"
  check "information box: information icon" information "$icon"
fi
[ -s "$work/error-box.png" ] || [ -s "$work/error-box.xwd" ] && ok "screenshots kept in $work" || fail "no screenshot"

# Help: every line in the box, nothing on standard output; --silent after it is never reached.
help_first="box-title: Kestrelyn Installer
box-text: -- Kestrelyn Installer v$KT_VERSION --
box-text: 
box-text: Command Line Parameters:"
report=$(probe "$stub" "-?")
check "help box: start" "$help_first" "$(head -4 <<<"$report")"
check "help box: all 40 lines" 40 "$(grep -c '^box-text:' <<<"$report")"
check "help box: the program's path" "box-text:   $stub --extract -path C:\\Qorn" "$(grep 'Qorn$' <<<"$report")"
check "help box: exit code" "exit code: 0" "$(tail -1 <<<"$report")"
report=$(probe "$stub" --help --silent)
check "help before --silent: a box" "$help_first" "$(head -4 <<<"$report")"

# Command-line errors in boxes.
report=$(probe "$stub" B=2)
check "stray argument" "$(box 'Parameter parsing error: KINF_OPT_NOT_AN_OPTION' \
  'Please refer to the command line help by specifying "-?"' 'to get more information.')
exit code: 2" "$report"
report=$(probe "$stub" --msi-prop "A B" v)
check "--msi-prop name with a blank" "$(box 'The first argument to --msi-prop must not contain spaces: A B')
exit code: 2" "$report"
report=$(probe "$stub" --msiparams "$(printf 'x%.0s' $(seq 4096))")
check "parameters too long" "$(box 'Out of space for MSI parameters and properties')
exit code: 2" "$report"

# Runs with a payload.
clear_tmp
report=$(probe "$KT_inst_mixed" --extract)
check "extract-only" "$(box "Files were extracted to: $wtmp")
exit code: 0" "$report"
check "extract-only: files" "amd64.msi any.cab four.msi x86.msi zero.msi" "$(listing "$tmp")"
clear_tmp
report=$(probe "$KT_inst_one")
check "normal run on a 64-bit host: no box" "exit code: 0" "$report"
tmp_empty "normal run"
report=$(probe "$KT_bad_count")
check "broken payload" "$(box 'Internal error: Could not find package header #2: KERR_GENERAL_FAILURE')
exit code: 1" "$report"
tmp_empty "broken payload"
report=$(probe "$KT_bad_noblob")
check "missing blob: the box" "$(box 'Error extracting package #0 (x.msi): KERR_GENERAL_FAILURE')
exit code: 1" "$report"
check "missing blob: the line on standard error" "error: #0: Failed to locate resource 'BIN_00': KERR_GENERAL_FAILURE" \
  "$(tr -d '\r' < "$err")"
tmp_empty "missing blob"

# Verbose runs: the summary on a console of the installer's own.  The stub
# without payload then stops at its manifest, in a box, with the console up.
summary() { # PATH SILENT CERT PARAMS LOG
  printf 'console: Extraction path          : %s\n' "$1"
  printf 'console: Silent installation      : %s\n' "$2"
  printf 'console: Certificate installation : %s\n' "$3"
  printf 'console: Additional MSI parameters: %s\n' "$4"
  printf 'console: Logging to file          : %s\n' "$5"
}
manifest_box=$(box 'Internal package error: Manifest not found (KERR_GENERAL_FAILURE)')

for opt in --verbose -verbose /verbose -v; do
  report=$(vprobe "$stub" "$opt")
  matches "$opt: summary" "$(box 'Internal package error: Manifest not found \(KERR_GENERAL_FAILURE\)')
console: Extraction path          : $wtmp_re\\\\$rnd
console: Silent installation      : false
console: Certificate installation : true
console: Additional MSI parameters: <None>
console: Logging to file          : <None>
exit code: 1" "$report"
done
tmp_empty "verbose runs"

dest=$(winepath -w "$work/dest")
report=$(vprobe "$stub" -v -v --verbose --extract --path "${dest//\\//}" --no-silent-cert --msiparams A=1 B=2)
check "verbosity 3, forward slashes, no certificate, parameters and plain arguments" "$manifest_box
$(summary "$dest" false false "A=1 B=2" "<None>")
exit code: 1" "$report"

report=$(vprobe "$stub" --verbose --extract --reinstall --reinstall)
check "--reinstall twice" "$manifest_box
$(summary "$wtmp" false true "REINSTALLMODE=vomus REINSTALL=ALL REINSTALLMODE=vomus REINSTALL=ALL" "<None>")
exit code: 1" "$report"

# The console shows a tab as a blank; the quotes are the point here.  Quotes
# inside a value are doubled, so x" B="y stays one value of one property.
report=$(vprobe "$stub" --verbose --extract --msi-prop INSTALLDIR 'C:\x' --msi-prop X 'y z' --msi-prop T "$(printf 'a\tb')" \
         --msi-prop Q 'say "hi"' --msi-prop E "" --msi-prop A 'x" B="y')
check "--msi-prop quoting" "$manifest_box
$(summary "$wtmp" false true 'INSTALLDIR=C:\x X="y z" T="a b" Q="say ""hi""" E= A="x"" B=""y"' "<None>")
exit code: 1" "$report"

report=$(vprobe "$stub" --verbose --extract --logging)
check "--logging: the log in the extraction directory" "$manifest_box
$(summary "$wtmp" false true "<None>" "$wtmp\\QornInstallLog.txt")
exit code: 1" "$report"
mkdir -p "$work/cwd"
report=$(cd "$work/cwd" && vprobe "$stub" --verbose --extract --msi-log-file logs/install.log --msi-log-file rel.log)
check "--msi-log-file: relative, made absolute, the last one counts" "$manifest_box
$(summary "$wtmp" false true "<None>" "$(winepath -w "$work/cwd")\\rel.log")
exit code: 1" "$report"
report=$(cd "$work/cwd" && vprobe "$stub" --verbose --extract -msilogfile rel.log -msilogfile "")
check "-msilogfile: an empty one clears" "$manifest_box
$(summary "$wtmp" false true "<None>" "<None>")
exit code: 1" "$report"

x4093=$(printf 'x%.0s' $(seq 4093))
report=$(vprobe "$stub" --verbose --extract --msiparams "A=$x4093")
check "4095 characters of parameters" "$manifest_box
$(summary "$wtmp" false true "A=$x4093" "<None>")
exit code: 1" "$report"

# A failure before the extraction directory exists closes the mutex before
# its box: while the box waits for a click, another installer runs.
rm -f "$work/ready"
ZELK_TMPDIR='C:\no\such\folder' wine "$KT_uiprobe" --ready "$(winepath -w "$work/ready")" --timeout 60000 \
  -- "$KT_inst_msi" </dev/null 2>/dev/null | tr -d '\r' > "$work/report.txt" &
pid=$!
for _ in $(seq 600); do [ -e "$work/ready" ] && break; sleep 0.1; done
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kestrelyn Installer$' 2>/dev/null | head -1)
clear_tmp
run "$KT_inst_mixed" --silent --extract
check "box of an early failure up: a second installer runs" "0" "$code"
[ -n "$wid" ] && timeout 30 xdotool windowfocus --sync "$wid" key Return
wait "$pid"
check "early failure: the box" "$(box 'Failed to create extraction path: KERR_PATH_NOT_FOUND')
exit code: 1" "$(cat "$work/report.txt")"
clear_tmp

# The Windows Installer's full interface in an interactive run: its dialog
# is photographed (msi-dialog.png) and answered from the X side; Install
# installs, Cancel (1602) ends the run with 1 and no message.
msi_ui() { # KEY: runs inst-msi-ui, answers its dialog with KEY; sets $report
  rm -f "$work/report.txt"
  wine "$KT_uiprobe" --timeout 90000 -- "$KT_inst_msi_ui" </dev/null 2>/dev/null | tr -d '\r' > "$work/report.txt" &
  local pid=$!
  local wid
  wid=$(timeout 60 xdotool search --sync --name '^Kestrelyn Test Setup$' 2>/dev/null | head -1)
  if [ -n "$wid" ]; then
    ok "installer interface ($1): the Windows Installer's dialog"
    sleep 0.5
    if [ "$1" == Return ]; then
      xwd -root -silent > "$work/msi-dialog.xwd"
      if command -v convert >/dev/null; then convert "$work/msi-dialog.xwd" "$work/msi-dialog.png" && rm -f "$work/msi-dialog.xwd"; fi
    fi
    timeout 30 xdotool windowfocus --sync "$wid" key "$1"
  else
    fail "installer interface ($1): no dialog on the display"
  fi
  wait "$pid"
  report=$(cat "$work/report.txt")
}
drive_c=$WINEPREFIX/drive_c
ui_dir() { ls -d "$drive_c/Program Files"*/KestrelynUI 2>/dev/null; }
run "$KT_inst_msi_ui" --silent --no-silent-cert --msiparams REMOVE=ALL
clear_tmp
msi_ui Escape
check "installer interface, Cancel: 1 and no message" "exit code: 1" "$report"
check "installer interface, Cancel: nothing installed" "" "$(ui_dir)"
tmp_empty "installer interface, Cancel"
msi_ui Return
check "installer interface, Install: 0 and no message" "exit code: 0" "$report"
[ -n "$(ui_dir)" ] && ok "installer interface, Install: installed" || fail "installer interface, Install: not installed"
[ -s "$work/msi-dialog.png" ] || [ -s "$work/msi-dialog.xwd" ] && ok "installer interface: screenshot kept" \
  || fail "installer interface: no screenshot"
tmp_empty "installer interface, Install"
run "$KT_inst_msi_ui" --silent --no-silent-cert --msiparams REMOVE=ALL
check "installer interface: removed" "" "$(ui_dir)"

finish
