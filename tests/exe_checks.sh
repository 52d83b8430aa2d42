#!/usr/bin/env bash
# Checks both built executables as files: GUI subsystem, the architecture
# asked for, a PE header that the oldest Windows of each build accepts, and
# every imported function in the list of what that Windows exports.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tests/e2e/checks.sh"

# imports_missing OBJDUMP_OUTPUT LIST: "dll!function" for each import that the
# list does not hold for its DLL (DLL names case-insensitive).
imports_missing() {
  awk -v list="$2" '
    BEGIN {
      while ((getline line < list) > 0) {
        if (line ~ /^#/ || line ~ /^[ \t]*$/) continue
        if (line ~ /^\[/) { dll = tolower(substr(line, 2, length(line) - 2)); continue }
        allowed[dll "!" line] = 1
      }
    }
    /DLL Name:/ { dll = tolower($3); next }
    /^[ \t]*$/ { dll = "" }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {
      if (!((dll "!" $3) in allowed)) print dll "!" $3
    }' <<<"$1"
}

for arch in win64 win32; do
  exe=$root/build/$arch/ScribbitRemoval.exe
  if [[ $arch == win64 ]]; then
    prefix=x86_64 format=x86-64 oldest=5.2 list=$root/tests/imports/windows-xp-x64.txt
  else
    prefix=i686 format=i386 oldest=5.0 list=$root/tests/imports/windows-2000-x86.txt
  fi
  headers=$("$prefix-w64-mingw32-objdump" -p "$exe")
  field() { grep -m1 "^$1" <<<"$headers" | awk '{print $2}'; }
  check_eq "$arch: GUI subsystem" "$(field Subsystem)" 00000002
  check_eq "$arch: machine" "$(grep -m1 -o 'file format pei-[a-z0-9-]*' <<<"$headers")" "file format pei-$format"
  # The loader refuses an image whose subsystem or OS version is newer than itself.
  for kind in Subsystem OSystem; do
    version="$(field "Major${kind}Version").$(field "Minor${kind}Version")"
    check "$arch: $kind version $version loads on $oldest" \
      awk -v v="$version" -v o="$oldest" 'BEGIN { exit !(v + 0 <= o + 0) }'
  done
  check_eq "$arch: every import exists on Windows $oldest" "$(imports_missing "$headers" "$list")" ""
  echo "    $arch: $(stat -c %s "$exe") bytes, imports $(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | tr '\n' ' ')"
done
echo "exe checks: $CHECKS_PASSED passed, $CHECKS_FAILED failed"
((CHECKS_FAILED == 0))
