#!/usr/bin/env bash
# End-to-end checks of how the bridge asks for HRD (its initiate) when HRD is slow to
# answer, under Wine, against the HRD simulator. A rig program is busiest just after it
# registers its service, which is exactly when the bridge links: at once on the
# registration, and once a second as a fallback.
#
# - HRD slow, but within the second the bridge gives a window: linked at the first
#   attempt, one conversation, nothing abandoned.
# - HRD slower than that for its first connect: the bridge gives up on it; HRD's late
#   answer must still be taken for an answer and ended at once (HRD sees that
#   conversation end while the bridge runs, not when it exits), and a later attempt links.
# - The same late answer when the bridge has meanwhile linked to another program serving
#   HRD's name: it reaches a window that is in a conversation by then, and is ended too.
#
#   tests/wine/probe_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# hrd_count EVENT [LOG]: how many lines of the simulator's log (the last one started, or
# LOG) are exactly that event.
hrd_count() { tr -d '\r' <"${2:-$HRD_LOG}" | awk -v want="$1" '{ $1 = ""; $2 = ""; sub(/^  /, "") } $0 == want { n++ } END { print n + 0 }'; }

# hrd_conversations CONNECTS DISCONNECTS [LOG]: the simulator's log shows exactly these counts.
hrd_conversations() { [[ "$(hrd_count CONNECT "${3:-$HRD_LOG}") $(hrd_count DISCONNECT "${3:-$HRD_LOG}")" == "$1 $2" ]]; }

# At least two conversations, all but one ended.
one_more_connect_than_disconnects() {
  local connects disconnects
  connects=$(hrd_count CONNECT)
  disconnects=$(hrd_count DISCONNECT)
  ((connects >= 2 && connects - disconnects == 1))
}

no_conversation_open() { (($(hrd_count CONNECT) == $(hrd_count DISCONNECT))); }

# What the simulator (the last one started, or LOG) logged about conversations.
hrd_conversation_log() { tr -d '\r' <"${1:-$HRD_LOG}" | grep -E ' (CONNECT|DISCONNECT|CONNECT DELAY .*|REGISTER .*|EXECUTE .*)$'; }

warning_shown() { [[ "$(no_hrd_shown)" == 1 ]]; }


quit_hrd() {
  hrd_control quit
  wait_until pid_gone "$HRD_PID"
  stop_pid "$HRD_PID"
  forget_pid "$HRD_PID"
  HRD_PID=""
  return 0
}

# After a case: whatever it left running (it failed half-way) must not meet the next one.
OTHER_HRD_PID=""
end_leftovers() {
  local pid
  for pid in "$BRIDGE_PID" "$HRD_PID" "$OTHER_HRD_PID"; do
    [[ -n "$pid" ]] || continue
    stop_pid "$pid"
    forget_pid "$pid"
  done
  BRIDGE_PID=""
  HRD_PID=""
  OTHER_HRD_PID=""
}

# The bridge up with HRD away: it is looking for HRD once a second, the warning blinking.
start_bridge_without_hrd() {
  start_bridge || { fail "the bridge did not start"; return 1; }
  WAIT_TIMEOUT=8 wait_until warning_shown || { fail "\"HRD not running\" did not show without HRD"; return 1; }
}

case_hrd_slow_within_the_second_is_linked_at_once() {
  start_bridge_without_hrd || return 1
  # 400 ms on every connect, well within the second a window is given to answer.
  start_hrd --connect-delay 400 --set HRD_HERTZ=21074000 || { fail "the HRD simulator did not start"; return 1; }
  WAIT_TIMEOUT=10 wait_until item_is RcvFreq 21,074.00 ||
    { fail "RcvFreq is \"$(item RcvFreq)\" 10 s after a slow HRD started, want 21,074.00; HRD saw:"$'\n'"$(cat "$HRD_LOG")"; return 1; }
  # Past the next supervision tick: a link that took would not be asked for again.
  sleep 1.5
  local asked
  asked=$(hrd_count "CONNECT DELAY 400 ms")
  ((asked == 1)) && hrd_conversations 1 0 ||
    { fail "HRD was asked $asked times, want the first attempt to link:"$'\n'"$(hrd_conversation_log)"; return 1; }
  item_is XmitFreq 21,074.00 || { fail "XmitFreq is \"$(item XmitFreq)\""; return 1; }
  warning_shown && { fail "\"HRD not running\" shows while the bridge is linked"; return 1; }
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "a slow HRD was logged: $(cat "$RUN_DIR/ErrorLog.txt")"; return 1; }
  close_bridge || return 1
  wait_until hrd_conversations 1 1 ||
    { fail "the bridge's conversation did not end with it:"$'\n'"$(hrd_conversation_log)"; return 1; }
  quit_hrd
}

