#!/usr/bin/env bash
# Where packages go: extract-only runs into the temporary directory or a
# --path (relative, existing, missing with or without its parent), under the
# header's file name, replacing what is there; normal runs into a new
# directory of 24 random characters that the cleanup removes, with package
# files named by 24 random characters and the package's suffix; and a --path
# directory that exists before the run, which is kept while its files go.
source "$(dirname "$0")/lib.sh"

mixed=$KT_inst_mixed
mixed_files="amd64.msi any.cab four.msi x86.msi zero.msi"
rnd='[0-9a-z]{24}'

check_mixed() { # NAME DIR: every package of inst-mixed, whatever its architecture
  local what=$1 dir=$2
  check "$what: files" "$mixed_files" "$(listing "$dir")"
  same_file "$what: x86.msi" small.bin "$dir/x86.msi"
  same_file "$what: amd64.msi" small2.bin "$dir/amd64.msi"
  same_file "$what: any.cab (one 64 KiB block)" block-64k.bin "$dir/any.cab"
  same_file "$what: zero.msi (64 KiB and one byte)" block-64k1.bin "$dir/zero.msi"
  same_file "$what: four.msi" big.bin "$dir/four.msi"
}

# Extract-only into the temporary directory itself, every architecture.
for opt in --extract -extract /extract -x; do
  clear_tmp
  run "$mixed" --silent "$opt"
  check_run "$opt into the temporary directory" 0 "Files were extracted to: $wtmp" ""
  check_mixed "$opt" "$tmp"
done

# An existing file of the same name is replaced, a longer one cut to size.
clear_tmp
head -c 400000 /dev/zero > "$tmp/four.msi"
echo "old" > "$tmp/x86.msi"
touch "$tmp/unrelated.txt"
run "$mixed" --silent --extract
check_run "extract over existing files" 0 "Files were extracted to: $wtmp" ""
same_file "replaced: four.msi" big.bin "$tmp/four.msi"
same_file "replaced: x86.msi" small.bin "$tmp/x86.msi"
check "other files untouched" "amd64.msi any.cab four.msi unrelated.txt x86.msi zero.msi" "$(listing "$tmp")"

# Names planted in the temporary directory before the run (by another user,
# in real life): the package is always a file of its own.  A hard link is not
# written through, so its other name, the victim, keeps its bytes; a planted
# file is removed, not rewritten, so the package has a new file ID.  The
# shell holds the planted file open, so its inode can't be reused meanwhile.
clear_tmp
printf 'victim' > "$work/victim.txt"
ln "$work/victim.txt" "$tmp/x86.msi"
printf 'planted' > "$tmp/amd64.msi"
exec 3<"$tmp/amd64.msi"
run "$KT_fsprobe" file-id "$(winepath -w "$tmp/amd64.msi")"
planted_id=$stdout
run "$mixed" --silent --extract
check_run "extract over a hard link and a planted file" 0 "Files were extracted to: $wtmp" ""
check "hard link: the victim is unchanged" "victim" "$(head -c 16 "$work/victim.txt")"
check "hard link: the victim has no other name left" 1 "$(stat -c %h "$work/victim.txt")"
same_file "hard link: the package is written" small.bin "$tmp/x86.msi"
run "$KT_fsprobe" file-id "$(winepath -w "$tmp/amd64.msi")"
[ "$code" == 0 ] && [ -n "$planted_id" ] && [ "$stdout" != "$planted_id" ] && ok "planted file: a new file ID" \
  || fail "planted file: file ID $planted_id before, $stdout after (exit $code)"
check "planted file: the old file is untouched" "planted" "$(head -c 16 <&3)"
exec 3<&-
same_file "planted file: the package is written" small2.bin "$tmp/amd64.msi"

# A planted file that can't be replaced (held open without delete sharing;
# renaming over it is refused as access denied, as Windows does) stops the
# run before anything is written through it, and leaves nothing beside it.
clear_tmp
printf 'held' > "$tmp/x86.msi"
wine "$KT_fsprobe" hold "$(winepath -w "$tmp/x86.msi")" 4000 "$(winepath -w "$work/held.ready")" </dev/null >/dev/null 2>&1 &
holder=$!
for _ in $(seq 300); do [ -e "$work/held.ready" ] && break; sleep 0.1; done
run "$mixed" --silent --extract
check_run "planted file held open" 1 "" "error: #0: Failed to create/replace '$wtmp\\x86.msi' for writing: KERR_ACCESS_DENIED
$(exe "$mixed"): error: Error extracting package #0 (x86.msi): KERR_ACCESS_DENIED"
check "planted file held open: unchanged" "held" "$(head -c 16 "$tmp/x86.msi")"
check "planted file held open: nothing else" "x86.msi" "$(listing "$tmp")"
wait $holder
rm -f "$work/held.ready"

