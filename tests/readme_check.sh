#!/usr/bin/env bash
# The README and docs/ as a reader uses them: every shell block parses
# (bash -n), and every repository path they name, or link to, exists.
set -uo pipefail
cd "$(dirname "$0")/.."
failed=0 blocks=0 paths=0
fail() { echo "readme_check: $*"; failed=1; }
# A path counts when its first part is a folder of the repository (build/
# and dist/ are made by the tools, so they never count).
tops=$(find . -mindepth 1 -maxdepth 1 -type d ! -name build ! -name dist ! -name .git -printf '%f\n')
exists() { compgen -G "$1" >/dev/null; }

for doc in README.md docs/*.md; do
  n=0 in=0 start=0 block=""
  while IFS= read -r line; do
    n=$((n + 1))
    if ((in)) && [[ $line == '```'* ]]; then
      in=0 blocks=$((blocks + 1))
      out=$(bash -n <<<"$block" 2>&1) || fail "$doc:$start: shell block does not parse: $out"
    elif ((in)); then
      block+=$line$'\n'
    elif [[ $line =~ ^\`\`\`(sh|bash|shell)$ ]]; then
      in=1 start=$n block=""
    fi
  done <"$doc"
  for word in $(grep -oE '[A-Za-z0-9_.*-]+(/[A-Za-z0-9_.*-]*)+' "$doc" | sed 's/\.*$//' | sort -u); do
    grep -qxF -- "${word%%/*}" <<<"$tops" || continue
    paths=$((paths + 1))
    exists "$word" || fail "$doc names $word, which does not exist"
  done
  for target in $(grep -oE '\]\([^)#]+' "$doc" | cut -c3- | grep -v '://' | sort -u); do
    paths=$((paths + 1))
    exists "$(dirname "$doc")/$target" || fail "$doc links to $target, which does not exist"
  done
done
# The waits are named by function, so that the page cannot go stale unseen.
for name in $(grep -oE '`[A-Z][a-z]+[A-Z][A-Za-z]+`' docs/performance.md | tr -d '`' | sort -u); do
  paths=$((paths + 1))
  grep -rqw -- "$name" modules platform || fail "docs/performance.md names $name, which the code does not have"
done
echo "readme_check: $blocks shell blocks, $paths paths checked"
exit $failed
