#!/usr/bin/env bash
# Runs the end-to-end scenarios of the real program under Wine on Xvfb: first
# the self-check of the test fixtures, then the scenarios.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export SANDBOX_CACHE_DIR=${SANDBOX_CACHE_DIR:-$root/build/wine/cache}
failed=0
for script in tests/fixtures/selfcheck.sh tests/e2e/removal.sh tests/e2e/installer.sh tests/e2e/windows.sh tests/e2e/hostile.sh; do
  echo "-- $script"
  "$root/$script" >"$root/build/$(basename "$script" .sh).log" 2>&1
  rc=$?
  grep -E '^(not ok|    |# scenario)|passed, ' "$root/build/$(basename "$script" .sh).log"
  if [ $rc -ne 0 ]; then
    failed=1
    echo "!! $script failed; full output in build/$(basename "$script" .sh).log"
  fi
done
exit $failed
