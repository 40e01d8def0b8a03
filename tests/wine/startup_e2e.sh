#!/usr/bin/env bash
# End-to-end checks of the bridge's start-up under Wine: its window, its DDE items, the
# minimized state seen over DDE, a clean shutdown on WM_CLOSE and no error log.
#
#   tests/wine/startup_e2e.sh
#   BRIDGE_EXE=... SUITE_CLIENT_EXE=... tests/wine/startup_e2e.sh
#
# Needs Wine (32-bit Wine too, for the default 32-bit build), Xvfb, and both exes built.
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

VERSION_TEXT="version $PROGRAM_VERSION"
NO_HRD_TEXT="HRD not running"
FREQUENCY_PATTERN='^(0|[0-9]{0,3}(,[0-9]{3})*\.[0-9]{2})$'
UI_ITEMS=(FreqDisplay HRDMode Version NoHRDLabel ErrorLogLabel HRDFreq HRDAltFreq HRDTX HRDButton)

# ---------------------------------------------------------------------------------------
# Reading the window dump of `suite_client windows`
#   WINDOW|visible|clientwidth,clientheight|state|caption
#   class|visible|left,top,width,height|text
# ---------------------------------------------------------------------------------------

WINDOW_DUMP=""

# Reads the window and its header fields (see read_window_header).
dump_window() {
  WINDOW_DUMP=$(suite_client windows "$BRIDGE_CAPTION") || {
    WINDOW_DUMP=""
    return 1
  }
  read_window_header
}

