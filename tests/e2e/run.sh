#!/usr/bin/env bash
# Runs the end-to-end scenarios of the real program under Wine on Xvfb, in
# each Windows world (see SANDBOX_WORLD in sandbox.sh): first the self-check
# of the test fixtures, then the scenarios.
#   tests/e2e/run.sh [WORLD...]    default: every world
# Each script's full output goes to build/e2e/<world>/<script>.log.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export SANDBOX_CACHE_DIR=${SANDBOX_CACHE_DIR:-$root/build/wine/cache}
source "$root/tests/e2e/wine.sh"
all="tests/fixtures/selfcheck.sh tests/e2e/removal.sh tests/e2e/installer.sh tests/e2e/windows.sh tests/e2e/hostile.sh"
# The x86 build on 64-bit Windows is what the README tells administrators to
# deploy: it gets everything the x64 build gets. The old systems get what
# differs there: paths, one registry view, translucent windows, their
# processes and files.
declare -A scripts=(
  [x64]=$all
  [x64-wine10]=$all
  [x86-wow64]=$all
  [x86-xp]="tests/fixtures/selfcheck.sh tests/e2e/removal.sh tests/e2e/windows.sh tests/e2e/hostile.sh"
  [x86-2000]="tests/e2e/removal.sh tests/e2e/windows.sh"
)
worlds=("$@")
# Where the machine's own Wine is 10 (Debian 13), x64 is x64-wine10.
[[ ${#worlds[@]} -gt 0 ]] || worlds=(x64 x64-wine10 x86-wow64 x86-xp x86-2000)
((WINE_RUNS_32BIT || $# > 0)) || worlds=(x64 x64-wine10)
[[ $(wine --version) == wine-10.* && $# -eq 0 ]] && worlds=("${worlds[@]:1}")
for world in "${worlds[@]}"; do
  [[ -n ${scripts[$world]:-} ]] || { echo "run.sh: unknown world '$world'" >&2; exit 2; }
done
mkdir -p "$root/build/e2e"
# run_world WORLD: its scripts one after the other; a report on stdout.
run_world() {
  local world=$1 script log start rc failed=0
  mkdir -p "$root/build/e2e/$world"
  for script in ${scripts[$world]}; do
    log=$root/build/e2e/$world/$(basename "$script" .sh).log
    start=$SECONDS
    SANDBOX_WORLD=$world "$root/$script" >"$log" 2>&1
    rc=$?
    echo "-- $world: $script ($((SECONDS - start)) s)"
    grep -E '^(not ok|    |# scenario)|passed, ' "$log"
    if [ $rc -ne 0 ]; then
      failed=1
      echo "!! $world: $script failed; full output in ${log#"$root"/}"
    fi
  done
  return $failed
}

# The worlds run side by side: each has its own prefix and X server, and
# most of their time is spent waiting for Wine, not computing.
pids=()
for world in "${worlds[@]}"; do
  run_world "$world" >"$root/build/e2e/$world.report" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!worlds[@]}"; do
  wait "${pids[$i]}" || failed=1
  cat "$root/build/e2e/${worlds[$i]}.report"
done
exit $failed
