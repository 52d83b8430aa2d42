#!/usr/bin/env bash
# A signed release with a throwaway self-signed code-signing certificate made
# here, under build/: the signatures (x64 SHA-256; x86 SHA-1 and, nested in
# it, SHA-256) verify against it and break with one changed byte, without
# them the files are the unsigned release, a failed signing leaves no dist/,
# and both signed programs still run under Wine.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/e2e/common.sh"
WORK=$REPO/build/signing
rm -rf "$WORK" && mkdir -p "$WORK" || exit 1
cert=$WORK/signer.pem pfx=$WORK/signer.pfx pass=$WORK/password dist=$WORK/dist
head -c 18 /dev/urandom | base64 >"$pass" && printf 'wrong\n' >"$WORK/wrong" &&
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$cert" -days 2 \
    -subj '/CN=Scribbit Removal test signer' -addext extendedKeyUsage=codeSigning 2>/dev/null &&
  openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$cert" -out "$pfx" -passout "file:$pass" || exit 1

# release [VAR=VALUE...] [COMMAND...]: a signed release, its output in release.out.
release() {
  env SIGN_PFX="$pfx" SIGN_PASSWORD_FILE="$pass" SIGN_VERIFY_CAFILE="$cert" DIST="$dist" \
    "$@" "$REPO/tools/release" >"$WORK/release.out" 2>&1
}
# verify FILE: the signature verifies against the test certificate and names the program.
verify() {
  local out=$WORK/${1##*/}.verify
  osslsigncode verify -CAfile "$cert" -in "$1" >"$out" 2>&1 &&
    grep -qx $'\tText description: Scribbit Removal' "$out"
}

# Traced, so that every command line the release runs lands in its output.
check "a signed release" release bash -x
check "the password is on no command line and in no output" not grep -qF "$(cat "$pass")" "$WORK/release.out"
check "SHA256SUMS holds the signed files" sh -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS"
while read -r name digests <&3; do
  exe=$dist/ScribbitRemoval-$name.exe report=$WORK/ScribbitRemoval-$name.exe.verify
  check "$name: the signature verifies" verify "$exe"
  check_eq "$name: its signatures' digests, in order, each verified" \
    "$(sed -n 's/^Message digest algorithm  : //p' "$report" | paste -sd ' ')|$(grep -c '^Signature verification: ok$' "$report")" \
    "$digests|$(wc -w <<<"$digests")"
  check "$name: without it, the unsigned release build" sh -c "osslsigncode remove-signature \
    -in '$exe' -out '$WORK/$name.exe' >/dev/null && cmp '$WORK/$name.exe' '$REPO/build/release/$name/ScribbitRemoval.exe'"
  # The same file with byte 4096 (in the code) one higher.
  { head -c 4096 && head -c 1 | tr '\0-\377' '\1-\377\0' && cat; } <"$exe" >"$WORK/tampered-$name.exe"
  check "$name: one byte changed, the signature fails" not verify "$WORK/tampered-$name.exe"
done 3<<EOF
x64 SHA256
x86 SHA1 SHA256
EOF

# stops SETTING ERROR: the release with SETTING fails with ERROR and makes no dist/.
stops() {
  rm -rf "$WORK/failed"
  ! release DIST="$WORK/failed" "$1" && grep -q "^release: .*$2" "$WORK/release.out" && [[ ! -e $WORK/failed ]]
}
while IFS='|' read -r what setting error <&3; do
  check "$what: the release stops, with no dist/" stops "$setting" "$error"
done 3<<EOF
a wrong password|SIGN_PASSWORD_FILE=$WORK/wrong|wrong password for
no certificate|SIGN_PFX=$WORK/none.pfx|cannot read the certificate
a signer no trusted root vouches for|SIGN_VERIFY_CAFILE=|does not verify
an unreachable time-stamp server|SIGN_TIMESTAMP_URL=http://127.0.0.1:9/|no time stamp from
EOF

sandbox_init "$WORK/wine" || exit 1
for name in x64 x86; do
  [[ $name == x86 ]] && ((WINE_RUNS_32BIT == 0)) && continue  # see tests/e2e/wine.sh
  PROGRAM_BUILD=$dist/ScribbitRemoval-$name.exe program_install
  sandbox_start_watcher 1 60000
  program_run /?
  sandbox_wait_watcher
  check_eq "$name signed, under Wine: /? shows its usage and ends with 0" \
    "$(tr -d '\r' <"$SANDBOX_WATCHER_LOG" | sed 's/\\n.*|icon=/|icon=/')|exit=$PROGRAM_CODE" \
    "box title=MSN Scribbit Removal|text=ScribbitRemoval.exe [/quiet] [/log <file>] [/preview] [/?]|icon=1|exit=0"
done
finish signing
