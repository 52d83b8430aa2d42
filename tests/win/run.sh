#!/usr/bin/env bash
# Runs the Windows tests of the real platform layer under Wine, in a private
# prefix under build/, on a private X display: the x64 build's and the x86
# build's, each with its own program.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tests/e2e/sandbox.sh"
export SANDBOX_CACHE_DIR=${SANDBOX_CACHE_DIR:-$root/build/wine/cache}
trap sandbox_cleanup EXIT

sandbox_init "$root/build/wine/platform-tests" || exit 1
failed=0
for build in win64 win32; do
  [[ $build == win32 ]] && ((WINE_RUNS_32BIT == 0)) && continue  # see tests/e2e/wine.sh
  echo "-- $build"
  export SCRIBBIT_EXE="$(sandbox_winpath "$root/build/$build/ScribbitRemoval.exe")"
  # pipefail: a failed test program fails the pipeline, whatever grep does.
  (cd "$root/build/$build-tests/tests/win" &&
    timeout 300 wine win_platform_tests.exe --gtest_color=no 2>&1 | tr -d '\r' | grep -vE '^\[ +(RUN|OK) ') ||
    failed=1
done
exit $failed
