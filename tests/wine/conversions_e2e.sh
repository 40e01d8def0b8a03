#!/usr/bin/env bash
# The program's number and date conversions side by side with oleaut32's under Wine: the
# test program conversions_vs_oleaut32.exe (tests/win32) runs thousands of generated inputs
# through both in three regions (en-US, de-DE, fr-FR) and lists every difference by kind.
# Each difference must be one explained in docs/reliability.md ("Conversions against
# oleaut32"); anything else fails here.
#
#   tests/wine/conversions_e2e.sh
#   CONVERSIONS_EXE=path/to/conversions_vs_oleaut32.exe tests/wine/conversions_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

CONVERSIONS_EXE=${CONVERSIONS_EXE:-$REPO_ROOT/build/win32/conversions_vs_oleaut32.exe}
OUTPUT=""
STATUS=0

# compare [ARGS...]: runs the comparison in the run folder; its output in OUTPUT, its exit code in STATUS.
compare() {
  STATUS=0
  (cd "$RUN_DIR" && timeout 120 "$WINE" ./conversions_vs_oleaut32.exe "$@" >"$RUN_DIR/output.txt" 2>&1) || STATUS=$?
  OUTPUT=$(tr -d '\r' <"$RUN_DIR/output.txt")
}

# Every difference is explained, over enough comparisons of every function to mean something.
every_difference_is_explained() {
  compare
  local unexplained comparisons function
  printf '%s\n' "$OUTPUT" | grep -E '^(DIFF|reason|summary)' | sed 's/^/  /'
  printf '%s\n' "$OUTPUT" | grep -A4 '^DIFF' | grep 'e\.g\.' | sed 's/^/  /'
  [[ "$OUTPUT" =~ summary:\ ([0-9]+)\ comparisons,\ ([0-9]+)\ differences,\ ([0-9]+)\ known,\ ([0-9]+)\ unexplained ]] ||
    fail "no summary line (exit $STATUS)" || return
  comparisons=${BASH_REMATCH[1]}
  unexplained=${BASH_REMATCH[4]}
  ((comparisons >= 50000)) || fail "only $comparisons comparisons" || return
  for function in ToDouble/VarR8FromStr ToInteger16/VarI2FromStr ToInteger32/VarI4FromStr ToBoolean/VarBoolFromStr \
    NumberToText/VarBstrFromR8 FormatNumber/VarFormat BooleanText/VarBstrFromBool FormatTimeStamp/VarFormat \
    MakeDateValue/SystemTimeToVariantTime DayNumber/VarDateFromUdate; do
    grep -qE "^compared $function: [1-9]" <<<"$OUTPUT" || fail "nothing compared for $function" || return
  done
  ((unexplained == 0)) || fail "$unexplained differences nobody explained" || return
  ((STATUS == 0)) || fail "exit $STATUS with nothing unexplained"
}

# Wine reports the regions' separators as Windows does; otherwise the comparison means little.
regions_have_their_separators() {
  grep -qxF 'region en-US (0409): decimal ".", thousands ","' <<<"$OUTPUT" || fail "en-US separators" || return
  grep -qxF 'region de-DE (0407): decimal ",", thousands "."' <<<"$OUTPUT" || fail "de-DE separators" || return
  grep -qxF 'region fr-FR (040C): decimal ",", thousands "\xA0"' <<<"$OUTPUT" || fail "fr-FR separators"
}

# Another seed finds nothing new either.
another_seed_finds_nothing_new() {
  compare --seed 7 --count 5000
  grep -q ' 0 unexplained$' <<<"$OUTPUT" && ((STATUS == 0)) && return
  printf '%s\n' "$OUTPUT" | grep -A4 '^DIFF' | sed 's/^/  /'
  fail "seed 7: $(grep '^summary' <<<"$OUTPUT") (exit $STATUS)"
}

# The comparison does report a difference: the program's side broken on purpose fails it.
a_broken_conversion_is_reported() {
  compare --break-ours --count 500
  ((STATUS == 1)) || fail "exit $STATUS, not 1, with the program's side broken" || return
  grep -qE '^DIFF NumberToText/VarBstrFromR8 \[[a-z-]+\] de-DE' <<<"$OUTPUT" || fail "no NumberToText difference listed"
}

main() {
  if [[ ! -f "$CONVERSIONS_EXE" ]]; then
    fail_case build "missing $CONVERSIONS_EXE: build the win32 tree first"
    report
    return
  fi
  setup_or_report || return
  cp "$CONVERSIONS_EXE" "$RUN_DIR/conversions_vs_oleaut32.exe" || { fail_case setup "cannot copy the exe"; report; return; }
  run_case every_difference_is_explained
  run_case regions_have_their_separators
  run_case another_seed_finds_nothing_new
  run_case a_broken_conversion_is_reported
  report
}

main
