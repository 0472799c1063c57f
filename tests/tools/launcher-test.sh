#!/usr/bin/env bash
# The launcher reports full exit codes (beyond the 8 bits a shell sees) and
# captures the child's streams, with arguments passed through unchanged.
set -euo pipefail
launch=$1 child=$2 out=$3
mkdir -p "$out"
fails=0
check() { # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2], got [$3]"; fails=$((fails+1)); fi
}
for code in 0 1 3 194 3010 1627 305419896; do
  got=$(wine "$launch" --stdout "$out/o.txt" --stderr "$out/e.txt" -- "$child" "$code" | tr -d '\r')
  check "exit $code" "exit code: $code" "$got"
done
wine "$launch" --stdout "$out/o.txt" --stderr "$out/e.txt" -- "$child" 7 'a b' 'q"x' 'back\' '' >/dev/null
check stdout $'arg1=[a b]\narg2=[q"x]\narg3=[back\\]\narg4=[]' "$(tr -d '\r' < "$out/o.txt")"
check stderr "stderr line" "$(tr -d '\r' < "$out/e.txt")"
[ "$fails" -eq 0 ] && echo "launcher: all checks passed"
exit "$fails"
