#!/usr/bin/env bash
# The release signed with a throwaway self-signed certificate: both programs verify against it
# and the zip's SHA256SUMS describes them; built again unsigned, the zip is the same bytes as before.
#   signing_test.sh WORK_FOLDER    (from the sources, after tools/release.sh)
source tools/stages.sh
work=$1
zip=build/release/Glyphwarden-$(sed -n 's/^project(Glyphwarden VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-win32.zip
mkdir -p "$work"
cp "$zip" "$work/unsigned.zip"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Glyphwarden signing test" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
GLYPHWARDEN_SIGN_CERT=$work/cert.pem GLYPHWARDEN_SIGN_KEY=$work/key.pem quietly build/logs/release-signed.log bash tools/release.sh
/usr/bin/python3 -m zipfile -e "$zip" "$work/signed"
(cd "$work/signed" && sha256sum --quiet -c SHA256SUMS)
for program in Glyphwarden.exe glyphwarden-cli.exe; do
  quietly "$work/verify-$program.log" osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/$program"
done
quietly build/logs/release-unsigned.log bash tools/release.sh
cmp "$zip" "$work/unsigned.zip"
echo "signing: both programs signed and verified, SHA256SUMS of the signed programs; unsigned again, the same bytes"
