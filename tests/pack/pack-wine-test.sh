#!/usr/bin/env bash
# Installers made by kestrelyn-pack from the built stub, run under Wine:
# every package extracts byte for byte (one MSI; an MSI and two CABs; 101
# packages, resource names past 99), the loader maps the payload from the
# file, a packed installer installs, the same as from the installer that
# kestrelyn_add_installer links, also once signed; and a silent run adds the
# certificate given to pack (the one in the installer's resource CERT) to
# TrustedPublisher.
source "$(dirname "$0")/../installer/lib.sh"

pack=$KT_PACK
stub=$KT_QornStub
mkdir -p "$work/in" "$work/out"

# A publisher's certificate, made now.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Kestrelyn Pack Test Publisher" \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning -keyout "$work/pub.key" -out "$work/pub.pem" 2>/dev/null
openssl x509 -in "$work/pub.pem" -outform DER -out "$work/pub.der"

# packed NAME PACKAGE...: an installer packed from the stub with the certificate.
packed() {
  local name=$1; shift
  if "$pack" pack --stub "$stub" --out "$work/out/$name" --cert "$work/pub.der" "$@" 2>"$work/pack.err"; then
    ok "pack $name"
  else
    fail "pack $name: $(cat "$work/pack.err")"
  fi
}

# extracts NAME DIR FILE...: an extract-only run writes each FILE, the same
# as the package of that name in $work/in.
extracts() {
  local name=$1 dir=$2; shift 2
  rm -rf "$dir" && mkdir -p "$dir"
  run "$work/out/$name" --silent --extract --path "$(winepath -w "$dir")"
  check "$name: extract-only run" "0" "$code"
  check "$name: extracted files" "$(printf '%s\n' "$@" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" "$(listing "$dir")"
  local bad=0 f
  for f in "$@"; do cmp -s "$work/in/$f" "$dir/$f" || { bad=1; echo "  $f differs"; }; done
  if [ $bad = 0 ]; then ok "$name: every package byte for byte"; else fail "$name: packages differ"; fi
}

# inspected NAME FILE...: inspect lists the packages with their SHA-256.
inspected() {
  local name=$1; shift
  local expected actual f
  expected=$(for f in "$@"; do printf '%s %s\n' "$f" "$(sha256sum < "$work/in/$f" | cut -d' ' -f1)"; done)
  actual=$("$pack" inspect "$work/out/$name" | awk -F'\t' 'NF == 6 { print $4, $6 }')
  check "$name: inspect's SHA-256" "$expected" "$actual"
}

cp "$KT_PACKAGES/product.msi" "$KT_PACKAGES/data1.cab" "$KT_PACKAGES/data2.cab" "$work/in/"
in=$work/in

packed one.exe "$in/product.msi:amd64"
extracts one.exe "$work/x-one" product.msi
inspected one.exe product.msi

packed three.exe "$in/product.msi:amd64" "$in/data1.cab" "$in/data2.cab:amd64"
extracts three.exe "$work/x-three" product.msi data1.cab data2.cab
inspected three.exe product.msi data1.cab data2.cab

# A non-ASCII name of 223 bytes, the most the header holds.
long=$(python3 -c 'print("Ünïcödé-" + "é" * 103 + "o.msi")')
check "the long name's bytes" 223 "$(printf '%s' "$long" | wc -c)"
cp "$in/product.msi" "$in/$long"
packed long.exe "$in/product.msi:amd64:$long" "$in/data1.cab:any:Données ☃.cab"
cp "$in/data1.cab" "$in/Données ☃.cab"
extracts long.exe "$work/x-long" "$long" "Données ☃.cab"

many=()
names=()
for i in $(seq 0 100); do
  printf 'package %d\n%0*d' "$i" "$((i * 37 % 700 + 1))" 0 > "$in/p$i.cab"
  many+=("$in/p$i.cab")
  names+=("p$i.cab")
done
packed many.exe "${many[@]}"
extracts many.exe "$work/x-many" "${names[@]}"
inspected many.exe "${names[@]}"

