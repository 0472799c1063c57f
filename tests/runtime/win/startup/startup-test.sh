#!/usr/bin/env bash
# startup-test.sh BITS LAUNCH PROBE INITFAIL PLANT_DLL WORKDIR
# Runs the start-up probe of the 32-bit or 64-bit build (BITS) under Wine
# (prefix, server and loader from the test bench) and checks exit codes,
# argument vectors, RTR3Init, the direct writers, lazy binding, the crash
# report and a failing static initialiser.
set -uo pipefail
bits=$1 launch=$2 probe=$3 initfail=$4 plant=$5 work=$6
# The crash report's pointers, the probe's image base (the linker's default:
# 0x400000 for PE32, 0x140000000 for PE32+), the exception address 0x1234
# bytes into it, the 15th parameter (0x100e), and the register lines; offsets
# and time stamps are 32-bit ($o) in both.
o='[0-9a-f]{8}'
if [ "$bits" == 64 ]; then
  x='[0-9a-f]{16}' base=0000000140000000 pc=0000000140001234 p14=000000000000100e ip=rip
  registers="cs:rip=[0-9a-f]{4}:$x
ss:rsp=[0-9a-f]{4}:$x rbp=$x
rax=$x rcx=$x rdx=$x rbx=$x
rsi=$x rdi=$x rsp=$x rbp=$x
r8 =$x r9 =$x r10=$x r11=$x
r12=$x r13=$x r14=$x r15=$x
ds=[0-9a-f]{4} es=[0-9a-f]{4} fs=[0-9a-f]{4} gs=[0-9a-f]{4} eflags=[0-9a-f]{8}"
else
  x='[0-9a-f]{8}' base=00400000 pc=00401234 p14=0000100e ip=eip
  registers="cs:eip=[0-9a-f]{4}:$x
ss:esp=[0-9a-f]{4}:$x ebp=$x
eax=$x ecx=$x edx=$x ebx=$x
esi=$x edi=$x esp=$x ebp=$x
ds=[0-9a-f]{4} es=[0-9a-f]{4} fs=[0-9a-f]{4} gs=[0-9a-f]{4} eflags=[0-9a-f]{8}"
fi
export LC_ALL=C.UTF-8
rm -rf "$work"
mkdir -p "$work"
fails=0
out=$work/out.txt err=$work/err.txt
export ZELK_WINEPATH_FAILURES=$work/winepath-failures.txt

# The output files' Windows names, once: winepath of a file that is not
# there yet has come back empty under load.
: >"$out"
: >"$err"
wout=$(winepath -w "$out") werr=$(winepath -w "$err")
run() { # program args... -> sets $code, $stdout, $stderr
  local said try
  for try in 1 2; do
    rm -f "$out" "$err"
    said=$(wine "$launch" --stdout "$wout" --stderr "$werr" \
           --timeout 60000 -- "$@" </dev/null 2>"$work/wine-stderr.txt" | tr -d '\r')
    # Nothing at all from the launcher, or its CreateProcessW refused with
    # an internal error: Wine did not start it (see lib.sh).
    [[ -z "$said" || "$said" == "launch: CreateProcessW failed: 1359"* ]] && [ "$try" == 1 ] || break
    echo "note: Wine did not start the launcher; again. Wine said:"
    tail -n 5 "$work/wine-stderr.txt" | sed 's/^/  /'
  done
  code=$(sed -n 's/^exit code: //p' <<<"$said")
  stdout=$(tr -d '\r' < "$out" 2>/dev/null)
  stderr=$(cat "$err" 2>/dev/null)
}
check() { # name expected actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else
    echo "FAIL $1"; echo "  expected: $(printf '%q' "$2")"; echo "  actual:   $(printf '%q' "$3")"
    fails=$((fails + 1)); fi
}
matches() { # name regex actual (whole text)
  if [[ "$3" =~ ^$2$ ]]; then echo "ok   $1"; else
    echo "FAIL $1"; echo "  pattern: $2"; echo "  actual:  $(printf '%q' "$3")"; fails=$((fails + 1)); fi
}
contains() { # name needle haystack
  if [[ "$3" == *"$2"* ]]; then echo "ok   $1"; else
    echo "FAIL $1: no $(printf '%q' "$2") in:"; printf '%s\n' "$3" | head -20; fails=$((fails + 1)); fi
}

# Exit codes pass through whole, beyond the 8 bits a shell sees.
for n in 0 1 2 3 194 3010 1627; do
  run "$probe" exit "$n"
  check "exit code $n" "$n" "$code"
done

