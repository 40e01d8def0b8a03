#!/usr/bin/env bash
# End-to-end checks of the bridge under Wine when things go wrong: HRD refusing a command,
# HRD not answering within the bridge's time-out, and a program error, which shows
# "see ErrorLog" in the window and lands in ErrorLog.txt with Windows line ends.
#
#   tests/wine/faults_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ERROR_LABEL="see ErrorLog"
ERROR_LOG_NAME=ErrorLog.txt

no_error_log() {
  [[ ! -e "$RUN_DIR/$ERROR_LOG_NAME" ]] || { fail "$ERROR_LOG_NAME written: $(head -c 2000 "$RUN_DIR/$ERROR_LOG_NAME")"; return 1; }
}

error_label_shown() { [[ "$(label_shown "$ERROR_LABEL")" == 1 ]]; }

# Milliseconds since the epoch.
now_ms() { date +%s%3N; }

case_clean_start_hides_the_error_label() {
  local shown
  shown=$(label_shown "$ERROR_LABEL")
  [[ -n "$shown" ]] || { fail "the window has no label \"$ERROR_LABEL\""; return 1; }
  [[ "$shown" == 0 ]] || { fail "\"$ERROR_LABEL\" is shown after a start without error"; return 1; }
  no_error_log
}

case_refused_command_is_acknowledged_and_changes_nothing() {
  # A linked client sees every value RcvFreq takes meanwhile, not just the last one.
  local watch=$RUN_DIR/watch-refused.txt
  "$WINE" "$RUN_DIR/suite_client.exe" watch Corvane DDEServer RcvFreq 3 >"$watch" 2>&1 &
  local watcher=$!
  STARTED_PIDS+=("$watcher")
  wait_until test -s "$watch" || { fail "the watcher did not link"; return 1; }

  hrd_apply refuse || { fail "the simulator did not take \"refuse\""; return 1; }
  mark
  expect_answer 003qsy14025.5 ACK || { hrd_apply ack; return 1; }
  wait_until hrd_received_since_mark "frqa 14025500" ||
    { fail "the frequency never reached HRD; it got: $(commands_since_mark)"; hrd_apply ack; return 1; }
  expect_answer 004test ACK || { hrd_apply ack; return 1; }
  wait "$watcher" 2>/dev/null
  forget_pid "$watcher"
  hrd_apply ack

  local seen
  seen=$(tr -d '\r' <"$watch" | sort -u)
  [[ "$seen" == 14,070.00 ]] || { fail "RcvFreq took these values while HRD refused:"$'\n'"$(cat "$watch")"; return 1; }
  item_is RcvFreq 14,070.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after HRD refused"; return 1; }
  no_error_log
}

case_program_error_shows_the_error_label() {
  # "abc" is no number: the command dispatcher reports a type mismatch.
  execute abctest >/dev/null
  wait_until error_label_shown ||
    { fail "\"$ERROR_LABEL\" is not shown ${WAIT_TIMEOUT} s after a program error; window: $(suite_client windows "$BRIDGE_CAPTION")"; return 1; }
  grep -q "program error 13 in module DDEServer.LinkExecute" "$RUN_DIR/$ERROR_LOG_NAME" 2>/dev/null ||
    { fail "the error is not in $ERROR_LOG_NAME: $(cat "$RUN_DIR/$ERROR_LOG_NAME" 2>/dev/null)"; return 1; }
}

# "LF CRLF CR LAST" for a file: its line feeds, the carriage-return + line-feed pairs among
# them, all carriage returns, and its last byte, in hex.
line_end_counts() {
  od -An -v -tx1 -w1 "$1" | awk '
    { b = $1 }
    b == "0a" { lf++; if (prev == "0d") crlf++ }
    b == "0d" { cr++ }
    { prev = b }
    END { printf "%d %d %d %s\n", lf, crlf, cr, prev }'
}

log_lines() { tr -cd '\n' <"$RUN_DIR/$ERROR_LOG_NAME" 2>/dev/null | wc -c; }

case_error_log_lines_end_in_cr_lf() {
  # A second error, so that the log has lines from two writes.
  local before
  before=$(log_lines)
  execute "" >/dev/null
  wait_until test "$(log_lines)" -gt "$before" || { fail "an empty command wrote no log line"; return 1; }
  local lf crlf cr last
  read -r lf crlf cr last < <(line_end_counts "$RUN_DIR/$ERROR_LOG_NAME")
  ((lf >= 2)) || { fail "$ERROR_LOG_NAME has $lf line feeds, want two lines at least"; return 1; }
  ((crlf == lf && cr == lf)) && [[ "$last" == 0a ]] ||
    { fail "$ERROR_LOG_NAME: $lf LF, $crlf CR LF, $cr CR, last byte $last:"$'\n'"$(od -c "$RUN_DIR/$ERROR_LOG_NAME" | head -n 20)"; return 1; }
}

case_hrd_not_answering_in_time_does_not_hold_the_bridge() {
  # HRD holds the command well beyond the bridge's 5 s: a bridge that waited for HRD's
  # answer instead of timing out would answer after 9 s.
  hrd_apply "stall 9000" || { fail "the simulator did not take \"stall 9000\""; return 1; }
  mark
  local start answer elapsed
  start=$(now_ms)
  answer=$(execute 008transmit 15000)
  elapsed=$(($(now_ms) - start))
  hrd_received_since_mark "butn tx=on" || { fail "transmit never reached HRD"; hrd_apply ack; return 1; }
  [[ "$answer" == ACK || "$answer" == NACK ]] ||
    { fail "008transmit got \"$answer\" after $elapsed ms while HRD stalled"; hrd_apply ack; return 1; }
  ((elapsed < 7500)) || { fail "008transmit was answered after $elapsed ms while HRD stalled"; hrd_apply ack; return 1; }

  # HRD still holds the command for a moment: the bridge answers meanwhile.
  start=$(now_ms)
  expect_answer 004test ACK || { hrd_apply ack; return 1; }
  elapsed=$(($(now_ms) - start))
  ((elapsed < 2000)) || { fail "004test took $elapsed ms after HRD's time-out"; hrd_apply ack; return 1; }

  hrd_apply ack || { fail "the simulator did not take \"ack\""; return 1; }
  WAIT_TIMEOUT=10 wait_until hrd_logged_since 0 "REPLY ACK after a 9000 ms stall: butn tx=on" ||
    { fail "the simulator never let the stalled command go"; return 1; }
  mark
  expect_answer 003qsy7010 ACK || return 1
  wait_until hrd_received_since_mark "frqa 7010000" ||
    { fail "a qsy after HRD answered again did not reach it; it got: $(commands_since_mark)"; return 1; }
  expect_answer 007receive ACK
}

main() {
  setup_or_report || return
  if start_hrd --set HRD_HERTZ=14070000 --set HRD_MODE=USB --set HRD_TX=off && start_bridge &&
    wait_until item_is RcvFreq 14,070.00; then
    run_case case_clean_start_hides_the_error_label
    run_case case_refused_command_is_acknowledged_and_changes_nothing
    run_case case_program_error_shows_the_error_label
    run_case case_error_log_lines_end_in_cr_lf
    run_case case_hrd_not_answering_in_time_does_not_hold_the_bridge
  else
    fail_case start "the simulator or the bridge did not come up, or they did not link"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