case_hrd_answering_too_late_is_ended_then_linked() {
  start_bridge_without_hrd || return 1
  # The first connect takes half as long again as the bridge waits; later ones are quick.
  start_hrd --connect-delay 1500 --connect-delay-first 1 --set HRD_HERTZ=7074000 ||
    { fail "the HRD simulator did not start"; return 1; }
  WAIT_TIMEOUT=15 wait_until item_is RcvFreq 7,074.00 ||
    { fail "RcvFreq is \"$(item RcvFreq)\" 15 s after a slow HRD started, want 7,074.00; HRD saw:"$'\n'"$(cat "$HRD_LOG")"; return 1; }
  [[ "$(hrd_count "CONNECT DELAY 1500 ms")" == 1 ]] ||
    { fail "the slow first connect did not happen:"$'\n'"$(hrd_conversation_log)"; return 1; }
  # HRD accepted the connect the bridge gave up on, so it holds a conversation the bridge
  # never used: the bridge must end it as soon as the late answer reaches it, not at exit.
  # (An initiate the bridge sent while HRD slept, and gave up on too, may have reached HRD
  # afterwards and been accepted as well: any number of those, each ended, is fine.)
  WAIT_TIMEOUT=10 wait_until one_more_connect_than_disconnects ||
    { fail "want one conversation open and the late ones ended, while the bridge runs; HRD saw:"$'\n'"$(hrd_conversation_log)"; return 1; }
  # And it stays so: the link holds, nobody asks again.
  local seen
  seen=$(hrd_conversation_log)
  sleep 1.5
  [[ "$(hrd_conversation_log)" == "$seen" ]] ||
    { fail "the conversations changed once linked:"$'\n'"$(hrd_conversation_log)"; return 1; }
  # The link that took carries commands to HRD and HRD's values back.
  mark
  expect_answer 003qsy14025.5 ACK || return 1
  expect_commands "frqa 14025500" || return 1
  wait_until item_is RcvFreq 14,025.50 || { fail "RcvFreq is \"$(item RcvFreq)\" after the qsy"; return 1; }
  hrd_control "set HRD_MODE CW"
  wait_until item_is Mode CW || { fail "Mode is \"$(item Mode)\" after HRD went to CW"; return 1; }
  warning_shown && { fail "\"HRD not running\" shows while the bridge is linked"; return 1; }
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "a slow HRD was logged: $(cat "$RUN_DIR/ErrorLog.txt")"; return 1; }
  close_bridge || return 1
  wait_until no_conversation_open ||
    { fail "a conversation outlived the bridge:"$'\n'"$(hrd_conversation_log)"; return 1; }
  quit_hrd
}

case_late_answer_beside_another_server_is_ended() {
  # Two programs serve HRD's name: a quick one, and a newer one that takes half as long
  # again as the bridge waits to accept its first connect. Windows are asked in Z order,
  # the newest first, so the bridge gives up on the slow one, links to the quick one, and
  # then the slow one's answer reaches the window that is in the quick one's conversation.
  start_hrd --set HRD_HERTZ=7074000 || { fail "the quick HRD simulator did not start"; return 1; }
  local quick_log=$HRD_LOG quick_control=$HRD_CONTROL
  OTHER_HRD_PID=$HRD_PID
  start_hrd --connect-delay 1500 --connect-delay-first 1 --set HRD_HERTZ=21074000 ||
    { fail "the slow HRD simulator did not start"; return 1; }
  local slow_log=$HRD_LOG
  start_bridge || { fail "the bridge did not start"; return 1; }
  WAIT_TIMEOUT=15 wait_until item_is RcvFreq 7,074.00 ||
    { fail "RcvFreq is \"$(item RcvFreq)\", want the quick one's 7,074.00; the quick one saw:"$'\n'"$(hrd_conversation_log "$quick_log")"$'\n'"the slow one:"$'\n'"$(hrd_conversation_log "$slow_log")"; return 1; }
  [[ "$(hrd_count "CONNECT DELAY 1500 ms" "$slow_log")" == 1 ]] ||
    { skip "the bridge asked the quick simulator first: this window order cannot show a late answer"; return; }
  WAIT_TIMEOUT=10 wait_until hrd_conversations 1 1 "$slow_log" ||
    { fail "the slow one's late conversation was not ended while the bridge runs:"$'\n'"$(hrd_conversation_log "$slow_log")"; return 1; }
  sleep 1.5
  hrd_conversations 1 1 "$slow_log" && hrd_conversations 1 0 "$quick_log" ||
    { fail "want the quick one's conversation open and the slow one's ended; the quick one saw:"$'\n'"$(hrd_conversation_log "$quick_log")"$'\n'"the slow one:"$'\n'"$(hrd_conversation_log "$slow_log")"; return 1; }
  # Commands go to the partner the bridge chose, and to it alone.
  HRD_LOG=$quick_log HRD_CONTROL=$quick_control
  mark
  expect_answer 003qsy14025.5 ACK || return 1
  expect_commands "frqa 14025500" || return 1
  [[ -z "$(HRD_LOG=$slow_log hrd_commands)" ]] ||
    { fail "the slow simulator received:"$'\n'"$(HRD_LOG=$slow_log hrd_commands)"; return 1; }
  close_bridge || return 1
  wait_until hrd_conversations 1 1 "$quick_log" ||
    { fail "the quick one's conversation did not end with the bridge:"$'\n'"$(hrd_conversation_log "$quick_log")"; return 1; }
  return 0
}

main() {
  [[ -f "$HRD_SIM_EXE" ]] || { fail_case setup "missing $HRD_SIM_EXE (build it first)"; report; return; }
  setup_or_report || return
  run_case case_hrd_slow_within_the_second_is_linked_at_once
  end_leftovers
  new_run_dir
  run_case case_hrd_answering_too_late_is_ended_then_linked
  end_leftovers
  new_run_dir
  run_case case_late_answer_beside_another_server_is_ended
  end_leftovers
  report
}

main