# Quotes, backslashes and non-ASCII arguments arrive as UTF-8.
run "$probe" args 'a b' 'q"x' 'back\' 'ü' '日本' '😀' '' 'x\\"y' '\\server\share'
check "argument vector" 'argc=11
argv[2]=61 20 62
argv[3]=71 22 78
argv[4]=62 61 63 6b 5c
argv[5]=c3 bc
argv[6]=e6 97 a5 e6 9c ac
argv[7]=f0 9f 98 80
argv[8]=
argv[9]=78 5c 5c 22 79
argv[10]=5c 5c 73 65 72 76 65 72 5c 73 68 61 72 65' "$stdout"

# Only blanks and tabs split the command line: Wine passes a line feed or
# carriage return in an argument unquoted, and it stays in its argument.
stdout=$(wine "$probe" args $'a\nb' $'--msi-prop' 'A' $'hello\nECHOFILE=C:\\x' $'c\rd' </dev/null 2>/dev/null | tr -d '\r')
check "line feed and carriage return inside arguments" 'argc=7
argv[2]=61 0a 62
argv[3]=2d 2d 6d 73 69 2d 70 72 6f 70
argv[4]=41
argv[5]=68 65 6c 6c 6f 0a 45 43 48 4f 46 49 4c 45 3d 43 3a 5c 78
argv[6]=63 0d 64' "$stdout"

# RTR3Init twice; hardening with the system-directory-only flag.
run "$probe" init
check "RTR3Init again" "again, same arguments: KINF_SUCCESS
again, other arguments: KERR_WRONG_ORDER
again, no arguments: KINF_SUCCESS
hardening: system directory only: true
flags repeated and system32 only: true
version newer than NT 3.1: true
exe name: $(basename "$probe")
exe name before RTR3Init: $(basename "$probe")" "$stdout"

# The direct writers' number forms.
run "$probe" writers
check "direct writers" $'str;<pszString=      00000010>;     00000abc;12345678;0xdead;3010 (0xbc2);num:rc=-102\r' "$stderr"

# Message lines, the start-up failure message and the option parser's messages.
run "$probe" messages
name=$(basename "$probe")
check "error lines" "$name: error: a
$name: error: b
$name: error: one line
$name: error: text and KERR_FILE_NOT_FOUND
$name: fatal error: RTR3Init: KERR_WRONG_ORDER
$name: error: Invalid parameter: stray
$name: error: Unhandled option: -x
$name: error: Unhandled option: 300 (0x12c)
$name: error: Unknown option: '--bogus'
$name: error: The value given '--path' has an invalid format.
$name: error: --path: The option requires a value.
$name: error: The option requires a value." "$(tr -d '\r' < "$err" | grep -v '^$')"
check "empty line kept, CR LF endings" 13 "$(grep -c $'\r$' "$err")"
check "info lines" "
returns 2
$name: info: info 42
$name: info: second" "$stdout"

# Streams on files: CR LF in text mode only, line buffering, mode errors, sticky errors.
mkdir -p "$work/streams"
run "$probe" streams "$(winepath -w "$work/streams")"
check "text stream" $'x\r\ny' "$(cat "$work/streams/text.txt")"
check "binary stream" $'x\ny' "$(cat "$work/streams/binary.bin")"
check "line-buffered stream" $'abc\r\nde' "$(cat "$work/streams/line.txt")"
check "stream probe" "open w: KINF_SUCCESS
open wb: KINF_SUCCESS
open a: KINF_SUCCESS
line buffering: KINF_SUCCESS
line size before newline: 0
line size after newline: 5
mode 'q': KERR_INVALID_FLAGS
mode '': KERR_INVALID_FLAGS
mode 'rx': KERR_INVALID_FLAGS
mode '+': KERR_INVALID_FLAGS
mode 'wbz': KERR_INVALID_FLAGS
buffering 4: KERR_INVALID_PARAMETER
buffering of a bad stream: KERR_INVALID_HANDLE
format to a bad stream: -2
open r: KINF_SUCCESS
sticky status: KERR_ACCESS_DENIED
next write: -1
first
second" "$stdout"
sizes=$(tr -d '\r' <<<"$stderr" | sed -n 's/^stdout after first line: \([0-9]*\), after second: \([0-9]*\)$/\1 \2/p')
[ -n "$sizes" ] && [ "${sizes% *}" = "${sizes#* }" ] \
  && echo "ok   redirected standard output is fully buffered after its first flush" \
  || { echo "FAIL redirected standard output: $stderr"; fails=$((fails + 1)); }

# A failing static initialiser stops start-up with its value.
run "$initfail"
check "static initialiser exit" 7 "$code"
check "static initialiser message" $'A C static initializor failed (7 (0x7)\r' "$stderr"

# Lazy binding: one load for two functions, no look-up of functions never called.
run "$probe" lazy
check "lazy binding" "ws2 loaded before: false
WSAGetLastError: 10061
ws2 module kept: true
WSASetLastError bound: true
WSAGetLastError bound: true
CommandLineToArgvW bound: false
shell32 table loaded: false
user32 in process: false" "$stdout"

