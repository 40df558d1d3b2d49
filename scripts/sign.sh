#!/usr/bin/env bash
# Signs one program in place with Authenticode (SHA-256), with Debian's osslsigncode. The
# build calls it after linking each program when signing is on (scripts/build.sh turns it on
# when both variables below are set).
#
#   sign.sh PROGRAM.exe
# Environment: KORV_SIGN_PKCS12 (the certificate and key, a PKCS#12 file), KORV_SIGN_PASSWORD
# (its password, handed to osslsigncode on standard input, never on a command line),
# KORV_SIGN_TIMESTAMP (optional: an RFC 3161 time-stamp server).
set -euo pipefail
file=${1:?usage: sign.sh PROGRAM.exe}
: "${KORV_SIGN_PKCS12:?sign.sh: KORV_SIGN_PKCS12 names no certificate}"
: "${KORV_SIGN_PASSWORD?sign.sh: KORV_SIGN_PASSWORD is not set}"
args=(sign -pkcs12 "$KORV_SIGN_PKCS12" -readpass - -h sha256 -n Korvane
      -in "$file" -out "$file.signed")
if [ -n "${KORV_SIGN_TIMESTAMP:-}" ]; then
  args+=(-ts "$KORV_SIGN_TIMESTAMP")
fi
rm -f "$file.signed"
if ! printf '%s' "$KORV_SIGN_PASSWORD" | osslsigncode "${args[@]}" >/dev/null; then
  # No unsigned program may stay behind looking built.
  rm -f "$file" "$file.signed"
  echo "sign.sh: signing $file failed" >&2
  exit 1
fi
mv "$file.signed" "$file"