# The loader maps the packed payload from the file instead of reading it at
# start-up: while the package's custom action holds the install, the
# installer's process has its file mapped at the resource section's offset
# (a section the loader reads in full lies in anonymous memory).
cp "$KT_BAD_DIR/packages/KestrelynTest.msi" "$in/KestrelynTest.msi"
head -c $((8 << 20)) /dev/urandom > "$in/filler.cab"
packed held.exe "$in/KestrelynTest.msi" "$in/filler.cab"
extracts held.exe "$work/x-held" KestrelynTest.msi filler.cab
# The payload section's file offset and size (hex), the last .rsrc.
read -r rsrc rsize < <(x86_64-w64-mingw32-objdump -h "$work/out/held.exe" |
  awk '$2 == ".rsrc" { off = $6; size = $3 } END { print off, size }')
check "held.exe: the payload section starts on a page" 000 "${rsrc: -3}"
hold=$work/hold
rm -f "$hold" "$hold.started"
( run "$work/out/held.exe" --silent --no-silent-cert --msi-prop HOLDEXE "$(winepath -w "$KT_fsprobe")" \
    --msi-prop HOLDFILE "$(winepath -w "$hold")"
  echo "$code" > "$work/held-code.txt" ) &
first=$!
for _ in $(seq 600); do [ -e "$hold.started" ] && break; kill -0 $first 2>/dev/null || break; sleep 0.1; done
if [ -e "$hold.started" ]; then
  exe=$(realpath "$work/out/held.exe")
  # A mapping of the file that covers the whole section (the kernel merges
  # it with the stub's last section when both lie back to back).
  covered=$(grep -hF " $exe" /proc/[0-9]*/maps 2>/dev/null | python3 -c '
import sys
at, size = int(sys.argv[1], 16), int(sys.argv[2], 16)
for line in sys.stdin:
    span, _, off = line.split()[:3]
    start, end = (int(x, 16) for x in span.split("-"))
    if int(off, 16) <= at and int(off, 16) + end - start >= at + size:
        print("yes")
        break
else:
    print("no")' "$rsrc" "$rsize")
  check "held.exe: the file is mapped over the payload section ($rsrc, $rsize bytes)" yes "$covered"
else
  fail "held.exe: the custom action never started (exit code $(cat "$work/held-code.txt" 2>/dev/null))"
fi
touch "$hold"
wait $first 2>/dev/null
check "held.exe: the install finishes" 0 "$(cat "$work/held-code.txt")"
run "$work/out/held.exe" --silent --no-silent-cert --msiparams REMOVE=ALL
check "held.exe: removed" 0 "$code"

# The installer kestrelyn_add_installer links from the same packages.
cp "$KT_CMAKE_INST" "$work/out/cmake.exe"
extracts cmake.exe "$work/x-cmake" product.msi data1.cab data2.cab
if diff -r "$work/x-cmake" "$work/x-three" >/dev/null; then ok "packed and linked installers extract the same"
else fail "packed and linked installers extract different packages"; fi

# Signed, it still runs.
openssl pkcs12 -export -in "$work/pub.pem" -inkey "$work/pub.key" -out "$work/pub.p12" -passout pass:t
if "$pack" sign --in "$work/out/three.exe" --out "$work/out/signed.exe" --pkcs12 "$work/pub.p12" --pass t; then
  ok "sign"
else
  fail "sign"
fi
check "signed: osslsigncode verify" 0 "$(osslsigncode verify -CAfile "$work/pub.pem" "$work/out/signed.exe" >/dev/null 2>&1; echo $?)"
extracts signed.exe "$work/x-signed" product.msi data1.cab data2.cab
matches "signed: inspect sees the signature" ".*signature: Authenticode.*" "$("$pack" inspect "$work/out/signed.exe")"

# The certificate: a silent run of an installer packed with --cert from the
# real stub adds exactly that certificate to the machine's TrustedPublisher,
# also one larger than the 4 KiB the stub once had room for.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Kestrelyn Pack Test Large Publisher" \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning -addext "subjectAltName=DNS:$(head -c 12000 /dev/zero | tr '\0' a)" \
  -keyout "$work/large.key" -out "$work/large.pem" 2>/dev/null
openssl x509 -in "$work/large.pem" -outform DER -out "$work/large.der"
check "the large certificate is over 12 KiB" yes "$([ "$(stat -c %s "$work/large.der")" -gt 12000 ] && echo yes || echo no)"
store='HKLM\Software\Microsoft\SystemCertificates\TrustedPublisher\Certificates'
in_store() { wine reg query "$store\\$1" >/dev/null 2>&1 && echo yes || echo no; }
# The thumbprint of the stub's own certificate, read with the payload builder's reader.
if ! stub_thumb=$(python3 - "$(dirname "$pack")" "$KT_QornStub" <<'PY'
import hashlib, struct, sys
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[1])
import mkpayload
exe = open(sys.argv[2], "rb").read()
image = mkpayload.PeImage(mkpayload.Source("exe", data=exe))
entries = [entry for name, _, entry in mkpayload.rcdata_entries(exe) if name == "CERT"]
if len(entries) != 1:
    sys.exit("%d CERT resources" % len(entries))
rva, size = struct.unpack_from("<II", exe, entries[0])
at = image.rva_offset(rva, size, "CERT")
print(hashlib.sha1(exe[at:at + size]).hexdigest().upper() if size else "")
PY
); then
  fail "certificate: the built stub $(basename "$KT_QornStub") has not one certificate resource CERT"
