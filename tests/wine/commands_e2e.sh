#!/usr/bin/env bash
# End-to-end checks of the client commands under Wine, against the HRD simulator: what is
# acknowledged or refused, what reaches HRD and in which order, requests coalescing, a
# transmitter never left keyed, the window commands, a requested shutdown, and commands
# answered silently while HRD is away.
#
#   tests/wine/commands_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

raw_execute() { suite_client --raw execute Corvane DDEServer "$@" 2>/dev/null; }

case_test_and_unknown_words() {
  expect_answer 004test ACK || return 1
  expect_answer 004TEST ACK || return 1
  expect_answer 007unknown NACK || return 1
  [[ "$(raw_execute 004test)" == ACK ]] || { fail "a raw-DDE client's 004test was not acknowledged"; return 1; }
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "a log was written: $(cat "$RUN_DIR/ErrorLog.txt")"; return 1; }
}

case_malformed_numbers_are_refused_and_logged() {
  expect_answer abctest NACK || return 1
  expect_answer "" NACK || return 1
  local lines
  lines=$(grep -c "program error 13 in module DDEServer.LinkExecute: Type mismatch" "$RUN_DIR/ErrorLog.txt" 2>/dev/null)
  [[ "$lines" == 2 ]] || { fail "the log has $lines such error lines: $(cat "$RUN_DIR/ErrorLog.txt" 2>/dev/null)"; return 1; }
}

case_qsy_reaches_hrd_after_the_answer() {
  mark
  expect_answer 003qsy14025.5 ACK || return 1
  expect_commands "frqa 14025500" || return 1
  wait_until item_is RcvFreq 14,025.50 || { fail "RcvFreq is \"$(item RcvFreq)\""; return 1; }
}

case_freq_and_mode_go_mode_first() {
  mark
  expect_answer "012xcvrfreqmode<xcvrfreq:8>14025.00<xcvrmode:2>CW" ACK || return 1
  expect_commands $'mode CW\nfrqa 14025000'
}

case_set_mode_shows_at_once_and_goes_upper_case() {
  # A client linked to Mode sees the requested mode before HRD's answer turns it into the
  # suite's mode. (A new connection could not tell: connects wait while the bridge waits
  # on a slow HRD.)
  local watch=$RUN_DIR/watch-mode.txt
  "$WINE" "$RUN_DIR/suite_client.exe" watch Corvane DDEServer Mode 6 >"$watch" 2>&1 &
  local watcher=$!
  STARTED_PIDS+=("$watcher")
  wait_until test -s "$watch" || { fail "the watcher did not link"; return 1; }
  mark
  expect_answer "014xcvrsetmodecmd<xcvrsetmodearg:3>usb" ACK || return 1
  expect_commands "mode USB" || return 1
  wait "$watcher" 2>/dev/null
  local seen
  seen=$(tr -d '\r' <"$watch" | tail -n +2)
  [[ "$seen" == $'USB\nSSB' ]] || { fail "the Mode watcher saw:"$'\n'"$(cat "$watch")"; return 1; }
}

case_transmit_reaches_hrd_before_the_answer() {
  hrd_control "stall 1000"
  mark
  local start end
  start=$(date +%s%N)
  expect_answer 008transmit ACK || { hrd_control ack; return 1; }
  end=$(date +%s%N)
  hrd_control ack
  hrd_received "butn tx=on" || { fail "HRD never got butn tx=on"; return 1; }
  # HRD held its answer for a second: an acknowledgement that came sooner did not wait for it.
  (((end - start) / 1000000 >= 900)) || { fail "answered after $(((end - start) / 1000000)) ms, before HRD had answered"; return 1; }
  mark
  expect_answer 007receive ACK || return 1
  expect_commands "butn tx=off"
}

case_receive_during_a_waiting_transmit_unkeys_last() {
  hrd_control "stall 1500"
  mark
  execute 008transmit >/dev/null &
  local transmit=$!
  STARTED_PIDS+=("$transmit")
  wait_until hrd_received_since_mark "butn tx=on" || { fail "transmit did not reach HRD"; hrd_control ack; return 1; }
  local receive_answer
  receive_answer=$(execute 007receive)
  wait "$transmit" 2>/dev/null
  hrd_control ack
  [[ "$receive_answer" == ACK ]] || { fail "receive was answered \"$receive_answer\""; return 1; }
  expect_commands $'butn tx=on\nbutn tx=off' || return 1
  wait_until item_is RadioState receive || { fail "RadioState is \"$(item RadioState)\": left keyed"; return 1; }
}

