# shellcheck shell=bash
# TAP-like checks for the shell test scripts. Each failed check prints what it
# expected and what it got.
CHECKS_PASSED=0
CHECKS_FAILED=0
ok() {
  CHECKS_PASSED=$((CHECKS_PASSED + 1))
  echo "ok - $1"
}
not_ok() {
  CHECKS_FAILED=$((CHECKS_FAILED + 1))
  echo "not ok - $1"
}
# check DESCRIPTION COMMAND...: the command's success is the check.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else not_ok "$what"; fi
}
not() { ! "$@"; }
# check_eq DESCRIPTION ACTUAL EXPECTED
check_eq() {
  if [[ $2 == "$3" ]]; then
    ok "$1"
  else
    not_ok "$1"
    printf '    expected: [%s]\n    actual:   [%s]\n' "$3" "$2"
  fi
}
# log_has FILE LINE: the file (CRLF or LF) holds exactly that line.
log_has() { grep -qxF -- "$2" <(tr -d '\r' <"$1"); }