else
  for der in pub large; do
    t=$(openssl x509 -in "$work/$der.der" -inform DER -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
    "$pack" pack --stub "$KT_QornStub" --out "$work/out/cert-$der.exe" --cert "$work/$der.der" "$in/data1.cab" \
      && ok "$der: pack the real stub with --cert" || fail "$der: pack the real stub with --cert"
    # The stub's own (development) certificate may be in the store from
    # other tests' silent runs: take both out first.
    for x in "$t" $stub_thumb; do wine reg delete "$store\\$x" /f >/dev/null 2>&1; done
    check "$der: not in the store before" no "$(in_store "$t")"
    run "$work/out/cert-$der.exe" --silent
    check_run "$der: silent run" 0 "" ""
    check "$der: in TrustedPublisher under its thumbprint" yes "$(in_store "$t")"
    if [ -n "$stub_thumb" ]; then
      check "$der: the stub's own certificate is not added" no "$(in_store "$stub_thumb")"
    fi
    wine reg delete "$store\\$t" /f >/dev/null 2>&1
  done
fi

# The stub's own table of file names (tests/installer/stub-test.cpp, read by
# names.py): each name forged into an installer's header, as pack never
# writes it.  The stub extracts the package under a name it takes and stops
# at the header of one it refuses, and inspect says the same of each.
packed names.exe "$in/data1.cab"
mkdir -p "$work/names"
python3 "$(dirname "$0")/names.py" forge-rows "$pack" "$work/out/names.exe" "$work/names" > "$work/names/rows.txt" \
  || fail "names: forge the table's installers"
rows=0
while read -r n hex bare; do
  rows=$((rows + 1))
  name=$( [ "$hex" = - ] || printf '%s' "$hex" | xxd -r -p; printf .)
  name=${name%.}
  dir=$work/x-name-$n
  rm -rf "$dir" && mkdir -p "$dir"
  run "$work/names/row-$n.exe" --silent --extract --path "$(winepath -w "$dir")"
  flagged=$("$pack" inspect "$work/names/row-$n.exe" 2>/dev/null | grep -c '^refused: ')
  label="name row $n $(printf '%q' "$name")"
  if [ "$bare" = 1 ]; then
    check "$label: extracted" "0 $name" "$code $(listing "$dir")"
    check "$label: inspect takes it" 0 "$flagged"
  else
    check "$label: the stub refuses the header" "1 yes" \
      "$code $([[ "$stdout$stderr" == *"package header #0: KERR_INVALID_NAME"* ]] && echo yes || echo no)"
    check "$label: nothing extracted" "" "$(listing "$dir")"
    check "$label: inspect says the stub refuses it" 1 "$flagged"
  fi
done < "$work/names/rows.txt"
check "names: the stub's table has its rows" yes "$([ "$rows" -gt 30 ] && echo yes || echo no)"

finish
