#!/usr/bin/env bash
# install-bench.sh [ROUNDS]: a silent install of the demo MSI through the
# demo installer (KestrelynDemoSetup.exe --silent --no-silent-cert) against
# the Windows Installer on its own (msiexec /i demo.msi /qn), side by side
# under the same Wine, alternating, ROUNDS times (default 5).  Each install
# is followed by an unmeasured removal.  Reports the median of each and their
# ratio (goal: at most 1.2).  Not part of the test run: it uses the win
# preset's build and a Wine prefix of its own, build/win/bench-prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
build=$PWD/build/win

cmake --preset win >/dev/null
cmake --build --preset win -j 2 --target KestrelynDemoSetup launch >/dev/null

export WINEPREFIX=$build/bench-prefix WINEDEBUG=-all
tools/wine-bench.sh start "$WINEPREFIX"
trap 'tools/wine-bench.sh stop "$WINEPREFIX"' EXIT

installer=$build/Installer/demo/KestrelynDemoSetup.exe
msi=$(ls "$build"/Installer/demo/KestrelynDemo-*.msi | head -1)
wmsi=$(winepath -w "$msi")
launch=$build/tests/tools/launch.exe

ms() { # command...: wall time in milliseconds; the command must exit 0
  local start end
  start=$(date +%s%N)
  "$@" </dev/null >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
# Full exit codes through the launcher: "exit code: 0" or a failure.
through_launcher() { wine "$launch" -- "$@" | tr -d '\r' | grep -qx 'exit code: 0'; }
remove() { wine msiexec /x "$wmsi" /qn </dev/null >/dev/null 2>&1 || true; }

remove
# One round of each first: the Windows Installer's own first start is slow.
through_launcher "$installer" --silent --no-silent-cert && remove
t_inst=() t_msi=()
for _ in $(seq "$rounds"); do
  t_inst+=("$(ms through_launcher "$installer" --silent --no-silent-cert)"); remove
  t_msi+=("$(ms through_launcher msiexec /i "$wmsi" /qn)"); remove
done
mi=$(echo "${t_inst[*]}" | median)
mm=$(echo "${t_msi[*]}" | median)
echo "installer --silent: ${t_inst[*]} ms (median $mi)"
echo "msiexec /i /qn:     ${t_msi[*]} ms (median $mm)"
awk -v a="$mi" -v b="$mm" 'BEGIN { printf "ratio installer/msiexec: %.2f (goal <= 1.2)\n", a / b }'
