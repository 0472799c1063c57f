#!/usr/bin/env bash
# check-imports.sh OBJDUMP EXE...: each executable imports from KERNEL32.dll
# and ntdll.dll and nothing else (delay-loaded imports are listed by objdump
# in a section of their own and are not counted here).
set -euo pipefail
objdump=$1; shift
fails=0
for exe in "$@"; do
  dlls=$("$objdump" -p "$exe" | sed -n '/^The Import Tables/,/^The Delay Import/p' \
         | sed -n 's/^\s*DLL Name: //p' | sort -u | tr '\n' ' ')
  extra=$(printf '%s\n' $dlls | grep -v -x -e KERNEL32.dll -e ntdll.dll || true)
  if [ -z "$dlls" ] || [ -n "$extra" ]; then
    echo "FAIL $(basename "$exe") imports: $dlls"
    fails=$((fails + 1))
  else
    echo "ok $(basename "$exe") imports: $dlls"
  fi
done
exit "$fails"
