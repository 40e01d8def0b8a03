#!/usr/bin/env bash
# End-to-end checks of the bridge's DDE server as the suite's forms programs see it under
# Wine: `suite_client --raw` speaks the DDE message protocol itself (WM_DDE_INITIATE,
# REQUEST, EXECUTE, ADVISE, DATA, ACK, TERMINATE) instead of DDEML.
#
#   tests/wine/rawdde_e2e.sh
#   BRIDGE_EXE=... SUITE_CLIENT_EXE=... tests/wine/rawdde_e2e.sh
#
# Needs Wine (32-bit Wine too, for the default 32-bit build), Xvfb, and both exes built.
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

VERSION_TEXT="version $PROGRAM_VERSION"
UI_ITEMS=(FreqDisplay HRDMode Version NoHRDLabel ErrorLogLabel HRDFreq HRDAltFreq HRDTX HRDButton)
SERVER_ITEMS=(RcvFreq XmitFreq Mode RadioMode RadioState MainWindowState)

raw_served() { suite_client --raw request Corvane Velk_CorvaneUI Version >/dev/null 2>&1; }

# A forms program reads what a DDEML program reads, on both topics.
case_raw_requests_match_ddeml() {
  wait_until raw_served || { fail "Velk_CorvaneUI does not answer a raw REQUEST"; return 1; }
  local value rc
  value=$(suite_client --raw request Corvane Velk_CorvaneUI Version)
  rc=$?
  [[ $rc == 0 && "$value" == "$VERSION_TEXT" ]] ||
    { fail "raw Version is \"$value\" (exit $rc), want \"$VERSION_TEXT\""; return 1; }
  local pair topic item ddeml
  for pair in "${UI_ITEMS[@]/#/Velk_CorvaneUI:}" "${SERVER_ITEMS[@]/#/DDEServer:}"; do
    topic=${pair%%:*}
    item=${pair#*:}
    value=$(suite_client --raw request Corvane "$topic" "$item")
    rc=$?
    [[ $rc == 0 ]] || { fail "raw request $topic $item exited $rc"; return 1; }
    ddeml=$(suite_client request Corvane "$topic" "$item")
    rc=$?
    [[ $rc == 0 ]] || { fail "DDEML request $topic $item exited $rc"; return 1; }
    [[ "$value" == "$ddeml" ]] || { fail "$topic $item: raw \"$value\", DDEML \"$ddeml\""; return 1; }
  done
}

# Asking for an item again and again leaves its name to the other programs holding it.
# Under Wine the bridge's server follows each REQUEST's data with an ACK carrying the same
# atom once more; a raw client that deleted that one too took the name from everyone, and
# its next ADVISE of the item could then name nothing.
case_requests_leave_the_item_name_to_others() {
  local option got
  for option in "" --raw; do
    got=$(suite_client $option keepname Corvane DDEServer RadioVFO 5 2>&1)
    [[ "$got" == KEPT ]] || { fail "after requests${option:+ with $option}: $got"; return 1; }
  done
}

# The ACK's fAck bit reaches a raw client both ways.
case_raw_execute_acknowledged_per_topic() {
  local answer rc
  answer=$(suite_client --raw execute Corvane Velk_CorvaneUI 004test)
  rc=$?
  [[ "$answer" == NACK && $rc == 3 ]] ||
    { fail "Velk_CorvaneUI answered \"$answer\" (exit $rc) to an EXECUTE, want NACK (3)"; return 1; }
  answer=$(suite_client --raw execute Corvane DDEServer 004test)
  rc=$?
  [[ "$answer" == ACK && $rc == 0 ]] ||
    { fail "DDEServer answered \"$answer\" (exit $rc) to 004test, want ACK (0)"; return 1; }
}

WATCH_OUT=""
watch_has_lines() { (($(grep -c '' "$WATCH_OUT" 2>/dev/null) >= $1)); }
window_state_is() {
  suite_client windows "$BRIDGE_CAPTION" 2>/dev/null | grep -q "^WINDOW|[01]|[0-9,]*|$1|"
}

# A raw hot link (WM_DDE_ADVISE) brings each change of MainWindowState as WM_DDE_DATA.
case_raw_hot_link_follows_minimize() {
  WATCH_OUT=$RUN_DIR/watch-raw.out
  suite_client --raw watch Corvane DDEServer MainWindowState 12 >"$WATCH_OUT" 2>"$RUN_DIR/watch-raw.err" &
  local watch_pid=$!
  STARTED_PIDS+=("$watch_pid")
  # The first line comes once the hot link is up.
  wait_until watch_has_lines 1 || { fail "raw watch printed nothing: $(cat "$RUN_DIR/watch-raw.err")"; return 1; }

  suite_client minimize "$BRIDGE_CAPTION" || { fail "minimize failed"; return 1; }
  wait_until window_state_is minimized || { fail "the window did not minimize"; return 1; }
  wait_until watch_has_lines 2 || { fail "no advise after minimize: $(cat "$WATCH_OUT")"; return 1; }
  suite_client restore "$BRIDGE_CAPTION" || { fail "restore failed"; return 1; }
  wait_until window_state_is normal || { fail "the window did not restore"; return 1; }

  local rc=0
  wait "$watch_pid" || rc=$?
  [[ $rc == 0 ]] || { fail "raw watch exited $rc: $(cat "$RUN_DIR/watch-raw.err")"; return 1; }
  local seen
  seen=$(uniq "$WATCH_OUT" | paste -sd' ' -)
  [[ "$seen" == "0 1 0" ]] || { fail "MainWindowState went \"$seen\", want \"0 1 0\""; return 1; }
}

# A raw client holding a hot link hears the bridge's WM_DDE_TERMINATE when it closes.
case_raw_link_ends_with_the_bridge() {
  WATCH_OUT=$RUN_DIR/watch-close.out
  suite_client --raw watch Corvane DDEServer RcvFreq 60 >"$WATCH_OUT" 2>"$RUN_DIR/watch-close.err" &
  local watch_pid=$!
  STARTED_PIDS+=("$watch_pid")
  wait_until watch_has_lines 1 || { fail "raw watch printed nothing: $(cat "$RUN_DIR/watch-close.err")"; return 1; }
  suite_client close "$BRIDGE_CAPTION" || { fail "close: no bridge window"; return 1; }
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge did not end after WM_CLOSE"; return 1; }
  wait_until pid_gone "$watch_pid" || { fail "the raw watch still runs after the bridge ended"; return 1; }
  local rc=0
  wait "$watch_pid" || rc=$?
  [[ $rc == 6 ]] || { fail "raw watch exited $rc when the bridge ended, want 6"; return 1; }
}

# ---------------------------------------------------------------------------------------

main() {
  setup_or_report || return
  if start_bridge; then
    run_case case_raw_requests_match_ddeml
    run_case case_raw_execute_acknowledged_per_topic
    run_case case_requests_leave_the_item_name_to_others
    run_case case_raw_hot_link_follows_minimize
    run_case case_raw_link_ends_with_the_bridge
  else
    fail_case start_bridge "the bridge did not come up (its output, if any, is above)"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
