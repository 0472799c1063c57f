#!/usr/bin/env bash
# arch-test.sh 64|32: the architecture filter of real installers on a 64-bit
# Wine prefix (the test bench's, where a 32-bit process runs under WOW64) or
# on a 32-bit one (WINEARCH=win32, made on first use and served for this test
# only).  Each inst-archN carries one package of architecture N whose unknown
# suffix makes the installation pass name it when, and only when, it applies.
bits=$1
if [ "$bits" == 32 ]; then
  "$KT_TOOLS/wine-bench.sh" stop "$WINEPREFIX"
  "$KT_TOOLS/wine-bench.sh" start "$WINEPREFIX" win32 || { echo "FAIL no 32-bit prefix"; exit 1; }
  trap '"$KT_TOOLS/wine-bench.sh" stop "$WINEPREFIX"' EXIT
fi
source "$(dirname "$0")/lib.sh"

rnd='[0-9a-z]{24}'
wtmp_re=${wtmp//\\/\\\\}
if [ "$bits" == 32 ]; then
  check "the prefix is 32-bit" "#arch=win32" "$(grep -m1 '^#arch=' "$WINEPREFIX/system.reg")"
  applies="1 2"
  host=x86
else
  check "the prefix is 64-bit" "#arch=win64" "$(grep -m1 '^#arch=' "$WINEPREFIX/system.reg")"
  applies="1 3"
  host=amd64
fi

for arch in 0 1 2 3 4; do
  var=KT_inst_arch$arch
  prog=${!var}
  clear_tmp
  run "$prog" --silent
  if [[ " $applies " == *" $arch "* ]]; then
    [ "$arch" == 1 ] && file="arch1\.bin" || file="$rnd\.bin"
    check "architecture $arch applies: exit code" 1 "$code"
    matches "architecture $arch applies: extracted and handed to the installation pass" \
      "$(exe "$prog"): error: Internal error: Do not know how to handle file 'arch$arch\.bin' \($wtmp_re\\\\$rnd\\\\$file\)\." \
      "$stderr"
  else
    check_run "architecture $arch does not apply: nothing for this host" 1 "" \
      "$(exe "$prog"): error: This installer has no package for this host ($host)."
  fi
  tmp_empty "architecture $arch"
  # Extract-only takes every package, whatever its architecture.
  run "$prog" --silent --extract
  check_run "architecture $arch, extract-only" 0 "Files were extracted to: $wtmp" ""
  same_file "architecture $arch, extract-only: file" small.bin "$tmp/arch$arch.bin"
done

clear_tmp
run "$KT_inst_one" --silent
if [ "$bits" == 32 ]; then
  check_run "a package for 64-bit hosts only" 1 "" "$(exe "$KT_inst_one"): error: This installer has no package for this host (x86)."
else
  check_run "a package for 64-bit hosts only" 0 "" ""
fi
tmp_empty "a package for 64-bit hosts only"

# Interactive runs refuse 32-bit hosts, before anything is extracted.
if [ "$bits" == 32 ]; then
  report=$(xvfb-run -a -s '-screen 0 1024x768x24' wine "$KT_uiprobe" --dismiss --timeout 60000 -- "$KT_inst_one" \
           </dev/null 2>/dev/null | tr -d '\r')
  check "interactive run on a 32-bit host" "box-title: Kestrelyn Installer
box-text: 32-bit Windows hosts are not supported by this Kestrelyn release.
exit code: 1" "$report"
  tmp_empty "interactive run on a 32-bit host"
  run "$KT_inst_one" --silent --extract
  check_run "extract-only on a 32-bit host" 0 "Files were extracted to: $wtmp" ""
fi

finish
