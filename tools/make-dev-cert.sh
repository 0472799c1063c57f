#!/usr/bin/env bash
# make-dev-cert.sh DIR: a self-signed development code-signing certificate in
# DIR/publisher.der (its key in DIR/publisher.key), for builds that name no
# publisher certificate.  Its subject says what it is, so that nobody takes
# an installer carrying it for a release.
set -euo pipefail
dir=$1
mkdir -p "$dir"
openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650 \
  -keyout "$dir/publisher.key" -out "$dir/publisher.pem" \
  -subj "/CN=Kestrelyn development certificate, not for release" \
  -addext "basicConstraints=critical,CA:FALSE" \
  -addext "keyUsage=critical,digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl x509 -in "$dir/publisher.pem" -outform DER -out "$dir/publisher.der.tmp"
mv "$dir/publisher.der.tmp" "$dir/publisher.der"