# The runtime's socket functions load the socket library at the first request only.
run "$probe" winsock
check "socket functions on first use" "ws2_32 after RTR3Init: false
ws2_32 after the first request: true
WSAGetLastError is the library's: true
gethostbyname is the library's: true
a name not on the list: $(printf "%0*d" $((bits / 4)) 0)" "$stdout"

# DLLs planted beside the executable under system names are never loaded.
mkdir -p "$work/planted"
cp "$probe" "$work/planted/probe.exe"
for dll in MSI USER32 CRYPT32 SHELL32 WS2_32; do cp "$plant" "$work/planted/$dll.DLL"; done
run "$work/planted/probe.exe" planted
check "planted DLLs stay unloaded" "" "$(cd "$work/planted" && ls ./*.loaded 2>/dev/null)"
for dll in MSI USER32 CRYPT32 SHELL32; do
  contains "$dll.DLL from the system directory" "$dll.DLL: C:\\WINDOWS\\SYSTEM32\\" "${stdout^^}"
done

# COMCTL32 is delay-loaded: absent until the first call, then from the system directory.
run "$probe" comctl32
check "delay-loaded COMCTL32" 'comctl32 before: false
InitCommonControlsEx: true
again: true
COMCTL32 AFTER: C:\WINDOWS\SYSTEM32\COMCTL32.DLL' "$(sed 's/^comctl32 after: \(.*\)$/COMCTL32 AFTER: \U\1/' <<<"$stdout")"

# A function the DLL lacks stops the process with the resolve message.
run "$probe" missing
check "missing function message" \
  'Lazy loader failed to resolve symbol "NoSuchFunctionAtAll" in "MSI.DLL": KERR_SYMBOL_NOT_FOUND' "$stderr"
[ "$code" != 0 ] && echo "ok   missing function stops the process ($code)" \
  || { echo "FAIL missing function returned 0"; fails=$((fails + 1)); }

# Crash report through a logger, called directly with a record claiming 20 parameters.
run "$probe" crash-direct
check "no logger: nothing, previous filter's result" "no logger: 0x1234" "$(head -1 <<<"$stdout")"
check "15 parameter lines" 15 "$(grep -c '^ExceptionInformation\[' <<<"$stdout")"
contains "last parameter" "ExceptionInformation[14]=$p14" "$stdout"
check "no register lines without a context" 0 "$(grep -c "^cs:$ip=" <<<"$stdout")"
contains "header" "!!! rtR3WinUnhandledXcptFilter caught an exception on thread " "$stdout"
contains "exception line" "ExceptionCode=0xe0434f4d ExceptionFlags=0x00000000 ExceptionAddress=$pc" "$stdout"
matches "stack dump" "Stack $x, dumping 0x[0-9a-f]+ bytes \(low=$x, high=$x\)" "$(grep '^Stack ' <<<"$stdout")"
contains "module list" "Address range    [*] Timestamp Path" "$stdout"
matches "faulting module marked" "$base\\.\\.$x\\*  $o  .*startup-probe\\.exe" "$(grep "^$base\\." <<<"$stdout")"
contains "code address of the exception" "Xcpt PC : $pc - 0x00001234 bytes into " "$stdout"
contains "command line" "PEB/CommandLine: " "$stdout"
check "previous filter's result" "with logger: 0x1234" "$(tail -1 <<<"$stdout")"

# A real access violation: report with registers, then the previous filter.
run "$probe" crash
check "crash chains to the previous filter" 77 "$code"
contains "crash exception" "ExceptionCode=0xc0000005" "$stdout"
matches "crash registers" "$registers" "$(sed -n "/^cs:$ip=/,/^ds=/p" <<<"$stdout")"
matches "crash in the probe's code" "Xcpt PC : $x - 0x$o bytes into .*startup-probe\.exe" \
  "$(grep '^Xcpt PC' <<<"$stdout")"
# Return addresses are whole pointers on the stack: the probe's own are found.
[ "$(grep -cE "^$x: $x - 0x$o bytes into .*startup-probe\.exe$" <<<"$stdout")" -gt 0 ] \
  && echo "ok   crash: return addresses into the probe on the stack" \
  || { echo "FAIL crash: no return address into the probe on the stack"; fails=$((fails + 1)); }
contains "crash command line" "PEB/CommandLine: " "$stdout"
contains "crash previous filter" "previous filter called with 0xc0000005" "$stdout"

echo
if [ -s "$ZELK_WINEPATH_FAILURES" ]; then
  echo "FAIL a Windows path could not be converted:"; sed 's/^/  /' "$ZELK_WINEPATH_FAILURES"
  fails=$((fails + 1))
fi
echo "startup: $fails failed"
exit "$fails"
