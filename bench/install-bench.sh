#!/usr/bin/env bash
# install-bench.sh [ROUNDS]: silent installs through the installer against
# the Windows Installer on its own (msiexec /i x.msi /qn), side by side under
# the same Wine, alternating, ROUNDS times (default 5), for two products:
#   demo   the demo MSI (10 KB, one file), through KestrelynDemoSetup.exe;
#   large  a product of about 50 MB in 500 files, made here with wixl into
#          build/win/bench-product (nothing of it is committed), packed with
#          kestrelyn-pack into the prebuilt stub.
# Both installers run with --silent --no-silent-cert.  Each install is
# followed by an unmeasured removal; each round also times an extract-only
# run of the installer, its own share of the fixed cost.  Reports the medians, the installer's
# fixed cost over msiexec in ms and the ratio (goal for the large product: at
# most 1.05).  Not part of the test run: it uses the win preset's build and a
# Wine prefix of its own, build/win/bench-prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
build=$PWD/build/win

cmake --preset win >/dev/null
cmake --build --preset win -j 2 --target QornStub KestrelynDemoSetup launch >/dev/null

# The large product: 500 files of 96 to 112 KiB (random bytes, as a real
# product's compressed files are), in 10 folders, one component each.
product=$build/bench-product
large_msi=$product/KestrelynBenchLarge.msi
if [ ! -f "$large_msi" ]; then
  rm -rf "$product"
  mkdir -p "$product/files"
  python3 - "$product" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(22)
comps, dirs = [], []
for d in range(10):
    os.makedirs(os.path.join(root, "files", f"d{d}"), exist_ok=True)
    files = []
    for i in range(50):
        n = d * 50 + i
        name = f"file{n:03d}.dat"
        with open(os.path.join(root, "files", f"d{d}", name), "wb") as f:
            f.write(rng.randbytes(96 * 1024 + rng.randrange(16 * 1024)))
        guid = "%08X-%04X-4%03X-8%03X-%012X" % (0x5EB0C000 + n, d, n, n, n)
        files.append(f'<Component Id="C{n}" Guid="{guid}"><File Id="F{n}" Name="{name}" '
                     f'Source="files/d{d}/{name}" KeyPath="yes"/></Component>')
        comps.append(f'<ComponentRef Id="C{n}"/>')
    dirs.append(f'<Directory Id="D{d}" Name="d{d}">' + "".join(files) + "</Directory>")
with open(os.path.join(root, "large.wxs"), "w") as f:
    f.write(f'''<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="7E41C2D0-5B6A-4C8E-9F10-2A3B4C5D6E7F" Name="Kestrelyn Bench Large" Language="1033"
           Version="1.0.0" Manufacturer="Kestrelyn Bench" UpgradeCode="8F52D3E1-6C7B-4D9F-A021-3B4C5D6E7F80">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" Description="Bench"/>
    <Media Id="1" Cabinet="large.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="ProgramFilesFolder">
      <Directory Id="INSTALLDIR" Name="Kestrelyn Bench Large">{"".join(dirs)}</Directory>
    </Directory></Directory>
    <Feature Id="Complete" Level="1">{"".join(comps)}</Feature>
  </Product>
</Wix>
''')
PY
  (cd "$product" && wixl -o "$large_msi" large.wxs)
fi
large_inst=$product/KestrelynBenchLargeSetup.exe
tools/kestrelyn-pack pack --allow-dev-cert --stub "$build/Installer/win/Stub/QornStub.exe" --out "$large_inst" \
  "$large_msi:any" 2>/dev/null
echo "large product: $(find "$product/files" -type f | wc -l) files, $(du -sm "$product/files" | cut -f1) MB;" \
  "MSI $(($(stat -c %s "$large_msi") >> 20)) MiB"

export WINEPREFIX=$build/bench-prefix WINEDEBUG=-all
tools/wine-bench.sh start "$WINEPREFIX"
trap 'tools/wine-bench.sh stop "$WINEPREFIX"' EXIT

demo_inst=$build/Installer/demo/KestrelynDemoSetup.exe
demo_msi=$(ls "$build"/Installer/demo/KestrelynDemo-*.msi | head -1)
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
remove() { wine msiexec /x "$1" /qn </dev/null >/dev/null 2>&1 || true; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for what in demo large; do
  if [ $what = demo ]; then inst=$demo_inst msi=$demo_msi; else inst=$large_inst msi=$large_msi; fi
  wmsi=$(winepath -w "$msi")
  remove "$wmsi"
  # One round of each first: the Windows Installer's own first start is slow.
  through_launcher "$inst" --silent --no-silent-cert && remove "$wmsi"
  through_launcher msiexec /i "$wmsi" /qn && remove "$wmsi"
  # The installer's own share: the same run without the Windows Installer
  # (start-up, lock, extraction, clean-up), into a folder of its own.
  xdir=$build/bench-extract
  wxdir=$(winepath -w "$xdir")
  t_inst=() t_msi=() t_x=()
  for _ in $(seq "$rounds"); do
    t_inst+=("$(ms through_launcher "$inst" --silent --no-silent-cert)"); remove "$wmsi"
    t_msi+=("$(ms through_launcher msiexec /i "$wmsi" /qn)"); remove "$wmsi"
    rm -rf "$xdir" && mkdir -p "$xdir"
    t_x+=("$(ms through_launcher "$inst" --silent --extract --path "$wxdir")")
  done
  rm -rf "$xdir"
  mi=$(echo "${t_inst[*]}" | median)
  mm=$(echo "${t_msi[*]}" | median)
  mx=$(echo "${t_x[*]}" | median)
  echo "$what: installer --silent ${t_inst[*]} ms (median $mi)"
  echo "$what: msiexec /i /qn     ${t_msi[*]} ms (median $mm)"
  echo "$what: installer --extract ${t_x[*]} ms (median $mx: start-up and extraction alone)"
  awk -v a="$mi" -v b="$mm" -v w="$what" 'BEGIN { printf "%s: fixed cost %d ms, ratio installer/msiexec %.3f%s\n",
    w, a - b, a / b, (w == "large" ? " (goal <= 1.05)" : "") }'
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
