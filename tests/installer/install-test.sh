#!/usr/bin/env bash
# Installation end to end: installers around real packages built by wixl
# (msi/KestrelynTest.wxs), installed by Wine's Windows Installer.  Where the
# product's files land, what the parameters change, the reboot answer, the
# Windows Installer's refusals, the log, the certificate in the local
# machine's trusted publishers, the ".custom" folder as the package sees it,
# and the locks on the package while the install runs.  Wine's answers and
# texts differ from Windows': the tests pin the form of the messages and the
# code path, not Windows' wording.
# install-test.sh [32]: with 32, on a 32-bit prefix of its own (made on first use).
source "$(dirname "$0")/lib.sh"
if [ "${1:-}" == 32 ]; then
  "$KT_TOOLS/wine-bench.sh" start "$WINEPREFIX" win32 || { echo "FAIL no 32-bit prefix"; exit 1; }
  trap '"$KT_TOOLS/wine-bench.sh" stop "$WINEPREFIX"' EXIT
fi

drive_c=$WINEPREFIX/drive_c
# An interactive run refuses a 32-bit host (exit code 1) before any package.
interactive=0
[ -d "$drive_c/windows/syswow64" ] || interactive=1
# The product folder under the program files of a 32-bit process (the 64-bit
# prefix's "Program Files (x86)", a 32-bit prefix's "Program Files"), or "".
product_dir() {
  local pf
  for pf in "Program Files (x86)" "Program Files"; do
    [ -d "$drive_c/$pf/$1" ] && { echo "$drive_c/$pf/$1"; return; }
  done
}
# The uninstall entry of a product, by its display name: "present" or "absent".
# The test packages are 32-bit ones: the Windows Installer keeps their entries
# in the 32-bit view of the registry, which a 64-bit reg.exe reads only when
# asked (/reg:32; a 32-bit reg.exe reads it anyway).
uninstall_entry() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 </dev/null 2>/dev/null \
    | tr -d '\r' | grep -q "DisplayName  *REG_SZ  *$1\$" && echo present || echo absent
}
remove_product() { run "$1" --silent --no-silent-cert --msiparams REMOVE=ALL; }

