#!/usr/bin/env bash
# Throw-away code signing for the tests: a root CA and two code-signing certificates made with openssl
# in a folder of the build tree (never committed), and Authenticode signatures made with osslsigncode.
#
#   test-signing.sh sign DIR WHO NAME IN OUT
#   test-signing.sh keys DIR WHO NAME
#
# `sign` signs IN into OUT as WHO (a file-name word) with a code-signing certificate whose subject
# name is NAME. Both make DIR/root.{key,crt} and DIR/WHO.{key,crt} when they are missing (or WHO's
# name changed), and write DIR/WHO.sha256: the SHA-256 of WHO's certificate (DER), what a strict pin
# names. `keys` also leaves WHO's certificate in the other forms the build's signing options take:
# DIR/WHO-chain.pem (leaf and root) beside the plain key, and DIR/WHO.p12, a PKCS#12 of key and chain
# encrypted with the random password in DIR/WHO.password.
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

# The forms a vendor hands the build: a PEM chain with its key, or one password-protected PKCS#12.
signing_forms() {
  local dir=$1 who=$2
  cat "$dir/$who.crt" "$dir/root.crt" >"$dir/$who-chain.pem"
  [ -s "$dir/$who.password" ] || openssl rand -hex 16 >"$dir/$who.password"
  openssl pkcs12 -export -in "$dir/$who.crt" -inkey "$dir/$who.key" -certfile "$dir/root.crt" \
    -passout "file:$dir/$who.password" -out "$dir/$who.p12"
}

case "${1:-}:$#" in
  sign:6) keys "$2" "$3" "$4"; sign "$2" "$3" "$5" "$6" ;;
  keys:4) keys "$2" "$3" "$4"; signing_forms "$2" "$3" ;;
  *)
    echo "usage: $0 sign DIR WHO NAME IN OUT | keys DIR WHO NAME" >&2
    exit 2 ;;
esac
