#!/usr/bin/env bash
# End-to-end checks of how the bridge opens its DDE links under Wine: a sibling that is
# busy for a moment when asked still hears the start and stop notices, a hung window holds
# the bridge's start-up, its link to HRD and its answers up only for the bounded time the
# DDE client documents (a second once, then tens of milliseconds), and a change HRD makes
# while a hot link is being opened is not lost.
#
#   tests/wine/links_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

now_ms() { date +%s%3N; }

# The time (ms since the listener started) of the listener's first line ending in TEXT.
listener_time_of() { tr -d '\r' <"$LISTEN_LOG" | awk -v want="$1" '$1 ~ /^[0-9]+$/ && index($0, want) { print $1; exit }'; }

close_bridge() {
  suite_client close "$BRIDGE_CAPTION" >/dev/null
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge did not end"; return 1; }
  forget_pid "$BRIDGE_PID"
  return 0
}

case_a_busy_sibling_hears_start_and_stop() {
  # Both answer every initiate only after 400 ms, as a sibling writing a contact to its log.
  start_listener 60 --initiate-delay 400 Sarnok TavixLauncher || { fail "the listener did not start"; return 1; }
  start_bridge || { fail "the bridge did not start"; return 1; }
  wait_until grep -q "TavixLauncher EXECUTE 000start" "$LISTEN_LOG" ||
    { fail "the notices came as:"$'\n'"$(listener_events)"; return 1; }
  local started
  started=$(listener_events | grep -E ' (ADVSTART .*|EXECUTE .*)$')
  [[ "$started" == $'Sarnok ADVSTART RequestDDEConnection\nSarnok EXECUTE 000start\nTavixLauncher ADVSTART RequestDDEConnection\nTavixLauncher EXECUTE 000start' ]] ||
    { fail "the start notices came as:"$'\n'"$(listener_events)"; return 1; }
  close_bridge || return 1
  [[ "$(listener_events | grep 'EXECUTE 000stop')" == "TavixLauncher EXECUTE 000stop" ]] ||
    { fail "at close the launcher heard:"$'\n'"$(listener_events)"; return 1; }
  stop_pid "$LISTEN_PID"
  forget_pid "$LISTEN_PID"
}

case_a_change_while_linking_is_not_lost() {
  # HRD moves to 7,040 just after it has answered the bridge's first question for the
  # frequency, before it reads the bridge's next message.
  start_hrd --set HRD_HERTZ=14070000 --change-after-request HRD_HERTZ=7040000 ||
    { fail "the HRD simulator did not start"; return 1; }
  start_bridge || { fail "the bridge did not start"; return 1; }
  wait_until grep -q "CHANGE HRD_HERTZ 7040000" "$HRD_LOG" ||
    { fail "the simulator never made its change:"$'\n'"$(cat "$HRD_LOG")"; return 1; }
  tr -d '\r' <"$HRD_LOG" | awk '/ REQUEST HRD_HERTZ$/ { asked = 1 } / CHANGE HRD_HERTZ 7040000$/ { exit !asked }' ||
    { fail "the change came before the bridge asked for the frequency"; return 1; }
  wait_until item_is RcvFreq 7,040.00 ||
    { fail "RcvFreq is \"$(item RcvFreq)\", want 7,040.00; HRD saw:"$'\n'"$(cat "$HRD_LOG")"; return 1; }
  sleep 2
  item_is RcvFreq 7,040.00 || { fail "RcvFreq went back to \"$(item RcvFreq)\""; return 1; }
  item_is XmitFreq 7,040.00 || { fail "XmitFreq is \"$(item XmitFreq)\""; return 1; }
  # Asked again, HRD would answer with the new value anyway: only the first link shows
  # whether a change made while linking is lost.
  local asked
  asked=$(tr -d '\r' <"$HRD_LOG" | grep -c ' REQUEST HRD_HERTZ$')
  ((asked == 1)) || { fail "the bridge asked for the frequency $asked times, want one link:"$'\n'"$(cat "$HRD_LOG")"; return 1; }
  close_bridge || return 1
  hrd_control quit
  wait_until pid_gone "$HRD_PID"
  forget_pid "$HRD_PID"
  return 0
}

case_a_hung_window_holds_the_bridge_up_only_briefly() {
  # HRD and a sibling serve; a program that reads no message for 60 s is on the desktop
  # when the bridge starts. The bridge gives it a second once, then tens of milliseconds:
  # its notices, its link to HRD and its answers come within seconds, not after the hang.
  start_hrd --set HRD_HERTZ=21074000 || { fail "the HRD simulator did not start"; return 1; }
  start_listener 90 Sarnok || { fail "the listener did not start"; return 1; }
  start_hung_window 60 || { fail "the hung window did not appear"; return 1; }
  local hang_ms
  hang_ms=$(now_ms)
  start_bridge || { fail "the bridge did not start beside a hung window"; return 1; }
  # Generous: Wine's own start-up of the bridge takes seconds on a busy machine; the hang
  # lasts far longer than any of these waits.
  WAIT_TIMEOUT=15 wait_until grep -q "Sarnok EXECUTE 000start" "$LISTEN_LOG" ||
    { fail "Sarnok heard nothing in 15 s beside a hung window:"$'\n'"$(listener_events)"; return 1; }
  local heard=$(($(now_ms) - BRIDGE_STARTED_MS))
  WAIT_TIMEOUT=15 wait_until grep -q "REQUEST HRD_BUTTON_STATUS" "$HRD_LOG" ||
    { fail "the bridge did not link to HRD in 15 s beside a hung window:"$'\n'"$(cat "$HRD_LOG")"; return 1; }
  log "measured: beside a hung window the bridge's window showed $((FIRST_WINDOW_MS - BRIDGE_STARTED_MS)) ms" \
    "after its start, Sarnok heard \"000start\" within $heard ms, HRD was linked within $(($(now_ms) - BRIDGE_STARTED_MS)) ms"
  # A client speaking the message protocol waits on the hung window itself only while
  # Wine does not yet take it for hung; the bridge must answer well within the hang.
  local value
  value=$(timeout 20 "$WINE" "$RUN_DIR/suite_client.exe" --raw request Corvane DDEServer RcvFreq 2>/dev/null | tr -d '\r')
  [[ "$value" == 21,074.00 ]] || { fail "a client read RcvFreq \"$value\" beside a hung window"; return 1; }
  local elapsed=$(($(now_ms) - hang_ms))
  ((elapsed < 40000)) || { fail "all that took ${elapsed} ms, as long as the hang"; return 1; }
  pid_gone "$HUNG_PID" && { fail "the hung window ended before the checks did"; return 1; }
  stop_pid "$HUNG_PID"
  forget_pid "$HUNG_PID"
  close_bridge || return 1
  stop_pid "$LISTEN_PID"
  forget_pid "$LISTEN_PID"
  return 0
}

main() {
  setup_or_report || return
  run_case case_a_busy_sibling_hears_start_and_stop
  new_run_dir
  run_case case_a_change_while_linking_is_not_lost
  new_run_dir
  run_case case_a_hung_window_holds_the_bridge_up_only_briefly
  report
}

main
