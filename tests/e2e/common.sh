# shellcheck shell=bash
# What every end-to-end scenario script starts with: the sandbox, the checks
# and the program driver; scratch space under build/e2e; a cached booted
# prefix; and everything of Wine and Xvfb ended when the script ends.
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$REPO/tests/e2e/sandbox.sh"
source "$REPO/tests/e2e/checks.sh"
source "$REPO/tests/e2e/program.sh"
WORK=${WORK:-$REPO/build/e2e/$SANDBOX_WORLD}
export SANDBOX_CACHE_DIR=${SANDBOX_CACHE_DIR:-$REPO/build/wine/cache}
trap sandbox_cleanup EXIT

# finish NAME: ends the sandbox and reports; the exit code says if all passed.
finish() {
  sandbox_cleanup
  echo "$1: $CHECKS_PASSED passed, $CHECKS_FAILED failed"
  ((CHECKS_FAILED == 0))
}
