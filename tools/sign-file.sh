#!/usr/bin/env bash
# Signs a linked program in place (Authenticode, SHA-256, osslsigncode): the build's step after
# linking (cmake/Signing.cmake).
#
#   sign-file.sh FILE (--cert CHAIN.pem --key KEY.pem | --pkcs12 FILE.p12) [--password-file FILE]
#                [--timestamp URL] [--description TEXT] [--url URL]
#
# The password is read from its file by osslsigncode itself, never put on a command line. When the
# signature cannot be made (a wrong password, a key that does not match, a timestamp server that does
# not answer) FILE is removed and the step fails: a build must never leave an unsigned program where
# a signed one was asked for.
set -euo pipefail

usage() {
  echo "usage: $0 FILE (--cert CHAIN --key KEY | --pkcs12 FILE) [--password-file FILE] [--timestamp URL]" \
       "[--description TEXT] [--url URL]" >&2
  exit 2
}

[ $# -ge 1 ] || usage
file=$1
shift
identity=() extra=() timestamp=
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --cert) identity+=(-certs "$2") ;;
    --key) identity+=(-key "$2") ;;
    --pkcs12) identity+=(-pkcs12 "$2") ;;
    --password-file) extra+=(-readpass "$2") ;;
    --timestamp) timestamp=$2; extra+=(-ts "$2") ;;
    --description) extra+=(-n "$2") ;;
    --url) extra+=(-i "$2") ;;
    *) usage ;;
  esac
  shift 2
done
[ ${#identity[@]} -gt 0 ] || usage

fail() {
  rm -f "$file" "$file.signing"
  echo "error: $file was not signed and has been removed: $1" >&2
  exit 1
}

[ -f "$file" ] || { echo "error: nothing to sign: $file" >&2; exit 1; }
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
rm -f "$file.signing"
if ! osslsigncode sign "${identity[@]}" -h sha256 "${extra[@]}" -in "$file" -out "$file.signing" \
     </dev/null >/dev/null 2>"$errors"; then
  if [ -n "$timestamp" ] && grep -qi "timestamp" "$errors"; then
    fail "the timestamp server $timestamp gave no timestamp ($(grep -m1 -i 'failure\|timestamp' "$errors"))"
  fi
  fail "osslsigncode: $(grep -v '^[0-9A-F]*:error:' "$errors" | head -3 | tr '\n' ' ')"
fi
mv -f "$file.signing" "$file"
