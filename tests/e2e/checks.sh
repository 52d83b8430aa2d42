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
# undated FILE: a log's lines (CRLF or LF) without their dates and the file's byte-order mark.
LOG_DATE='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} '
undated() { tr -d '\r' <"$1" | sed -E "1s/^\xEF\xBB\xBF//; s/^$LOG_DATE//"; }
# log_has FILE LINE: the log holds exactly that line.
log_has() { grep -qxF -- "$2" <(undated "$1"); }
