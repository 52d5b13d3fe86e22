#!/usr/bin/env bash
# Signs update files for the programs' update roads: writes FILE.sig beside each FILE, a detached
# RSA signature over SHA-256 (PKCS #1 v1.5). Publish FILE.sig next to FILE on the web host and the
# FTP server. The key is the private half of the key the programs were built with: by default the
# pair the build made in build/signing; another with -k KEY.pem.
#   scripts/sign-update.sh [-k KEY.pem] FILE...
set -euo pipefail
key="$(cd "$(dirname "$0")/.." && pwd)/build/signing/update-signing-key.pem"
if [ "${1:-}" = "-k" ]; then
  key=$2
  shift 2
fi
[ $# -gt 0 ] || { echo "usage: $0 [-k KEY.pem] FILE..." >&2; exit 2; }
[ -f "$key" ] || { echo "$0: no signing key at $key" >&2; exit 1; }
for file in "$@"; do
  openssl dgst -sha256 -sign "$key" -out "$file.sig" "$file"
  echo "signed: $file.sig"
done
