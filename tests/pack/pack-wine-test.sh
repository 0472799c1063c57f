#!/usr/bin/env bash
# Installers made by kestrelyn-pack from the built stub, run under Wine:
# every package extracts byte for byte (one MSI; an MSI and two CABs; 101
# packages, resource names past 99), the same as from the installer that
# kestrelyn_add_installer links, also once signed; and a silent run adds the
# certificate given to pack to TrustedPublisher.
source "$(dirname "$0")/../installer/lib.sh"

pack=$KT_PACK
stub=$KT_QornStub
mkdir -p "$work/in" "$work/out"

# A publisher's certificate, made now.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Kestrelyn Pack Test Publisher" \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning -keyout "$work/pub.key" -out "$work/pub.pem" 2>/dev/null
openssl x509 -in "$work/pub.pem" -outform DER -out "$work/pub.der"
thumb=$(openssl x509 -in "$work/pub.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')

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
# real stub adds exactly that certificate to the machine's TrustedPublisher.
store='HKLM\Software\Microsoft\SystemCertificates\TrustedPublisher\Certificates'
in_store() { wine reg query "$store\\$1" >/dev/null 2>&1 && echo yes || echo no; }
if ! grep -q KESTRELYN-CERT-1 "$KT_QornStub"; then
  fail "certificate: the built stub $(basename "$KT_QornStub") has no certificate slot, so pack cannot give it one"
else
  "$pack" pack --stub "$KT_QornStub" --out "$work/out/cert.exe" --cert "$work/pub.der" "$in/data1.cab" \
    && ok "pack the real stub with --cert" || fail "pack the real stub with --cert"
  # The stub's own (development) certificate may be in the store from other
  # tests' silent runs: take both out first.
  stub_thumb=$(python3 -c '
import hashlib, struct, sys
d = open(sys.argv[1], "rb").read(); at = d.index(b"KESTRELYN-CERT-1")
n = struct.unpack_from("<I", d, at + 16)[0]
print(hashlib.sha1(d[at + 24:at + 24 + n]).hexdigest().upper() if n else "")' "$KT_QornStub")
  for t in "$thumb" $stub_thumb; do wine reg delete "$store\\$t" /f >/dev/null 2>&1; done
  check "certificate: not in the store before" no "$(in_store "$thumb")"
  run "$work/out/cert.exe" --silent
  check_run "certificate: silent run" 0 "" ""
  check "certificate: in TrustedPublisher under its thumbprint" yes "$(in_store "$thumb")"
  if [ -n "$stub_thumb" ]; then
    check "certificate: the stub's own certificate is not added" no "$(in_store "$stub_thumb")"
  fi
  wine reg delete "$store\\$thumb" /f >/dev/null 2>&1
fi

finish
