#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (with ASan and UBSan) against
# the simulated platform and runs each for a fixed time.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds=${FUZZ_SECONDS:-20}
out=$root/build/fuzz
mkdir -p "$out"
sources=("$root"/forms/*.cpp "$root"/modules/*.cpp "$root/platform/form.cpp" "$root/platform/sim/sim_platform.cpp")
for target in fuzz_name_match fuzz_variant_text; do
  clang++ -std=c++20 -g -O1 -I"$root" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "$root/tests/fuzz/$target.cpp" "${sources[@]}" -o "$out/$target"
  mkdir -p "$out/$target.corpus"
  rc=0
  "$out/$target" -max_total_time="$seconds" -artifact_prefix="$out/" "$out/$target.corpus" >"$out/$target.log" 2>&1 || rc=$?
  echo "$target: $(grep -E '^Done' "$out/$target.log" || echo 'no result')"
  if [ $rc -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|Test unit written' "$out/$target.log"
    exit $rc
  fi
done
