# shellcheck shell=bash
# Which `wine` the tests run. The x86 build, and stand-ins as 32-bit as the
# real products, need Wine's 32-bit loader, and it may be missing for either
# of two reasons:
# - wine32:i386 could not be installed (tools/setup writes apt's reason to
#   build/wine32-missing; a mirror in the middle of a sync is the usual one);
# - the Linux kernel runs 64-bit user code only (IA-32 emulation off, as in
#   some virtual machines): no 32-bit program starts, and Debian's `wine`
#   command, which prefers that loader, starts nothing at all.
# Then `wine` here is Wine's 64-bit loader, which runs the 64-bit Windows
# programs in 64-bit prefixes; WINE_RUNS_32BIT is 0 and WINE_X86_SKIPPED says
# why, once here and again at the end of tools/test.
if [[ -z ${WINE_RUNS_32BIT:-} ]]; then
  WINE_RUNS_32BIT=1 WINE_X86_SKIPPED=
  wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  if [[ -s $wine_root/build/wine32-missing ]]; then
    WINE_X86_SKIPPED="wine32 could not be installed: $(head -n1 "$wine_root/build/wine32-missing")"
  elif [[ ! -e /usr/lib/wine/wine ]]; then
    WINE_X86_SKIPPED="wine32 is not installed"
  elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WINE_X86_SKIPPED="this machine's kernel runs no 32-bit code"
  fi
  if [[ -n $WINE_X86_SKIPPED ]]; then
    WINE_RUNS_32BIT=0
    echo "!! x86 worlds skipped: $WINE_X86_SKIPPED"
    wine_shim=$wine_root/build/wine64-only
    mkdir -p "$wine_shim"
    # wine-stable too: Debian's wineboot, winepath and the like call it.
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      >"$wine_shim/wine"
    chmod +x "$wine_shim/wine"
    ln -sf wine "$wine_shim/wine-stable"
    export PATH=$wine_shim:$PATH
    unset wine_shim
  fi
  unset wine_root
  export WINE_RUNS_32BIT WINE_X86_SKIPPED
fi
