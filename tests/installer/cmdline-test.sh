#!/usr/bin/env bash
# The command line of real installers in silent runs: every spelling of every
# option, help and version, the order of --silent, the MSI parameter rules and
# their limits, and the parser's own errors on standard error with exit 2.
# What the parameters finally read is checked on the console of verbose runs
# (interactive-test.sh) and by installer-stub-test.
source "$(dirname "$0")/lib.sh"

stub=$KT_QornStub
name=$(exe "$stub")
manifest_missing="$name: error: Internal package error: Manifest not found (KERR_GENERAL_FAILURE)"

# An option that is accepted lets the payload-less stub go on to its manifest.
accepted() { # NAME ARGS...
  local what=$1; shift
  clear_tmp
  run "$stub" --silent "$@"
  check_run "$what" 1 "" "$manifest_missing"
  tmp_empty "$what"
}

help_text="-- Kestrelyn Installer v$KT_VERSION --

Command Line Parameters:

--extract
    Extract file contents to temporary directory
--logging
    Enables MSI installer logging (to extract path)
--msi-exit-codes
    Exit codes of failures are the Windows Installer's
--msi-log-file <path/to/file>
    Sets MSI logging to <file>
--msiparams <parameters>
    Specifies extra parameters for the MSI installers
    double quoted arguments must be doubled and put
    in quotes: --msiparams \"PROP=\"\"a b c\"\"\"
--msi-prop <prop> <value>
    Adds <prop>=<value> to the MSI parameters,
    quoting the property value if necessary
--no-silent-cert
    Do not install Kestrelyn Certificate automatically
    when --silent option is specified
--path
    Sets the path of the extraction directory
--reinstall
    Forces Kestrelyn to get re-installed
--ignore-reboot
   Do not set exit code to 3010 if a reboot is required
--silent
   Enables silent mode installation
--version
   Displays version number and exit
--wait <seconds>
   Waits up to <seconds> for another installer
-?, -h, --help
   Displays this help text and exit

Examples:
  $stub --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\Kestrelyn\"\"\"
  $stub --extract -path C:\\Qorn"

for opt in --help -help /help '/?' -h '-?'; do
  run "$stub" --silent "$opt"
  check_run "help: $opt" 0 "$help_text" ""
done
for opt in --version -version /version -V; do
  run "$stub" --silent "$opt"
  check_run "version: $opt" 0 "Version: $KT_VERSION" ""
done
# The first option that ends the run wins; nothing after it is looked at.
run "$stub" --silent --version --help --bogus
check_run "version before help" 0 "Version: $KT_VERSION" ""

# --silent counts from where it stands: before it, messages go to a box.
run "$stub" --silent --bogus
check_run "silent, then unknown option" 2 "" "$name: error: Unknown option: '--bogus'"
run "$stub" --bogus --silent
check_run "unknown option, then silent: no output" 2 "" ""
run "$stub" --help --silent
check_run "help, then silent: no output" 0 "" ""
for opt in --silent -silent /silent -s; do
  run "$stub" "$opt" --no-such-option
  check_run "silent: $opt" 2 "" "$name: error: Unknown option: '--no-such-option'"
done

# Unknown options and stray arguments: the parser's message, exit 2.
run "$stub" --silent -extractt
check_run "misspelt option" 2 "" "$name: error: Unknown option: '-extractt'"
run "$stub" --silent -q
check_run "unknown short option" 2 "" "$name: error: Unknown option: '-q'"
run "$stub" --silent B=2
check_run "stray argument" 2 "" "$name: error: Invalid parameter: B=2"
run "$stub" --silent -- --extract
check_run "after --, options are plain arguments" 2 "" "$name: error: Invalid parameter: --extract"
run "$stub" --silent --path
check_run "value missing" 2 "" "$name: error: --path: The option requires a value."
for s in /extract -extract --extract; do
  clear_tmp
  run "$stub" --silent "$s" stray
  check_run "stray argument after $s" 2 "" "$name: error: Invalid parameter: stray"
  tmp_empty "stray argument after $s"
done

# Options without a visible effect yet are accepted (no syntax error).
for opt in --no-silent-cert -no-silent-cert /no-silent-cert -c --no-install-timestamp-ca \
           --force-install-timestamp-ca -t -T --logging -logging /logging -l --ignore-reboot -r; do
  accepted "accepted: $opt" "$opt"
