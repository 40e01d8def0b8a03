#!/usr/bin/env bash
# Runs every end-to-end script of this folder (each in its own Xvfb and Wine prefix) and
# ends with one "N passed, M failed" line for them all.
#
#   tests/wine/run_all.sh              # all of them
#   tests/wine/run_all.sh settings     # only settings_e2e.sh
set -u
dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
passed=0
failed=0
# One prefix made here and copied for each script (unless the caller made one already).
if [[ -z "${WINE_PREFIX_TEMPLATE:-}" ]]; then
  source "$dir/lib.sh"
  make_prefix_template || echo "(no prefix template: each script makes its own prefix)"
  trap remove_prefix_template EXIT
fi
scripts=()
if (($#)); then
  for name in "$@"; do scripts+=("$dir/${name}_e2e.sh"); done
else
  scripts=("$dir"/*_e2e.sh)
fi
for script in "${scripts[@]}"; do
  echo "== $(basename "$script")"
  output=$("$script" 2>&1)
  status=$?
  printf '%s\n' "$output" | grep -v -E '^[0-9]+ passed, [0-9]+ failed$'
  summary=$(printf '%s\n' "$output" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
  if [[ -z "$summary" ]]; then
    echo "FAIL: $(basename "$script") ended without a summary (exit $status)"
    failed=$((failed + 1))
    continue
  fi
  read -r p _ f _ <<<"$summary"
  passed=$((passed + p))
  failed=$((failed + f))
  if ((status != 0 && f == 0)); then
    echo "FAIL: $(basename "$script") exited $status"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
((failed == 0))
