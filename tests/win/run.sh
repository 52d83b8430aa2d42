#!/usr/bin/env bash
# Runs the Windows tests of the real platform layer under Wine, in a private
# prefix under build/, on a private X display.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tests/e2e/sandbox.sh"
export SANDBOX_CACHE_DIR=${SANDBOX_CACHE_DIR:-$root/build/wine/cache}
trap sandbox_cleanup EXIT

sandbox_init "$root/build/wine/platform-tests" || exit 1
export SCRIBBIT_EXE="$(sandbox_winpath "$root/build/win64/ScribbitRemoval.exe")"
cd "$root/build/win64-tests/tests/win"
timeout 300 wine win_platform_tests.exe --gtest_color=no 2>&1 | tr -d '\r' | grep -vE '^\[ +(RUN|OK) '
exit "${PIPESTATUS[0]}"
