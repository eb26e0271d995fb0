#!/usr/bin/env bash
# The checks of tests/signing/CMakeLists.txt, one per ctest entry:
#   signing_checks.sh verify BUILD SIGNER
#   signing_checks.sh timestamp BUILD CMAKE
#   signing_checks.sh configure SOURCE BUILD TOOLCHAIN CMAKE
set -uo pipefail

failures=0
check() { # description command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
# CMake wraps its messages at a width that depends on the paths in them: lines are joined first.
contains() { tr -s ' \n' ' ' <"$1" | grep -qF -- "$2" || { echo "--- $1 lacks: $2"; cat "$1"; return 1; }; }
fails() { ! "$@"; }

# The certificate table (data directory 4) of a PE file: "offset size", "0 0" when unsigned.
certificate_table() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
optional = pe + 24
directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
print(*struct.unpack_from("<II", data, directories + 4 * 8))
PY
}

verified() { osslsigncode verify -CAfile "$build/test-signing/root.crt" -in "$1" 2>&1; }
signed_by() { # file signer: osslsigncode verifies it against the test root, signed by the signer
  local out
  out=$(verified "$1")
  grep -q '^Succeeded' <<<"$out" && grep -q "Signer's certificate:" <<<"$out" &&
    grep -qF "Subject: /CN=$2/" <<<"$out" || { echo "$out"; return 1; }
}
unsigned() {
  [ "$(certificate_table "$1")" = "0 0" ] && ! osslsigncode verify -in "$1" >/dev/null 2>&1
}
sha256_digest() { verified "$1" | grep -q 'Message digest algorithm *: SHA256'; }
described_as() { verified "$1" | grep -qF "Text description: $2"; }

verify() {
  build=$1 signer=$2
  for f in setup-vendor-loopback.exe setup-proxyhost.exe; do
    check "$f verifies, signed by $signer" signed_by "$build/$f" "$signer"
    check "$f has a certificate table" test "$(certificate_table "$build/$f")" != "0 0"
    check "$f is signed with SHA-256" sha256_digest "$build/$f"
  done
  check "setup-vendor-loopback.exe is described by its product folder's name" \
    described_as "$build/setup-vendor-loopback.exe" "Harwick Lumen Setup"
  check "setup.exe, built without a certificate, is unsigned" unsigned "$build/setup.exe"
}

timestamp() {
  build=$1 cmake=$2
  local log
  log=$(mktemp)
  build_probe() { "$cmake" --build "$build" --target setup-bad-timestamp >"$log" 2>&1; }
  check "a timestamp server that does not answer fails the build step" fails build_probe
  check "the step says why" contains "$log" "the timestamp server http://127.0.0.1:9/ gave no timestamp"
  check "no unsigned program is left" test ! -e "$build/setup-bad-timestamp.exe"
  rm -f "$log"
}

configure() { # one configure tree for all cases: the compilers are found once
  local source=$1 build=$2 toolchain=$3 cmake=$4
  local tree=$build/signing-configure folder=$build/signing-configure-product log=$build/signing-configure.log
  rm -rf "$folder" && cp -r "$source/tests/fixtures/vendor" "$folder"
  rm "$folder/language/French/UrlInfo.ini" "$folder/skin/img/logo.png"
  configure_with() { "$cmake" -S "$source" -B "$tree" -G Ninja "-DCMAKE_TOOLCHAIN_FILE=$toolchain" "$@" >"$log" 2>&1; }

  check "a PEM certificate without its key stops the configuration" \
    fails configure_with "-DSETUP_SIGN_CERT=$build/test-signing/build-signer-chain.pem"
  check "the message asks for SETUP_SIGN_KEY" contains "$log" "needs its private key (SETUP_SIGN_KEY)"

  check "a PKCS#12 file with a key stops the configuration" \
    fails configure_with "-DSETUP_SIGN_CERT=$build/test-signing/build-signer.p12" \
    "-DSETUP_SIGN_KEY=$build/test-signing/build-signer.key"
  check "the message says the PKCS#12 carries its key" contains "$log" "carries its own key"

  check "an incomplete product folder stops the configuration" \
    fails configure_with -DSETUP_SIGN_CERT= -DSETUP_SIGN_KEY= "-DSETUP_PRODUCT_DIR=$folder"
  check "the message names the folder" contains "$log" "$folder"
  check "the message names the missing address file" contains "$log" "missing language/French/UrlInfo.ini (language.ini names French)"
  check "the message names the missing logo" contains "$log" "missing skin/img/logo.png (skin/home.xml names it)"
}

command=$1
shift
"$command" "$@"
echo "$failures failed"
[ "$failures" -eq 0 ]