# The header line's fields: sets WIN_VISIBLE WIN_WIDTH WIN_HEIGHT WIN_STATE.
read_window_header() {
  local header rest size
  header=$(grep -m1 '^WINDOW|' <<<"$WINDOW_DUMP") || return 1
  IFS='|' read -r _ WIN_VISIBLE size WIN_STATE rest <<<"$header"
  WIN_WIDTH=${size%,*}
  WIN_HEIGHT=${size#*,}
}

# Prints the control lines of CLASS (any case) whose text matches the extended regex;
# with VISIBLE=1 only visible ones.
controls_matching() {
  local class=$1 visible_only=$2 pattern=$3 line cls vis rect text
  while IFS= read -r line; do
    [[ "$line" == WINDOW\|* ]] && continue
    IFS='|' read -r cls vis rect text <<<"$line"
    [[ "${cls,,}" == "${class,,}" ]] || continue
    [[ "$visible_only" == 1 && "$vis" != 1 ]] && continue
    [[ "$text" =~ $pattern ]] || continue
    printf '%s\n' "$line"
  done <<<"$WINDOW_DUMP"
}

control_text() { local line=$1; echo "${line#*|*|*|}"; }

# Whether a control line's rectangle has a size and lies inside the window's client area.
control_on_screen() {
  local line=$1 cls vis rect text left top width height
  IFS='|' read -r cls vis rect text <<<"$line"
  IFS=',' read -r left top width height <<<"$rect"
  ((width > 0 && height > 0 && left >= 0 && top >= 0 &&
    left + width <= WIN_WIDTH && top + height <= WIN_HEIGHT))
}

# The controls a person sees: visible, with a size, inside the client area.
shown_controls() {
  local line
  while IFS= read -r line; do
    [[ -n "$line" ]] && control_on_screen "$line" && printf '%s\n' "$line"
  done < <(controls_matching "$1" 1 "$2")
}

any_control_has_text() {
  local wanted=$1 line
  while IFS= read -r line; do
    [[ "$line" == WINDOW\|* ]] && continue
    [[ "$(control_text "$line")" == "$wanted" ]] && return 0
  done <<<"$WINDOW_DUMP"
  return 1
}

regex_quote() { sed 's/[][\.*^$+?(){}|/]/\\&/g' <<<"$1"; }

# ---------------------------------------------------------------------------------------
# Cases
# ---------------------------------------------------------------------------------------

case_window_shows_controls() {
  dump_window || { fail "no window, or no WINDOW line in: $WINDOW_DUMP"; return 1; }
  [[ "$WIN_VISIBLE" == 1 ]] || { fail "the main window is not visible"; return 1; }
  [[ "$WIN_STATE" == normal ]] || { fail "the main window starts $WIN_STATE, not normal"; return 1; }

  local freq version label
  freq=$(shown_controls Edit "$FREQUENCY_PATTERN")
  [[ -n "$freq" ]] || { fail "no edit on screen shows a frequency; window: $WINDOW_DUMP"; return 1; }

  version=$(shown_controls Static "^$(regex_quote "$VERSION_TEXT")\$")
  [[ -n "$version" ]] || { fail "no static \"$VERSION_TEXT\" on screen; window: $WINDOW_DUMP"; return 1; }

  label=$(controls_matching Static 0 "^$(regex_quote "$NO_HRD_TEXT")\$" | head -n1)
  [[ -n "$label" ]] || { fail "no static \"$NO_HRD_TEXT\"; window: $WINDOW_DUMP"; return 1; }
}

case_dde_items_match_window() {
  local value rc
  # The service may be registered a moment after the window shows.
  wait_until dde_served Corvane Velk_CorvaneUI Version
  value=$(suite_client request Corvane Velk_CorvaneUI Version)
  rc=$?
  [[ $rc == 0 ]] || { fail "request Version exited $rc"; return 1; }
  [[ "$value" == "$VERSION_TEXT" ]] || { fail "Version is \"$value\", want \"$VERSION_TEXT\""; return 1; }

  dump_window || { fail "window vanished"; return 1; }
  local shown
  shown=$(shown_controls Edit "$FREQUENCY_PATTERN")
  value=$(suite_client request Corvane Velk_CorvaneUI FreqDisplay)
  rc=$?
  [[ $rc == 0 ]] || { fail "request FreqDisplay exited $rc"; return 1; }
  grep -qxF -- "$value" < <(while IFS= read -r line; do control_text "$line"; done <<<"$shown") ||
    { fail "FreqDisplay is \"$value\" but the frequency edit on screen shows: $shown"; return 1; }

  # Every item is a control of the window: its value is the text of one of them.
  local item
  for item in "${UI_ITEMS[@]}"; do
    value=$(suite_client request Corvane Velk_CorvaneUI "$item")
    rc=$?
    [[ $rc == 0 ]] || { fail "request $item exited $rc"; return 1; }
    any_control_has_text "$value" ||
      { fail "$item is \"$value\", which no control of the window shows"; return 1; }
  done
}

dde_served() { suite_client request "$@" >/dev/null 2>&1; }

mainwindowstate_is() {
  [[ "$(suite_client request Corvane DDEServer MainWindowState 2>/dev/null)" == "$1" ]]
}

# Answered, and not with $1.
mainwindowstate_is_not() {
  local value
  value=$(suite_client request Corvane DDEServer MainWindowState 2>/dev/null) && [[ "$value" != "$1" ]]
}

window_state_is() {
  dump_window && [[ "$WIN_STATE" == "$1" ]]
}

case_minimized_state_over_dde() {
  local value rc
  value=$(suite_client request Corvane DDEServer MainWindowState 2>/dev/null)
  rc=$?
  [[ $rc != 2 ]] || { fail "topic DDEServer is not served"; return 1; }
  [[ $rc == 0 ]] || { fail "request MainWindowState exited $rc"; return 1; }

  suite_client minimize "$BRIDGE_CAPTION" || { fail "minimize failed"; return 1; }
  wait_until window_state_is minimized || { fail "the window did not minimize"; return 1; }
  wait_until mainwindowstate_is 1 ||
    { fail "MainWindowState is \"$(suite_client request Corvane DDEServer MainWindowState)\" while minimized, want \"1\""; return 1; }

  suite_client restore "$BRIDGE_CAPTION" || { fail "restore failed"; return 1; }
  wait_until window_state_is normal || { fail "the window did not restore"; return 1; }
  wait_until mainwindowstate_is_not 1 || { fail "MainWindowState stays \"1\" after restore"; return 1; }
}

# Closes the bridge window and waits for the bridge process to end.
close_bridge() {
  suite_client close "$BRIDGE_CAPTION" || return 1
  wait_until pid_gone "$BRIDGE_PID"
}

case_clean_run_leaves_no_error_log() {
  close_bridge || { fail "the bridge did not end after WM_CLOSE"; return 1; }
  if [[ -e "$RUN_DIR/ErrorLog.txt" ]]; then
    fail "ErrorLog.txt written during a clean run: $(head -c 2000 "$RUN_DIR/ErrorLog.txt")"
    return 1
  fi
}

case_close_ends_process() {
  if pid_gone "$BRIDGE_PID"; then fail "the bridge ended before it was closed"; return; fi
  suite_client close "$BRIDGE_CAPTION" || { fail "close: no window to close"; return 1; }
  wait_until pid_gone "$BRIDGE_PID" ||
    { fail "the bridge (pid $BRIDGE_PID) still runs ${WAIT_TIMEOUT}s after WM_CLOSE"; return 1; }
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "ErrorLog.txt written on close"; return 1; }
}

# ---------------------------------------------------------------------------------------

main() {
  setup_or_report || return

  # First run: everything that only looks, then a clean close.
  if start_bridge; then
    run_case case_window_shows_controls
    run_case case_dde_items_match_window
    run_case case_minimized_state_over_dde
    run_case case_clean_run_leaves_no_error_log
  else
    fail_case start_bridge "the bridge did not come up (its output, if any, is above)"
  fi
  stop_pid "$BRIDGE_PID"

  # Second run, fresh folder: a close right after start-up ends the process.
  new_run_dir
  if start_bridge; then
    run_case case_close_ends_process
  else
    fail_case start_bridge "the bridge did not come up on the second start"
  fi
  stop_pid "$BRIDGE_PID"

  report
}

main
