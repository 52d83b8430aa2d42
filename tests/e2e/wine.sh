# shellcheck shell=bash
# Which `wine` the tests run. Some Linux kernels run 64-bit user code only
# (IA-32 emulation off, as in some virtual machines): there no 32-bit program
# starts, neither Wine's 32-bit loader nor any 32-bit Windows program, and
# Debian's `wine` command, which prefers that loader, starts nothing at all.
# On such a machine `wine` here is Wine's 64-bit loader, which runs the 64-bit
# Windows programs in 64-bit prefixes, and WINE_RUNS_32BIT is 0: the x86
# build, and stand-ins as 32-bit as the real products, cannot be run there.
if [[ -z ${WINE_RUNS_32BIT:-} ]]; then
  WINE_RUNS_32BIT=1
  if [[ -e /usr/lib/wine/wine ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WINE_RUNS_32BIT=0
    echo "!! this machine's kernel runs no 32-bit code: the x86 build and the x86 worlds cannot run here"
    wine_shim=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/wine64-only
    mkdir -p "$wine_shim"
    # wine-stable too: Debian's wineboot, winepath and the like call it.
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      >"$wine_shim/wine"
    chmod +x "$wine_shim/wine"
    ln -sf wine "$wine_shim/wine-stable"
    export PATH=$wine_shim:$PATH
    unset wine_shim
  fi
  export WINE_RUNS_32BIT
fi
