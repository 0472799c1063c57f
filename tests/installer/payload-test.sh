#!/usr/bin/env bash
# Payloads, sound and broken, through real installers: each broken one gives
# its message and exit code, and a normal run leaves nothing in the temporary
# directory.  Extract-only runs keep what they wrote, on purpose.
source "$(dirname "$0")/lib.sh"

rnd='[0-9a-z]{24}'
wtmp_re=${wtmp//\\/\\\\}

# broken NAME PROGRAM STDERR-PATTERN: a normal silent run fails with exit 1 and
# this standard error (an extended regular expression), leaving nothing behind.
broken() {
  local what=$1 prog=$2 pattern=$3
  clear_tmp
  run "$prog" --silent
  check "$what: exit code" 1 "$code"
  check "$what: nothing on standard output" "" "$stdout"
  matches "$what: message" "$pattern" "$stderr"
  tmp_empty "$what"
}

n=$(exe "$KT_bad_nomanifest")
broken "no manifest" "$KT_bad_nomanifest" \
  "$n: error: Internal package error: Manifest not found \(KERR_GENERAL_FAILURE\)"
run "$KT_bad_nomanifest" --silent --extract
check_run "no manifest, extract-only" 1 "" "$n: error: Internal package error: Manifest not found (KERR_GENERAL_FAILURE)"
tmp_empty "no manifest, extract-only"

n=$(exe "$KT_bad_shortmanifest")
broken "manifest of 15 bytes" "$KT_bad_shortmanifest" \
  "$n: error: Internal package error: Manifest not found \(KERR_BAD_LENGTH\)"

n=$(exe "$KT_bad_count")
broken "count beyond the headers" "$KT_bad_count" \
  "$n: error: Internal error: Could not find package header #2: KERR_GENERAL_FAILURE"
run "$KT_bad_count" --silent --extract
check_run "count beyond the headers, extract-only" 1 "" \
  "$n: error: Internal error: Could not find package header #2: KERR_GENERAL_FAILURE"
check "count beyond the headers, extract-only: the packages before stay" "first.msi second.msi" "$(listing "$tmp")"
same_file "count beyond the headers, extract-only: first.msi" small.bin "$tmp/first.msi"

n=$(exe "$KT_bad_shorthdr")
broken "header of 255 bytes" "$KT_bad_shorthdr" \
  "$n: error: Internal error: Could not find package header #0: KERR_BAD_LENGTH"

n=$(exe "$KT_bad_noblob")
broken "header naming a missing blob" "$KT_bad_noblob" \
  "error: #0: Failed to locate resource 'BIN_00': KERR_GENERAL_FAILURE
$n: error: Error extracting package #0 \(x\.msi\): KERR_GENERAL_FAILURE"
run "$KT_bad_noblob" --silent --extract
check_run "missing blob, extract-only" 1 "" "error: #0: Failed to locate resource 'BIN_00': KERR_GENERAL_FAILURE
$n: error: Error extracting package #0 (x.msi): KERR_GENERAL_FAILURE"
check "missing blob, extract-only: the empty file stays" "x.msi" "$(listing "$tmp")"
check "missing blob, extract-only: empty" 0 "$(stat -c %s "$tmp/x.msi")"

n=$(exe "$KT_bad_emptyblob")
broken "empty blob" "$KT_bad_emptyblob" \
  "error: #1: Failed to locate resource 'BIN_01': KERR_NO_DATA
$n: error: Error extracting package #1 \(empty\.msi\): KERR_NO_DATA"

n=$(exe "$KT_bad_suffix")
broken "unknown suffix" "$KT_bad_suffix" \
  "$n: error: Internal error: Do not know how to handle file 'pkg\.bin' \($wtmp_re\\\\$rnd\\\\$rnd\.bin\)\."
run "$KT_bad_suffix" --silent --extract
check_run "unknown suffix, extract-only" 0 "Files were extracted to: $wtmp" ""
check "unknown suffix, extract-only: files" "first.msi pkg.bin" "$(listing "$tmp")"

# Header file names that would lead out of the extraction directory: refused
# before anything is written, in extract-only and normal runs.
for bad in up sub drive slash dot dotdot; do
  var=KT_bad_name_$bad
  prog=${!var}
  n=$(exe "$prog")
  broken "header name ($bad)" "$prog" \
    "$n: error: Internal error: Could not find package header #0: KERR_INVALID_NAME"
  run "$prog" --silent --extract
  check_run "header name ($bad), extract-only" 1 "" \
    "$n: error: Internal error: Could not find package header #0: KERR_INVALID_NAME"
  tmp_empty "header name ($bad), extract-only"
  check "header name ($bad): no package anywhere" "" "$(find "$work" \( -name '*.msi' -o -name a \))"
done

# A blob whose entry claims more than the image holds is a missing blob, not a crash.
for bad in bad_blobsize bad_blobsize1m; do
  var=KT_$bad
  n=$(exe "${!var}")
  broken "$bad" "${!var}" \
    "error: #0: Failed to locate resource 'BIN_00': KERR_GENERAL_FAILURE
$n: error: Error extracting package #0 \(x\.msi\): KERR_GENERAL_FAILURE"
done

# Sound but unusual payloads.
clear_tmp
run "$KT_inst_cab_upper" --silent
check_run "\".CAB\" in capitals is a cabinet" 0 "" ""
tmp_empty "\".CAB\" in capitals"

run "$KT_inst_count0" --silent
check_run "count 0" 0 "" ""
tmp_empty "count 0"
run "$KT_inst_count0" --silent --extract
check_run "count 0, extract-only" 0 "Files were extracted to: $wtmp" ""
tmp_empty "count 0, extract-only"

run "$KT_inst_magic" --silent --extract
check_run "another magic: only the count counts" 0 "Files were extracted to: $wtmp" ""
same_file "another magic: magic.msi" small.bin "$tmp/magic.msi"

clear_tmp
run "$KT_inst_res_lower" --silent --extract
check_run "blob named in lower case" 0 "Files were extracted to: $wtmp" ""
same_file "blob named in lower case: lower.msi" small.bin "$tmp/lower.msi"

clear_tmp
run "$KT_inst_many" --silent --extract
check_run "101 packages" 0 "Files were extracted to: $wtmp" ""
check "101 packages: files" 101 "$(ls "$tmp" | wc -l)"
same_file "101 packages: the one of header HDR_100" tiny.bin "$tmp/p100.cab"
clear_tmp
run "$KT_inst_many" --silent
check_run "101 packages, normal run" 0 "" ""
tmp_empty "101 packages, normal run"

# The payload is stored under U.S. English with code page 1252 and found through
# the neutral language; the certificate beside it is the build's.
matches "resources" "BIN_00 1033 1252 1000
BIN_01 1033 1252 3000
CERT 1033 1252 [0-9]+
HDR_00 1033 1252 256
HDR_01 1033 1252 256
MANIFEST 1033 1252 16" "$(python3 "$KT_TOOLS/mkpayload.py" list "$KT_bad_count")"
matches "resources of the stub without payload: the certificate alone" "CERT 1033 0 [0-9]+" \
  "$(python3 "$KT_TOOLS/mkpayload.py" list "$KT_QornStub")"

finish
