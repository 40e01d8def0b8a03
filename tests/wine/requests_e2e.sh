#!/usr/bin/env bash
# End-to-end checks under Wine of what the suite relies on at the edges: the mode a client
# reads after asking for the mode HRD already has, frequencies HRD cannot read, a mode sent
# without a frequency, a region with a decimal comma, and the end of the Windows session
# (log-off or shutdown), which must run the bridge's shutdown.
#
#   tests/wine/requests_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

log_text() { tr -d '\r' <"$RUN_DIR/ErrorLog.txt" 2>/dev/null; }

case_mode_already_set_ends_on_the_suites_mode() {
  # The simulator is in USB and reports nothing when told USB again.
  mark
  expect_answer "014xcvrsetmodecmd<xcvrsetmodearg:3>usb" ACK || return 1
  expect_commands "mode USB" || return 1
  wait_until item_is Mode SSB || { fail "Mode reads \"$(item Mode)\", want SSB"; return 1; }
  [[ "$(item RadioMode)" == USB ]] || { fail "RadioMode reads \"$(item RadioMode)\""; return 1; }
}

case_frequency_hrd_cannot_read_is_refused() {
  mark
  expect_answer 003qsy1e306 NACK || return 1
  expect_answer 005split1e306 NACK || return 1
  expect_answer "012xcvrfreqmode<xcvrfreq:5>1e306<xcvrmode:2>CW" NACK || return 1
  # Something that does go out afterwards proves the refused ones never will.
  expect_answer 003qsy7000 ACK || return 1
  expect_commands "frqa 7000000" || return 1
  local errors
  errors=$(log_text | grep -c "program error 6 in module DDEServer.LinkExecute: ")
  [[ "$errors" == 3 ]] || { fail "$errors overflow lines in the log:"$'\n'"$(log_text)"; return 1; }
}

case_mode_without_a_frequency_leaves_the_radio_where_it_is() {
  wait_until item_is RcvFreq 7,000.00 || { fail "RcvFreq is \"$(item RcvFreq)\""; return 1; }
  mark
  expect_answer "012xcvrfreqmode<xcvrfreq:0><xcvrmode:2>CW" ACK || return 1
  expect_answer 004test ACK || return 1
  expect_commands "mode CW" || return 1
  [[ "$(item RcvFreq)" == 7,000.00 ]] || { fail "RcvFreq moved to \"$(item RcvFreq)\""; return 1; }
}

# A fresh bridge in a region whose decimal separator is a comma and whose thousands are
# grouped with a full stop, as most of Europe writes numbers.
case_decimal_comma_region_both_ways() {
  stop_pid "$BRIDGE_PID"
  "$WINE" reg add 'HKCU\Control Panel\International' /v sDecimal /d , /f >/dev/null 2>&1 &&
    "$WINE" reg add 'HKCU\Control Panel\International' /v sThousand /d . /f >/dev/null 2>&1 ||
    { fail "could not set the number format"; return 1; }
  hrd_apply "quit"
  wait_until pid_gone "$HRD_PID"
  new_run_dir || { fail "no run folder"; return 1; }
  # Without HRD: the frequency box still holds its design text, which is no error.
  start_bridge || { fail "the bridge did not start"; return 1; }
  sleep 2
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "a start without HRD logged:"$'\n'"$(log_text)"; return 1; }
  [[ "$(label_shown "see ErrorLog")" == 0 ]] || { fail "\"see ErrorLog\" is shown"; return 1; }

  start_hrd --set HRD_HERTZ=7040500 || { fail "the simulator did not start"; return 1; }
  WAIT_TIMEOUT=10 wait_until item_is RcvFreq 7.040,50 || { fail "RcvFreq is \"$(item RcvFreq)\", want 7.040,50"; return 1; }
  mark
  expect_answer 003qsy14025,5 ACK || return 1
  expect_commands "frqa 14025500" || return 1
  wait_until item_is RcvFreq 14.025,50 || { fail "RcvFreq is \"$(item RcvFreq)\""; return 1; }
}

# wineboot --end-session ends the session for every program of the prefix, as log-off does.
case_end_of_session_saves_tells_and_logs() {
  expect_answer abctest NACK || return 1  # a run that logged ends its log with the shutdown line
  expect_answer 012resetwindows1440 ACK || return 1
  suite_client minimize "$BRIDGE_CAPTION" >/dev/null 2>&1
  wait_until item_is MainWindowState 1 || { fail "the window did not minimise"; return 1; }
  # The simulator goes first: Wine's session end can wait for ever on its window.
  hrd_apply quit
  wait_until pid_gone "$HRD_PID"
  timeout 30 "$WINE" wineboot -e >/dev/null 2>&1 &
  STARTED_PIDS+=("$!")
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge still runs after the session ended"; return 1; }
  local key='HKCU\Software\VB and VBA Program Settings\Tavix_HRD_Bridge\Windows' saved
  saved=$("$WINE" reg query "$key" 2>/dev/null | tr -d '\r')
  grep -Eq 'VelkMainWindowState +REG_SZ +1$' <<<"$saved" || { fail "window state not saved:"$'\n'"$saved"; return 1; }
  grep -Eq 'VelkMainLeft +REG_SZ +1440$' <<<"$saved" || { fail "placement not saved:"$'\n'"$saved"; return 1; }
  [[ "$(log_text | tail -n 1)" == *" > Common.Terminate: Tavix_HRD_Bridge shutdown" ]] ||
    { fail "the log ends:"$'\n'"$(log_text | tail -n 3)"; return 1; }
}

main() {
  setup_or_report || return
  if start_hrd && start_bridge && wait_until item_is RcvFreq 14,070.00; then
    run_case case_mode_already_set_ends_on_the_suites_mode
    run_case case_frequency_hrd_cannot_read_is_refused
    run_case case_mode_without_a_frequency_leaves_the_radio_where_it_is
    run_case case_decimal_comma_region_both_ways
    run_case case_end_of_session_saves_tells_and_logs
  else
    fail_case start "the simulator or the bridge did not come up, or they did not link"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
