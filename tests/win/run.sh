#!/usr/bin/env bash
# Runs the Windows tests of the real platform layer under Wine, in a private
# prefix under build/, on a private X display.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/tests/wine_env.sh"
trap wine_env_cleanup EXIT

wine_env_display
wine_env_prefix "$root/build/wine/platform-tests"
export SCRIBBIT_EXE="$(winepath -w "$root/build/win64/ScribbitRemoval.exe")"
cd "$root/build/win64/tests/win"
timeout 300 wine win_platform_tests.exe --gtest_color=no 2>&1 | grep -vE '^\[ +(RUN|OK) ' 
exit "${PIPESTATUS[0]}"
