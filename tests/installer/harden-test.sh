#!/usr/bin/env bash
# What others may have put in the installer's way (in real life another user
# of a folder that everyone can write to, before an elevated run): nothing
# planted is used or written through.  Links are Unix symbolic links, which
# Wine follows as Windows follows a link.  An existing --path gets a new
# private directory of 24 random characters inside it for an installing run
# and is left as it was; a cabinet keeps its header's name, so the Windows
# Installer finds the carried one; the log and extract-only files are always
# new files; header names that Windows opens as devices or renames are
# refused before anything is written.
source "$(dirname "$0")/lib.sh"

drive_c=$WINEPREFIX/drive_c
product_dir() {
  local pf
  for pf in "Program Files (x86)" "Program Files"; do
    [ -d "$drive_c/$pf/$1" ] && { echo "$drive_c/$pf/$1"; return; }
  done
}
cab=$KT_inst_cab_amd64
n=$(exe "$cab")
payload() { tr -d '\r' < "$(product_dir KestrelynCab)/payload.txt" 2>/dev/null; }
remove_cab() { run "$cab" --silent --no-silent-cert --msiparams REMOVE=ALL; }
rnd='[0-9a-z]{24}'
remove_cab

# An external cabinet packed for one architecture: the Windows Installer finds it beside the package.
clear_tmp
run "$cab" --silent --no-silent-cert
check_run "cabinet for one architecture" 0 "" ""
check "cabinet for one architecture: the file from the cabinet" "Kestrelyn test product" "$(payload)"
tmp_empty "cabinet for one architecture"
remove_cab
check "cabinet for one architecture: removed" "" "$(product_dir KestrelynCab)"

# An existing --path holding a cabinet of the right name with other content,
# and links under the log's name and the custom folder's: the carried cabinet
# is installed, the log and the copy land in a directory of the run's own,
# and the planted names and what they lead to keep their bytes.
borrowed=$work/borrowed
victim=$work/victim
mkdir -p "$borrowed" "$victim/dir" "$work/inst/.custom"
printf 'planted product' > "$work/planted.txt"
python3 "$(dirname "$0")/mkcab.py" "$borrowed/product.cab" PayloadTxt="$work/planted.txt"
cp "$borrowed/product.cab" "$work/planted.cab"
printf 'victim log' > "$victim/log.txt"
ln -s "$victim/log.txt" "$borrowed/QornInstallLog.txt"
ln -s "$victim/dir" "$borrowed/.custom"
echo custom > "$work/inst/.custom/custom.txt"
cp "$cab" "$work/inst/inst.exe"
before=$(listing "$borrowed")
run "$work/inst/inst.exe" --silent --no-silent-cert --logging --path "$(winepath -w "$borrowed")"
check_run "existing --path" 0 "" ""
check "existing --path: the carried cabinet was installed" "Kestrelyn test product" "$(payload)"
cmp -s "$work/planted.cab" "$borrowed/product.cab" && ok "existing --path: the planted cabinet is unchanged" \
  || fail "existing --path: the planted cabinet changed"
check "existing --path: the log link's target keeps its bytes" "victim log" "$(cat "$victim/log.txt")"
check "existing --path: nothing copied through the .custom link" "" "$(listing "$victim/dir")"
# The run's own directory holds the log, so it stays, with its copied .custom
# (whose files have no records); nothing else changed.
own=$(cd "$borrowed" && find . -mindepth 1 -maxdepth 1 -type d -printf '%P\n' | grep -E "^$rnd$")
check "existing --path: a directory of its own beside what was there" \
  ".custom OWN OWN/.custom OWN/.custom/custom.txt OWN/QornInstallLog.txt QornInstallLog.txt product.cab" \
  "$(listing "$borrowed" | tr ' ' '\n' | sed "s|^${own:-none}|OWN|" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
grep -aq "KestrelynCab" <(tr -d '\0' < "$borrowed/$own/QornInstallLog.txt" 2>/dev/null) \
  && ok "existing --path: the log in the run's own directory" || fail "existing --path: no log in '$own'"
check "existing --path: the links are still links" "$victim/log.txt $victim/dir" \
  "$(readlink "$borrowed/QornInstallLog.txt") $(readlink "$borrowed/.custom")"
remove_cab
# Without the log and the copy, the run's directory goes and the folder is as it was.
rm -rf "${borrowed:?}/$own"
run "$cab" --silent --no-silent-cert --path "$(winepath -w "$borrowed")"
check_run "existing --path, no log" 0 "" ""
check "existing --path, no log: the folder as it was" "$before" "$(listing "$borrowed")"
check "existing --path, no log: installed from the carried cabinet" "Kestrelyn test product" "$(payload)"
remove_cab
# A --path that does not exist is made, used as it is, and removed.
run "$cab" --silent --no-silent-cert --path "$(winepath -w "$work/made")"
check_run "missing --path" 0 "" ""
check "missing --path: removed again" "" "$(ls -d "$work/made" 2>/dev/null)"
remove_cab
tmp_empty "--path runs"

# --msi-log-file naming a planted link: the name gets a new file with the log,
# the link's target keeps its bytes.
printf 'victim log' > "$victim/named.txt"
ln -s "$victim/named.txt" "$work/named.log"
run "$cab" --silent --no-silent-cert --msi-log-file "$(winepath -w "$work/named.log")"
check_run "--msi-log-file on a link" 0 "" ""
check "--msi-log-file on a link: the target keeps its bytes" "victim log" "$(cat "$victim/named.txt")"
[ -f "$work/named.log" ] && [ ! -L "$work/named.log" ] && grep -aq "KestrelynCab" <(tr -d '\0' < "$work/named.log") \
  && ok "--msi-log-file on a link: a new file with the log" || fail "--msi-log-file on a link: no new log file"
remove_cab
tmp_empty "--msi-log-file"

# Extract-only writes where it is told, each file new: a link planted under a
# package's name is replaced by the package, its target keeps its bytes.
dest=$work/dest
mkdir -p "$dest"
printf 'victim cab' > "$victim/cab.bin"
ln -s "$victim/cab.bin" "$dest/product.cab"
run "$cab" --silent --extract --path "$(winepath -w "$dest")"
check_run "extract-only over a link" 0 "Files were extracted to: $(winepath -w "$dest")" ""
check "extract-only over a link: the target keeps its bytes" "victim cab" "$(cat "$victim/cab.bin")"
[ ! -L "$dest/product.cab" ] && same_file "extract-only over a link: the package" product.cab "$dest/product.cab" \
  || fail "extract-only over a link: still a link"
check "extract-only over a link: files" "product.cab x.msi" "$(listing "$dest")"

# Header names that Windows opens as devices (any case, any suffix, blanks
# before the suffix) or stores under another name (a trailing dot or blank).
for bad in nul com1 con lpt9 aux prn conout dot blank; do
  var=KT_bad_dev_$bad
  prog=${!var}
  clear_tmp
  for mode in "" --extract; do
    run "$prog" --silent $mode
    check_run "header name ($bad) ${mode:-installing}" 1 "" \
      "$(exe "$prog"): error: Internal error: Could not find package header #0: KERR_INVALID_NAME"
    tmp_empty "header name ($bad) ${mode:-installing}"
  done
done

finish