case_split_and_dual_reach_the_radio() {
  mark
  expect_answer 008setspliton ACK || return 1
  expect_commands "butn Split=on" || return 1
  expect_answer 007setdualON ACK || return 1
  expect_commands $'butn Split=on\nbutn Dual=on'
}

case_two_qsy_before_the_bridge_can_send_give_one() {
  # While HRD holds its answer to one frequency, two more arrive back to back on two other
  # conversations, opened beforehand: the bridge sends HRD only the newest, once.
  hrd_control "stall 1500"
  mark
  local answers
  answers=$(suite_client burst Corvane DDEServer 300 003qsy7000 003qsy7001 003qsy7002 2>/dev/null | tr -d '\r')
  hrd_control ack
  [[ "$answers" == $'ACK\nACK\nACK' ]] || { fail "the three qsy were answered: $answers"; return 1; }
  sleep 2.5
  local frequencies
  frequencies=$(commands_since_mark | grep '^frqa ')
  [[ "$frequencies" == $'frqa 7000000\nfrqa 7002000' ]] || { fail "HRD received:"$'\n'"$frequencies"; return 1; }
  wait_until item_is RcvFreq 7,002.00 || { fail "RcvFreq is \"$(item RcvFreq)\""; return 1; }
}

case_window_commands() {
  expect_answer 007iconify ACK || return 1
  wait_until item_is MainWindowState 1 || { fail "MainWindowState is \"$(item MainWindowState)\" after iconify"; return 1; }
  expect_answer 008activate ACK || return 1
  wait_until item_is MainWindowState 0 || { fail "MainWindowState is \"$(item MainWindowState)\" after activate"; return 1; }
  expect_answer 012resetwindows1440 ACK || return 1
  local origin
  origin=$(xwininfo -display "$DISPLAY" -name "$BRIDGE_CAPTION" 2>/dev/null |
    awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} END {print x, y}')
  [[ "$origin" == "96 96" ]] || { fail "the window's corner is at $origin after resetwindows1440"; return 1; }
}

log_size() { stat -c %s "$RUN_DIR/ErrorLog.txt" 2>/dev/null || echo 0; }

case_without_hrd_everything_is_answered_silently() {
  local before
  before=$(log_size)
  hrd_control quit
  wait_until pid_gone "$HRD_PID" || { fail "the simulator did not quit"; return 1; }
  local command
  for command in 008transmit 007receive 003qsy7040 "012xcvrfreqmode<a:4>7040<b:3>USB" \
    "014xcvrsetmodecmd<a:3>lsb" 008setspliton 007setdualon 005split7050 004test; do
    expect_answer "$command" ACK || return 1
  done
  sleep 0.5
  [[ "$(log_size)" == "$before" ]] || { fail "the log grew: $(tail -n 5 "$RUN_DIR/ErrorLog.txt")"; return 1; }
}

case_shutdown_is_answered_at_once_and_ends_a_second_later() {
  start_listener 30 TavixLauncher || { fail "the listener did not start"; return 1; }
  local start answered
  start=$(date +%s%N)
  expect_answer 008shutdown ACK || return 1
  answered=$(date +%s%N)
  (((answered - start) / 1000000 < 900)) || { fail "shutdown was answered after $(((answered - start) / 1000000)) ms"; return 1; }
  pid_gone "$BRIDGE_PID" && { fail "the bridge ended before its second was up"; return 1; }
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge still runs"; return 1; }
  wait_until grep -q "TavixLauncher EXECUTE 000stop" "$LISTEN_LOG" || { fail "the launcher heard no stop"; return 1; }
  stop_pid "$LISTEN_PID"
}

main() {
  setup_or_report || return
  if start_hrd && start_bridge && wait_until item_is RcvFreq 14,070.00; then
    run_case case_test_and_unknown_words
    run_case case_qsy_reaches_hrd_after_the_answer
    run_case case_freq_and_mode_go_mode_first
    run_case case_set_mode_shows_at_once_and_goes_upper_case
    run_case case_transmit_reaches_hrd_before_the_answer
    run_case case_receive_during_a_waiting_transmit_unkeys_last
    run_case case_split_and_dual_reach_the_radio
    run_case case_two_qsy_before_the_bridge_can_send_give_one
    run_case case_window_commands
    run_case case_malformed_numbers_are_refused_and_logged
    run_case case_without_hrd_everything_is_answered_silently
    run_case case_shutdown_is_answered_at_once_and_ends_a_second_later
  else
    fail_case start "the simulator or the bridge did not come up, or they did not link"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
