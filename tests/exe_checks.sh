#!/usr/bin/env bash
# Checks both built executables as files: GUI subsystem, the architecture
# asked for, and imports from Windows system DLLs only.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tests/e2e/checks.sh"
allowed='^(kernel32|user32|gdi32|ole32|oleaut32|advapi32|shell32|msvcrt|version)\.dll$'
for arch in win64 win32; do
  exe=$root/build/$arch/ScribbitRemoval.exe
  prefix=$([[ $arch == win64 ]] && echo x86_64 || echo i686)-w64-mingw32
  headers=$("$prefix-objdump" -p "$exe")
  check_eq "$arch: GUI subsystem" "$(grep -m1 '^Subsystem' <<<"$headers" | awk '{print $2}')" 00000002
  check_eq "$arch: machine" "$(grep -m1 -o 'file format pei-[a-z0-9-]*' <<<"$headers")" \
    "file format pei-$([[ $arch == win64 ]] && echo x86-64 || echo i386)"
  others=$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}' | grep -vE "$allowed" || true)
  check_eq "$arch: imports only Windows system DLLs" "$others" ""
  echo "    $arch: $(stat -c %s "$exe") bytes, imports $(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | tr '\n' ' ')"
done
echo "exe checks: $CHECKS_PASSED passed, $CHECKS_FAILED failed"
((CHECKS_FAILED == 0))
