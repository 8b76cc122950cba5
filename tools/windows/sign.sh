#!/usr/bin/env bash
# Signs a Windows program file in place with Authenticode (osslsigncode, SHA-256). A timestamp
# server, when $QUORVANE_SIGN_TIMESTAMP names one, keeps the signature valid after the
# certificate has expired.
#   tools/windows/sign.sh CERTIFICATE.pem KEY.pem FILE.exe
set -euo pipefail
certificate=$1
key=$2
file=$3
timestamp=()
if [ -n "${QUORVANE_SIGN_TIMESTAMP:-}" ]; then timestamp=(-ts "$QUORVANE_SIGN_TIMESTAMP"); fi

# osslsigncode writes a new file, and never over an existing one.
work=$(mktemp -d "$(dirname "$file")/.signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
signed=$work/$(basename "$file")
osslsigncode sign -certs "$certificate" -key "$key" -h sha256 -n "Quorvane专用下载器" \
    "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null
# The signed file takes the old one's place in one step.
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