n=$(exe "$KT_inst_msi")
thumb=$(openssl x509 -inform DER -in "$KT_CERT" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
cert() { wine "$KT_certprobe" find TrustedPublisher "$thumb" </dev/null 2>/dev/null | tr -d '\r'; }
uncert() {
  wine reg delete "HKLM\\Software\\Microsoft\\SystemCertificates\\TrustedPublisher\\Certificates\\$thumb" /f \
    </dev/null >/dev/null 2>&1
}
uncert
check "start: certificate not in the store" absent "$(cert)"
remove_product "$KT_inst_msi"
check "start: product not installed" "" "$(product_dir KestrelynTest)"

# A silent install: the product's files, its uninstall entry, the certificate.
run "$KT_inst_msi" --silent
check_run "silent install" 0 "" ""
check "silent install: product file" "Kestrelyn test product" "$(tr -d '\r' < "$(product_dir KestrelynTest)/payload.txt" 2>/dev/null)"
check "silent install: uninstall entry" present "$(uninstall_entry KestrelynTest)"
check "silent install: certificate in TrustedPublisher" \
  "present: Kestrelyn development certificate, not for release" "$(cert)"
tmp_empty "silent install"

# --reinstall puts back a file that went missing.
rm -f "$(product_dir KestrelynTest)/payload.txt"
run "$KT_inst_msi" --silent --reinstall
check_run "--reinstall" 0 "" ""
check "--reinstall: the file is back" "Kestrelyn test product" "$(tr -d '\r' < "$(product_dir KestrelynTest)/payload.txt" 2>/dev/null)"

# REMOVE=ALL through the parameters removes the product.
run "$KT_inst_msi" --silent --msiparams REMOVE=ALL
check_run "REMOVE=ALL" 0 "" ""
check "REMOVE=ALL: files gone" "" "$(product_dir KestrelynTest)"
check "REMOVE=ALL: uninstall entry gone" absent "$(uninstall_entry KestrelynTest)"

# Another target, by property and by parameter text, with blanks in the folder.
rm -rf "$drive_c/kt install" "$drive_c/kt params"
run "$KT_inst_msi" --silent --msi-prop INSTALLDIR 'C:\kt install\with blank'
check_run "--msi-prop INSTALLDIR" 0 "" ""
check "--msi-prop INSTALLDIR: file there" "Kestrelyn test product" \
  "$(tr -d '\r' < "$drive_c/kt install/with blank/payload.txt" 2>/dev/null)"
check "--msi-prop INSTALLDIR: not under the program files" "" "$(product_dir KestrelynTest)"
# Wine's Windows Installer looks for the files where the properties say.
run "$KT_inst_msi" --silent --no-silent-cert --msi-prop INSTALLDIR 'C:\kt install\with blank' --msiparams REMOVE=ALL
check "--msi-prop INSTALLDIR: removed again" "" "$(ls -A "$drive_c/kt install/with blank" 2>/dev/null)"
run "$KT_inst_msi" --silent --msiparams 'INSTALLDIR="C:\kt params\x y"'
check_run "--msiparams INSTALLDIR" 0 "" ""
check "--msiparams INSTALLDIR: file there" "Kestrelyn test product" \
  "$(tr -d '\r' < "$drive_c/kt params/x y/payload.txt" 2>/dev/null)"
run "$KT_inst_msi" --silent --no-silent-cert --msiparams 'INSTALLDIR="C:\kt params\x y" REMOVE=ALL'
check "--msiparams INSTALLDIR: removed again" "" "$(ls -A "$drive_c/kt params/x y" 2>/dev/null)"

# A property reaches the package's custom actions as one value.
echo_file=$work/echo-A.txt
run "$KT_inst_msi" --silent --no-silent-cert --msi-prop A "two words" --msi-prop ECHOFILE "$(winepath -w "$echo_file")"
check_run "property seen by a custom action" 0 "" ""
check "property seen by a custom action: value" "two words" "$(tr -d '\r' < "$echo_file" 2>/dev/null)"
remove_product "$KT_inst_msi"
# Quotes inside a value are doubled on the way in: one property, its value whole.
rm -f "$echo_file"
run "$KT_inst_msi" --silent --no-silent-cert --msi-prop A 'x" B="y' --msi-prop ECHOFILE "$(winepath -w "$echo_file")"
check_run "property with quotes inside" 0 "" ""
check "property with quotes inside: one value, not a second property" 'x" B="y' \
  "$(tr -d '\r' < "$echo_file" 2>/dev/null)"
remove_product "$KT_inst_msi"

# --logging: the verbose log stays in the kept extraction directory.
clear_tmp
run "$KT_inst_msi" --silent --no-silent-cert --logging
check_run "--logging" 0 "" ""
log=$(ls "$tmp"/*/QornInstallLog.txt 2>/dev/null | head -1)
matches "--logging: only the log stays" "[0-9a-z]{24}/QornInstallLog\.txt" "$(listing "$tmp" | sed 's/^[0-9a-z]* //')"
grep -aq "KestrelynTest" <(tr -d '\0' < "${log:-/dev/null}") && ok "--logging: a verbose log of the install" \
  || fail "--logging: no verbose log in '${log}'"
remove_product "$KT_inst_msi"
# --msi-log-file with a relative name: the log goes there, the directory goes.
clear_tmp
mkdir -p "$work/cwd"
run --cwd "$work/cwd" "$KT_inst_msi" --silent --no-silent-cert --msi-log-file install.log
check_run "--msi-log-file relative" 0 "" ""
[ -s "$work/cwd/install.log" ] && ok "--msi-log-file relative: log in the current directory" \
  || fail "--msi-log-file relative: no log in $work/cwd"
tmp_empty "--msi-log-file relative"
remove_product "$KT_inst_msi"

# A package that asks for a reboot, then one that succeeds: 3010 survives.
remove_product "$KT_inst_msi_reboot"
clear_tmp
run "$KT_inst_msi_reboot" --silent --no-silent-cert
matches "reboot required: 3010 and the information line" \
  "3010 $(exe "$KT_inst_msi_reboot"): info: Reboot required \(by ${wtmp//\\/\\\\}\\\\[0-9a-z]{24}\\\\reboot\.msi\)" \
  "$code $stdout"
check "reboot required: no error" "" "$stderr"
[ -n "$(product_dir KestrelynTest)" ] && ok "reboot required: the later package was installed" \
  || fail "reboot required: the later package was not installed"
tmp_empty "reboot required"
run "$KT_inst_msi_reboot" --silent --no-silent-cert --ignore-reboot
check "--ignore-reboot: 0" 0 "$code"
remove_product "$KT_inst_msi_reboot"

# The Windows Installer's refusals come back as failures with its text.
run "$KT_bad_msi" --silent --no-silent-cert
check "corrupt package: exit code" 1 "$code"
matches "corrupt package: message" "$(exe "$KT_bad_msi"): error: Installation failed! Error: [^0-9].+" "$stderr"
tmp_empty "corrupt package"
# A command line that the Windows Installer refuses (unbalanced quotes) comes
# back as a failure with its text.  (A stray word, such as an option typed
# with a Unicode dash, joins the parameters too, but Wine's Windows Installer
# ignores a word without "=" where Windows refuses it.)
run "$KT_inst_msi" --silent --no-silent-cert --msiparams 'A="x'
check "refused command line: exit code" 1 "$code"
matches "refused command line: the Windows Installer's message" "$n: error: Installation failed! Error: [^0-9].+" "$stderr"
check "refused command line: nothing installed" "" "$(product_dir KestrelynTest)"
tmp_empty "refused command line"

# The certificate: only silent runs without --no-silent-cert add it.
uncert
run "$KT_inst_msi" --silent --no-silent-cert
check "--no-silent-cert: certificate untouched" absent "$(cert)"
remove_product "$KT_inst_msi"
# An interactive run (no display here, the installer's interface has nothing to wait for).
run "$KT_inst_msi"
check "interactive run: installed (refused on a 32-bit host)" $interactive "$code"
check "interactive run: certificate untouched" absent "$(cert)"
remove_product "$KT_inst_msi"
clear_tmp
# A store whose registry key refuses every access cannot be opened.
if wine "$KT_certprobe" deny TrustedPublisher </dev/null >/dev/null 2>&1; then
  run "$KT_inst_msi" --silent
  wine "$KT_certprobe" allow TrustedPublisher </dev/null >/dev/null 2>&1
  matches "store cannot be opened" "1 $n: error: Unable to open certificates store: [0-9]+
$n: error: Failed to add our certificate\(s\) to trusted publisher store\." "$code $stderr"
  check "store cannot be opened: no package installed" "" "$(product_dir KestrelynTest)"
  tmp_empty "store cannot be opened"
else
  fail "store cannot be opened: the key could not be locked"
fi

# The certificate is read from the resource CERT at run time: an installer
# without one, with an empty one or with a cut-off certificate fails at the
# certificate and installs nothing.
cert_res() { # EXE HOW: takes the resource CERT away, or makes it declare fewer bytes
  case $2 in
    missing) python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
name = b"\x04\x00" + "CERT".encode("utf-16-le")
assert data.count(name) == 1, data.count(name)
open(sys.argv[1], "wb").write(data.replace(name, b"\x04\x00" + "CERX".encode("utf-16-le")))
PY
    ;;
    *) python3 "$KT_TOOLS/mkpayload.py" codepage "$1" --size "CERT=$2" ;;
  esac
}
for how in missing 0 100; do
  cp "$KT_inst_msi" "$work/cert.exe"
  cert_res "$work/cert.exe" $how
  run "$work/cert.exe" --silent
  matches "certificate resource $how" "1 cert\.exe: error: Unable to get certificate context: -?[0-9]+
cert\.exe: error: Failed to add our certificate\(s\) to trusted publisher store\." "$code $stderr"
  check "certificate resource $how: nothing installed" "" "$(product_dir KestrelynTest)"
  tmp_empty "certificate resource $how"
done

# .custom beside the installer: the package sees the whole tree beside itself.
inst=$work/custom/inst.exe
mkdir -p "$work/custom/.custom/sub dir/deeper" "$work/custom/.custom/empty"
cp "$KT_inst_msi" "$inst"
echo one > "$work/custom/.custom/top.txt"
echo two > "$work/custom/.custom/sub dir/name with blank.txt"
echo three > "$work/custom/.custom/sub dir/deeper/Grüße-日本.txt"
seen=$work/custom-seen
rm -rf "$seen"
clear_tmp
run "$inst" --silent --no-silent-cert --msi-prop CUSTOMSEEN "$(winepath -w "$seen")"
check_run ".custom" 0 "" ""
check ".custom: the package saw the tree beside it" "$(listing "$work/custom/.custom" | sed 's/ empty//')" \
  "$(listing "$seen")"
check ".custom: contents" "three" "$(tr -d '\r' < "$seen/sub dir/deeper/Grüße-日本.txt" 2>/dev/null)"
# Its files have no records: .custom and the extraction directory stay.
matches ".custom: both directories stay" "[0-9a-z]{24} [0-9a-z]{24}/\.custom .*" "$(listing "$tmp")"
check ".custom: the package file is gone" "" "$(cd "$tmp" && ls ./*/*.msi 2>/dev/null)"
remove_product "$KT_inst_msi"
# A .custom that is a file copies nothing; no .custom copies nothing.
rm -rf "$work/custom/.custom" "$seen"
echo file > "$work/custom/.custom"
clear_tmp
run "$inst" --silent --no-silent-cert --msi-prop CUSTOMSEEN "$(winepath -w "$seen")"
check_run ".custom as a file" 0 "" ""
check ".custom as a file: nothing seen" "" "$(listing "$seen" 2>/dev/null)"
tmp_empty ".custom as a file"
rm -f "$work/custom/.custom"
run "$inst" --silent --no-silent-cert
check_run "no .custom" 0 "" ""
tmp_empty "no .custom"
remove_product "$KT_inst_msi"

# A link anywhere in .custom, .custom itself included, refuses the copy before
# anything is copied or installed (Wine shows a Unix link to a directory as a
# reparse point).  So do more than 10000 items and more than 1024 MiB.
secret=$work/custom-secret
mkdir -p "$secret" && echo secret > "$secret/secret.txt"
custom_refused() { # NAME PATH-REGEX REASON
  rm -rf "$seen"
  clear_tmp
  run "$inst" --silent --no-silent-cert --msi-prop CUSTOMSEEN "$(winepath -w "$seen")"
  check "$1: exit code" 1 "$code"
  matches "$1: message" "$(exe "$inst"): error: Copying '$2' failed: $3" "$stdout$stderr"
  check "$1: nothing installed" "" "$(product_dir KestrelynTest)"
  check "$1: nothing seen" "" "$(listing "$seen" 2>/dev/null)"
  tmp_empty "$1"
}
rm -rf "$work/custom/.custom"
mkdir -p "$work/custom/.custom/sub dir/deeper"
echo one > "$work/custom/.custom/top.txt"
ln -s "$secret" "$work/custom/.custom/sub dir/deeper/link"
custom_refused ".custom with a link two levels down" '\.custom\\sub dir\\deeper\\link' "a link or junction"
rm "$work/custom/.custom/sub dir/deeper/link"
ln -s "$secret" "$work/custom/.custom/link"
custom_refused ".custom with a link at its top" '\.custom\\link' "a link or junction"
rm -rf "$work/custom/.custom"
ln -s "$secret" "$work/custom/.custom"
custom_refused ".custom that is a link" '\.custom' "a link or junction"
rm -f "$work/custom/.custom"
mkdir -p "$work/custom/.custom/many"
(cd "$work/custom/.custom/many" && touch f{1..9999})
custom_refused ".custom with 10001 items" '\.custom\\many\\f[0-9]+' "over 10000 items"
rm -rf "$work/custom/.custom"
mkdir -p "$work/custom/.custom/big"
truncate -s 1G "$work/custom/.custom/big/a.bin"
truncate -s 1 "$work/custom/.custom/big/b.bin"
custom_refused ".custom with 1024 MiB and a byte" '\.custom\\big\\[ab]\.bin' "over 1024 MiB"
rm -rf "$work/custom/.custom" "$secret"

# While the package's custom action holds the install, the package and the
# directory are locked and a second installer is refused.
hold=$work/hold
rm -f "$hold" "$hold.started"
clear_tmp
( run "$KT_inst_msi" --silent --no-silent-cert --msi-prop HOLDEXE "$(winepath -w "$KT_fsprobe")" \
    --msi-prop HOLDFILE "$(winepath -w "$hold")"
  echo "$code" > "$work/held-code.txt" ) &
first=$!
# The custom action writes hold.started; a run that ends first never gets there.
for _ in $(seq 600); do [ -e "$hold.started" ] && break; kill -0 $first 2>/dev/null || break; sleep 0.1; done
if [ -e "$hold.started" ]; then ok "install held by its custom action"; else
  fail "the custom action never started"
  wait $first
  echo "  the run: exit code $(cat "$work/held-code.txt" 2>/dev/null), stderr $(tr -d '\r' < "$err" 2>/dev/null | head -3)"
  unexpected_mutex "" "$(tr -d '\r' < "$err" 2>/dev/null)"
fi
pkg=$(ls "$tmp"/*/*.msi 2>/dev/null | head -1)
probe=$(wine "$KT_fsprobe" try-file "$(winepath -w "${pkg:-$tmp/none}")" </dev/null 2>/dev/null | tr -d '\r')
# Windows answers 5 or 32 depending on the call; Wine says 32 more often.
matches "held install: package not writable, not deletable" "open-write: 32
replace: (5|32)
rename: (5|32)
delete: (5|32)
open-read: ok" "$probe"
probe=$(wine "$KT_fsprobe" try-dir "$(winepath -w "$(dirname "${pkg:-$tmp/none/x}")")" </dev/null 2>/dev/null | tr -d '\r')
matches "held install: directory not removable" "rename: [0-9]+
delete: [0-9]+" "$probe"
wine "$KT_launch" --stdout "$(winepath -w "$work/second-out.txt")" --stderr "$(winepath -w "$work/second-err.txt")" \
  -- "$KT_inst_msi" --silent </dev/null 2>/dev/null | tr -d '\r' > "$work/second-code.txt"
check "held install: second installer" "exit code: 1 $n: error: Another installer is already running" \
  "$(cat "$work/second-code.txt") $(tr -d '\r' < "$work/second-err.txt")"
touch "$hold"
wait $first 2>/dev/null
check "held install: finishes" 0 "$(cat "$work/held-code.txt")"
tmp_empty "held install"
remove_product "$KT_inst_msi"

# A relative temporary directory works like an absolute one.
mkdir -p "$work/rel/tmp"
clear_tmp
ZELK_TMPDIR=tmp run --cwd "$work/rel" "$KT_inst_msi" --silent --no-silent-cert
check_run "relative ZELK_TMPDIR" 0 "" ""
check "relative ZELK_TMPDIR: nothing left" "" "$(listing "$work/rel/tmp")"
check "relative ZELK_TMPDIR: installed" "Kestrelyn test product" \
  "$(tr -d '\r' < "$(product_dir KestrelynTest)/payload.txt" 2>/dev/null)"
remove_product "$KT_inst_msi"

# Two packages for two architectures: a 64-bit host installs only the amd64
# one, a 32-bit host only the x86 one.
want=KestrelynTestAmd64
[ $interactive == 0 ] || want=KestrelynTestX86
run "$KT_inst_msi_pair" --silent --no-silent-cert
check_run "x86 and amd64 packages" 0 "" ""
check "x86 and amd64 packages: installed" "$want" \
  "$(for p in KestrelynTestX86 KestrelynTestAmd64; do [ -n "$(product_dir $p)" ] && echo $p; done)"
run "$KT_inst_msi_pair" --silent --no-silent-cert --msiparams REMOVE=ALL

# A cabinet beside the package: extracted next to it, and the package finds it.
clear_tmp
run "$KT_inst_msi_cab" --silent --no-silent-cert
check_run "external cabinet" 0 "" ""
check "external cabinet: the file from the cabinet" "Kestrelyn test product" \
  "$(tr -d '\r' < "$(product_dir KestrelynCab)/payload.txt" 2>/dev/null)"
tmp_empty "external cabinet"
run "$KT_inst_msi_cab" --silent --no-silent-cert --msiparams REMOVE=ALL
check "external cabinet: removed" "" "$(product_dir KestrelynCab)"

# Failures before the extraction: the temporary directory can't be read (a
# value too long for the buffer) or holds no new directory, the log's name
# does not fit.
long=$(printf 'x%.0s' $(seq 4200))
ZELK_TMPDIR="C:\\$long" run "$KT_inst_msi" --silent
matches "temporary directory unreadable" "1 $n: error: Failed to find temporary directory: KERR_[A-Z_]+" "$code $stderr"
ZELK_TMPDIR='C:\no\such\folder' run "$KT_inst_msi" --silent
check_run "temporary directory missing" 1 "" "$n: error: Failed to create extraction path: KERR_PATH_NOT_FOUND"
# An installing run makes its --path (or a directory inside it) before the
# log is named: a name that no directory can have fails there.
long=C:\\$(printf 'x%.0s' $(seq 4085))
run "$KT_inst_msi" --silent --logging --path "$long"
check_run "--path too long for a directory" 1 "" "$n: error: Failed to create extraction path '$long': KERR_FILE_NOT_FOUND"
tmp_empty "failures before the extraction"

# Lazy binding: MSI.DLL and CRYPT32.DLL are loaded only by the runs that call
# into them (Wine's trace of the DLLs it loads; Wine's MSI.DLL loads
# CRYPT32.DLL itself, so a run with --no-silent-cert tells nothing).
loaded() { # args...: the lazily bound DLLs that a run of inst-msi loaded
  WINEDEBUG=-all,+loaddll wine "$KT_launch" --timeout 120000 -- "$KT_inst_msi" "$@" </dev/null 2>&1 >/dev/null \
    | tr -d '\r' | grep -o -i -E '\\(msi|crypt32)\.dll"' | tr -d '\\"' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' '
}
check "lazy binding: silent install" "crypt32.dll msi.dll " "$(loaded --silent)"
clear_tmp
check "lazy binding: --extract" "" "$(loaded --silent --extract)"
check "lazy binding: --help" "" "$(loaded --help)"
clear_tmp
remove_product "$KT_inst_msi"

# DLLs planted beside the installer under the names of the lazily bound ones,
# with Wine told to prefer a DLL of that name that is not its own: a program
# that loads them by bare name picks them up (markers appear), the installer
# takes the system's in every kind of run.
planted=$work/planted
rm -rf "$planted"
mkdir -p "$planted"
cp "$KT_inst_msi" "$planted/inst.exe"
cp "$KT_fsprobe" "$planted/control.exe"
dlls="MSI CRYPT32 SHELL32 WS2_32 USER32"
for dll in $dlls; do cp "$KT_plant" "$planted/$dll.DLL"; done
markers() { (cd "$planted" && ls ./*.loaded 2>/dev/null | sed 's|^\./||' | tr '\n' ' '); }
export WINEDLLOVERRIDES="msi,crypt32,shell32,ws2_32,user32=n,b"
wine "$planted/control.exe" loadlib $(for d in $dlls; do echo "$d.DLL"; done) </dev/null >/dev/null 2>&1
check "planted DLLs: the control loads them" \
  "CRYPT32.DLL.loaded MSI.DLL.loaded SHELL32.DLL.loaded USER32.DLL.loaded WS2_32.DLL.loaded " "$(markers)"
rm -f "$planted"/*.loaded
run "$planted/inst.exe" --silent
check "planted DLLs: silent install" "0 " "$code $(markers)"
run "$planted/inst.exe"
check "planted DLLs: interactive install" "$interactive " "$code $(markers)"
clear_tmp
run "$planted/inst.exe" --extract
check "planted DLLs: --extract" "0 " "$code $(markers)"
unset WINEDLLOVERRIDES
clear_tmp
remove_product "$KT_inst_msi"

finish
