#!/usr/bin/env bash
# The Win32 layer's own GoogleTest cases (tests/platform/win32), run under Wine on a display
# for both builds, 32-bit and 64-bit, one after the other in one prefix: handle owners
# against the real system, each case one line here, named with its build
# ("ok: 32-bit: Win32/UiContract.X/Win32").
#
#   tests/wine/win32_units_e2e.sh
#   WIN32_TESTS_EXES="path/one.exe path/two.exe" tests/wine/win32_units_e2e.sh
#
# The exes are built by their own project (see tests/platform/win32/CMakeLists.txt) into
# build/win32-tests and build/win64-tests. Prints one line per build and one
# "N passed, M failed" line for both at the end, and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

read -r -a TEST_EXES <<<"${WIN32_TESTS_EXES:-$REPO_ROOT/build/win32-tests/win32_tests.exe $REPO_ROOT/build/win64-tests/win32_tests.exe}"

# run_build EXE: runs one build's tests and counts its cases into PASSED and FAILED.
run_build() {
  local exe=$1 build
  case $(pe_machine "$exe") in
    i386) build=32-bit ;;
    x86-64) build=64-bit ;;
    *) fail_case "$exe" "not a Windows exe of a known machine"; return ;;
  esac
  local copy=win32_tests-$build.exe
  cp "$exe" "$RUN_DIR/$copy" || { fail_case "$build" "cannot copy $exe"; return; }
  local passed_before=$PASSED failed_before=$FAILED output status line
  # The line that ends a failed case, with its time; a parameterised case names its
  # parameter before it: "[  FAILED  ] Win32/UiContract.X/Win32, where GetParam() = Win32 (5 ms)".
  local failed_case='^\[ +FAILED +\] ([A-Za-z0-9_./]+)(, where GetParam\(\) = [^ ]+)? \('
  output=$(cd "$RUN_DIR" && timeout 300 "$WINE" "./$copy" 2>&1)
  status=$?
  while IFS= read -r line; do
    line=${line%$'\r'}  # Wine's console ends lines in CR LF
    if [[ "$line" =~ ^\[\ +OK\ \]\ ([A-Za-z0-9_./]+) ]]; then
      PASSED=$((PASSED + 1))
      echo "ok: $build: ${BASH_REMATCH[1]}"
    elif [[ "$line" =~ $failed_case ]]; then
      FAILED=$((FAILED + 1))
      echo "FAIL: $build: ${BASH_REMATCH[1]}"
    elif [[ "$line" =~ Failure$ || "$line" =~ ^(Expected|Value\ of|\ +Actual|\ +Which\ is) ]]; then
      echo "  $line"
    fi
  done <<<"$output"
  # A run that crashed or hung reports fewer results than it has cases: it fails as a whole.
  if [[ $status != 0 ]] && ((FAILED == failed_before)); then
    fail_case "$build" "$copy exited $status"
  fi
  ((PASSED + FAILED > passed_before + failed_before)) || fail_case "$build" "$copy reported no case"
  echo "$build: $((PASSED - passed_before)) passed, $((FAILED - failed_before)) failed"
}

main() {
  local exe present=()
  for exe in "${TEST_EXES[@]}"; do
    if [[ -f "$exe" ]]; then
      present+=("$exe")
    else
      fail_case build "missing $exe: build tests/platform/win32 first"
    fi
  done
  if ((${#present[@]} == 0)); then
    report
    return
  fi
  setup_or_report || return
  for exe in "${present[@]}"; do run_build "$exe"; done
  report
}

main