# --path, in its spellings, to an existing directory.
n=0
for opt in --path -path /path -p; do
  clear_tmp
  n=$((n + 1))
  dest=$work/dest$n
  rm -rf "$dest"; mkdir -p "$dest"
  run "$mixed" --silent --extract "$opt" "$(winepath -w "$dest")"
  check_run "$opt: existing directory" 0 "Files were extracted to: $(winepath -w "$dest")" ""
  check_mixed "$opt" "$dest"
  tmp_empty "$opt"
done
dest=$work/joined
mkdir -p "$dest"
run "$mixed" --silent --extract "--path=$(winepath -w "$dest")"
check_run "--path=value" 0 "Files were extracted to: $(winepath -w "$dest")" ""
check "--path=value: files" "$mixed_files" "$(listing "$dest")"

# A relative --path is taken from the current directory, and forward slashes become backslashes.
mkdir -p "$work/cwd/rel"
run --cwd "$work/cwd" "$mixed" --silent --extract --path rel/sub
check_run "relative, missing with existing parent" 0 "Files were extracted to: $(winepath -w "$work/cwd/rel/sub")" ""
check_mixed "relative" "$work/cwd/rel/sub"

# Missing with a missing parent: nothing is made.
clear_tmp
run "$mixed" --silent --extract --path "$(winepath -w "$work/no/such")"
check_run "missing parent" 1 "" \
  "$(exe "$mixed"): error: Failed to create extraction path '$(winepath -w "$work/no/such")': KERR_PATH_NOT_FOUND"
check "missing parent: nothing made" "" "$(ls -d "$work/no" 2>/dev/null)"
tmp_empty "missing parent"

# A later --path replaces an earlier one; an empty one clears it.
clear_tmp
run "$mixed" --silent --extract --path "$(winepath -w "$work/never")" --path ""
check_run "an empty --path clears an earlier one" 0 "Files were extracted to: $wtmp" ""
check "cleared --path: files in the temporary directory" "$mixed_files" "$(listing "$tmp")"
check "cleared --path: nothing made" "" "$(ls -d "$work/never" 2>/dev/null)"

# A normal run: a new 24-character directory and a 24-character file name with
# the package's suffix (the unknown suffix makes the installation pass name it).
clear_tmp
run "$KT_inst_arch3" --silent
check "normal run: exit code" 1 "$code"
matches "normal run: random directory and file name" \
  "$(exe "$KT_inst_arch3"): error: Internal error: Do not know how to handle file 'arch3\.bin' \(${wtmp//\\/\\\\}\\\\$rnd\\\\$rnd\.bin\)\." \
  "$stderr"
tmp_empty "normal run"
run "$KT_inst_arch1" --silent
matches "normal run: a package for any architecture keeps its name" \
  "$(exe "$KT_inst_arch1"): error: Internal error: Do not know how to handle file 'arch1\.bin' \(${wtmp//\\/\\\\}\\\\$rnd\\\\arch1\.bin\)\." \
  "$stderr"
tmp_empty "normal run, any architecture"
# Two runs never share a directory.
run "$KT_inst_arch3" --silent
first=$stderr
run "$KT_inst_arch3" --silent
[ "$first" != "$stderr" ] && ok "two runs, two random names" || fail "two runs gave the same names: $first"

clear_tmp
run "$KT_inst_one" --silent
check_run "normal run of an MSI package" 0 "" ""
tmp_empty "normal run of an MSI package"
run "$KT_inst_one" --silent --no-silent-cert --reinstall --msi-prop A "b c" --ignore-reboot
check_run "normal run with options" 0 "" ""
tmp_empty "normal run with options"

# A verbose run that can't have a console of its own (this launcher's is
# inherited under Wine) stops there, and its directory goes all the same.
clear_tmp
run "$KT_inst_one" --silent --verbose
check_run "no console for --verbose" 1 "" "$(exe "$KT_inst_one"): error: Unable to allocate console: LastError=5"
tmp_empty "no console for --verbose"

# --path to an existing directory: its files are removed, the directory stays.
keep=$work/keep
mkdir -p "$keep"
touch "$keep/mine.txt"
run "$KT_inst_any" --silent --path "$(winepath -w "$keep")"
check_run "--path to an existing directory" 0 "" ""
check "--path to an existing directory: only what was there stays" "mine.txt" "$(listing "$keep")"
# ... and a missing one (with its parent) is made and removed again.
run "$KT_inst_any" --silent --path "$(winepath -w "$work/made")"
check_run "--path to a missing directory" 0 "" ""
check "--path to a missing directory: removed again" "" "$(ls -d "$work/made" 2>/dev/null)"
run --cwd "$work" "$KT_inst_any" --silent --path made-rel
check_run "relative --path, normal run" 0 "" ""
check "relative --path, normal run: removed again" "" "$(ls -d "$work/made-rel" 2>/dev/null)"
tmp_empty "--path runs"

finish
