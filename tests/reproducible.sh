#!/usr/bin/env bash
# Builds the release twice, in two different folders, and compares the bytes.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tests/e2e/checks.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The first is the release build's own folder, which the signing test then
# reuses.
for n in 1 2; do
  build=$tmp/build$n
  ((n == 1)) && build=$root/build/release
  # Unsigned, whatever the caller's signing settings: signatures carry a time.
  env -u SIGN_PFX -u SIGN_PASSWORD_FILE -u SIGN_TIMESTAMP_URL \
    BUILD_ROOT="$build" DIST="$tmp/dist$n" "$root/tools/release" >/dev/null || exit 1
done
for exe in ScribbitRemoval-x64.exe ScribbitRemoval-x86.exe; do
  check "$exe: two builds, same bytes" cmp "$tmp/dist1/$exe" "$tmp/dist2/$exe"
done
echo "reproducible: $CHECKS_PASSED passed, $CHECKS_FAILED failed"
((CHECKS_FAILED == 0))
