#!/usr/bin/env bash
# The Win32 layer's own GoogleTest cases (tests/platform/win32), run under Wine on a display:
# handle owners against the real system, each case one line here.
#
#   tests/wine/win32_units_e2e.sh
#   WIN32_TESTS_EXE=... tests/wine/win32_units_e2e.sh
#
# The exe is built by its own project (see tests/platform/win32/CMakeLists.txt) into
# build/win64-tests. Prints one "N passed, M failed" line at the end and exits non-zero when
# anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

WIN32_TESTS_EXE=${WIN32_TESTS_EXE:-$REPO_ROOT/build/win64-tests/win32_tests.exe}

main() {
  if [[ ! -f "$WIN32_TESTS_EXE" ]]; then
    fail_case build "missing $WIN32_TESTS_EXE: build tests/platform/win32 first"
    report
    return
  fi
  setup_or_report || return
  cp "$WIN32_TESTS_EXE" "$RUN_DIR/win32_tests.exe" || { fail_case setup "cannot copy the tests"; report; return; }
  local output status line
  # The line that ends a failed case, with its time; a parameterised case names its
  # parameter before it: "[  FAILED  ] Win32/UiContract.X/Win32, where GetParam() = Win32 (5 ms)".
  local failed_case='^\[ +FAILED +\] ([A-Za-z0-9_./]+)(, where GetParam\(\) = [^ ]+)? \('
  output=$(cd "$RUN_DIR" && timeout 300 "$WINE" ./win32_tests.exe 2>&1)
  status=$?
  while IFS= read -r line; do
    line=${line%$'\r'}  # Wine's console ends lines in CR LF
    if [[ "$line" =~ ^\[\ +OK\ \]\ ([A-Za-z0-9_./]+) ]]; then
      PASSED=$((PASSED + 1))
      echo "ok: ${BASH_REMATCH[1]}"
    elif [[ "$line" =~ $failed_case ]]; then
      FAILED=$((FAILED + 1))
      echo "FAIL: ${BASH_REMATCH[1]}"
    elif [[ "$line" =~ Failure$ || "$line" =~ ^(Expected|Value\ of|\ +Actual|\ +Which\ is) ]]; then
      echo "  $line"
    fi
  done <<<"$output"
  # A run that crashed or hung reports fewer results than it has cases: it fails as a whole.
  if [[ $status != 0 ]] && ((FAILED == 0)); then
    fail_case run "win32_tests.exe exited $status"
  fi
  ((PASSED + FAILED > 0)) || fail_case run "win32_tests.exe reported no case"
  report
}

main