done
accepted "bundled short options" -lcr
for opt in --msi-log-file -msilogfile; do
  accepted "accepted: $opt" "$opt" install.log
  accepted "accepted: $opt=value" "$opt=install.log"
  accepted "accepted: $opt, empty" "$opt" ""
done

# Once there are MSI parameters, plain arguments continue them.
for opt in --msiparams -msiparams -m; do
  accepted "$opt, then plain arguments" "$opt" A=1 B=2 C=3
done
for opt in --reinstall -reinstall /reinstall -f; do
  accepted "$opt, then plain arguments" "$opt" X=1
  accepted "$opt twice" "$opt" "$opt"
done
accepted "--msi-prop, then plain arguments" --msi-prop A 1 B=2
accepted "-P" -P A 1
accepted "--msiparams, --, options as parameters" --msiparams A=1 -- --extract /path
accepted "--msi-prop with an empty name" --msi-prop "" value
accepted "--msi-prop value that looks like an option" --msi-prop A --extract

# --msi-prop's own errors.
run "$stub" --silent --msi-prop INSTALLDIR
check_run "--msi-prop without value" 2 "" "$name: error: --msi-prop takes two arguments, the 2nd is missing"
run "$stub" --silent -P INSTALLDIR
check_run "-P without value" 2 "" "$name: error: --msi-prop takes two arguments, the 2nd is missing"
run "$stub" --silent --msi-prop "A B" v
check_run "--msi-prop name with a blank" 2 "" \
  "$name: error: The first argument to --msi-prop must not contain spaces: A B"
run "$stub" --silent --msi-prop "A	B" v
check_run "--msi-prop name with a tab" 2 "" \
  "$name: error: The first argument to --msi-prop must not contain spaces: A	B"
# Property names as the Windows Installer takes them: ASCII letters, digits,
# '_' and '.', not starting with a digit or a '.'; the empty name as designed.
for prop in A z _ _9 A.b_9 INSTALLDIR Z.Z. a..b; do
  accepted "--msi-prop name $prop" --msi-prop "$prop" v
done
for prop in 'A=B' 'A"B' '"' '1A' '9' '.A' '.' 'A-B' 'A;B' 'A/B' '@A' 'Ä' 'A€' 'A[B]' '=' 'A%B'; do
  run "$stub" --silent --msi-prop "$prop" v
  # Standard error speaks the ANSI code page (1252 here).
  check_run "--msi-prop name $prop refused" 2 "" \
    "$name: error: The first argument to --msi-prop must be a property name: $(iconv -t CP1252 <<<"$prop")"
done
run "$stub" --silent --msi-prop
check_run "--msi-prop without a name" 2 "" "$name: error: --msi-prop: The option requires a value."

# The parameters hold 4095 characters and their terminator.
x4093=$(printf 'x%.0s' $(seq 4093))
accepted "4095 characters of parameters" --msiparams "A=$x4093"
run "$stub" --silent --msiparams "A=${x4093}x"
check_run "4096 characters of parameters" 2 "" "$name: error: Out of space for MSI parameters and properties"
accepted "4095 with a blank and a plain argument" --msiparams "${x4093}" Z
run "$stub" --silent --msiparams "${x4093}x" Z
check_run "4096 with a blank and a plain argument" 2 "" "$name: error: Out of space for MSI parameters and properties"
run "$stub" --silent --msiparams "${x4093}xx" --reinstall
check_run "no room for the separator" 2 "" "$name: error: Out of space for MSI parameters and properties"
accepted "property filling 4095" --msiparams "${x4093:0:4091}" --msi-prop P v
run "$stub" --silent --msiparams "${x4093:0:4092}" --msi-prop P v
check_run "property one past 4095" 2 "" "$name: error: Out of space for MSI parameters and properties"
accepted "quoted property filling 4095" --msi-prop P "${x4093:0:4089} x"
run "$stub" --silent --msi-prop P "${x4093:0:4090} x"
check_run "quoted property one past 4095" 2 "" "$name: error: Out of space for MSI parameters and properties"

# Paths are made absolute into 4100 bytes.
long=$(printf 'd%.0s' $(seq 4200))
for opt in --path -path /path -p; do
  run "$stub" --silent "$opt" "$long"
  check_run "$opt too long" 2 "" "$name: error: Extraction path is too long (KERR_BUFFER_OVERFLOW)"
done
for opt in --msi-log-file -msilogfile; do
  run "$stub" --silent "$opt" "$long"
  check_run "$opt too long" 2 "" "$name: error: MSI log file path is too long (KERR_BUFFER_OVERFLOW)"
done
finish
