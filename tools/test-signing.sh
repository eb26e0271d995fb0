#!/usr/bin/env bash
# Throw-away code signing for the tests: a root CA and two code-signing certificates made with openssl
# in a folder of the build tree (never committed), and Authenticode signatures made with osslsigncode.
#
#   test-signing.sh sign DIR WHO NAME IN OUT
#
# signs IN into OUT as WHO (a file-name word) with a code-signing certificate whose subject name is
# NAME. It makes DIR/root.{key,crt} and DIR/WHO.{key,crt} when they are missing (or WHO's name
# changed), and writes DIR/WHO.sha256: the SHA-256 of WHO's certificate (DER), what a strict pin names.
set -euo pipefail

make_root() {
  local dir=$1
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Pelarin Test Root CA" \
    -keyout "$dir/root.key" -out "$dir/root.crt" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

# A leaf for code signing, issued by the test root.
make_signer() {
  local dir=$1 who=$2 name=$3
  openssl req -new -newkey rsa:2048 -nodes -sha256 -subj "/CN=$name/O=$name" \
    -keyout "$dir/$who.key" -out "$dir/$who.csr" 2>/dev/null
  printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$dir/$who.ext"
  openssl x509 -req -in "$dir/$who.csr" -CA "$dir/root.crt" -CAkey "$dir/root.key" -CAcreateserial \
    -days 3650 -sha256 -extfile "$dir/$who.ext" -out "$dir/$who.crt" 2>/dev/null
  rm -f "$dir/$who.csr" "$dir/$who.ext"
}

has_name() {
  local crt=$1 name=$2
  [ -s "$crt" ] && openssl x509 -in "$crt" -noout -subject -nameopt multiline | grep -qxF "    commonName                = $name"
}

keys() {
  local dir=$1 who=$2 name=$3
  mkdir -p "$dir"
  [ -s "$dir/root.crt" ] || make_root "$dir"
  has_name "$dir/$who.crt" "$name" || make_signer "$dir" "$who" "$name"
  openssl x509 -in "$dir/$who.crt" -outform DER | sha256sum | cut -d' ' -f1 >"$dir/$who.sha256"
}

# The chain goes into the signature (leaf and root), as a real publisher's signature carries its
# intermediates.
sign() {
  local dir=$1 who=$2 in=$3 out=$4
  cat "$dir/$who.crt" "$dir/root.crt" >"$dir/$who-chain.crt"
  rm -f "$out.signing"
  osslsigncode sign -certs "$dir/$who-chain.crt" -key "$dir/$who.key" -h sha256 \
    -n "Pelarin test payload" -in "$in" -out "$out.signing" >/dev/null
  mv -f "$out.signing" "$out"
}

if [ "${1:-}" != sign ] || [ $# -ne 6 ]; then
  echo "usage: $0 sign DIR WHO NAME IN OUT" >&2
  exit 2
fi
keys "$2" "$3" "$4"
sign "$2" "$3" "$5" "$6"
