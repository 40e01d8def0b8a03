#!/usr/bin/env bash
# End-to-end checks of what the bridge keeps per user and what it logs: the version setting,
# the window reopening where it was closed (moved, off-screen, maximised), and the start-up
# report that precedes the first logged error, with the shutdown line at the end.
#
#   tests/wine/settings_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

SETTINGS_KEY='HKCU\Software\VB and VBA Program Settings\Tavix_HRD_Bridge'

# reg_value SECTION NAME: the stored text, or nothing.
reg_value() {
  "$WINE" reg query "$SETTINGS_KEY\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" 'tolower($1) == tolower(name) && $2 ~ /^REG_/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

reg_set() {
  "$WINE" reg add "$SETTINGS_KEY\\$1" /v "$2" /d "$3" /f >/dev/null 2>&1
}

# The window's outer top-left corner on the screen, in pixels: "X Y".
window_origin() {
  xwininfo -display "$DISPLAY" -name "$BRIDGE_CAPTION" 2>/dev/null |
    awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} END {if (x != "") print x, y}'
}

window_state() {
  suite_client windows "$BRIDGE_CAPTION" 2>/dev/null | awk -F'|' '/^WINDOW\|/ {print $4; exit}'
}

origin_is() { [[ "$(window_origin)" == "$1" ]]; }
state_is() { [[ "$(window_state)" == "$1" ]]; }
executed() { [[ "$(suite_client execute Corvane DDEServer "$1" 2>/dev/null)" == ACK ]]; }

close_bridge() {
  suite_client close "$BRIDGE_CAPTION" >/dev/null || return 1
  wait_until pid_gone "$BRIDGE_PID"
}

restart_bridge() {
  close_bridge || return 1
  start_bridge
}

case_version_saved_at_start() {
  local version
  version=$(reg_value General Version)
  [[ "$version" == "$(version_setting)" ]] ||
    { fail "General\\Version is \"$version\", want $(version_setting)"; return 1; }
}

case_moved_window_reopens_where_it_was() {
  # 1440 twips is one inch: 96 pixels at Wine's 96 dots per inch.
  wait_until executed 012resetwindows1440 || { fail "resetwindows was not acknowledged"; return 1; }
  wait_until origin_is "96 96" || { fail "resetwindows left the window at $(window_origin)"; return 1; }
  restart_bridge || { fail "the bridge did not come back"; return 1; }
  wait_until origin_is "96 96" || { fail "reopened at $(window_origin), want 96 96"; return 1; }
  [[ "$(reg_value Windows VelkMainLeft)" == 1440 ]] ||
    { fail "VelkMainLeft is \"$(reg_value Windows VelkMainLeft)\", want 1440"; return 1; }
}

case_window_lost_to_the_left_opens_at_the_edge() {
  close_bridge || { fail "the bridge did not close"; return 1; }
  reg_set Windows VelkMainLeft -1200
  reg_set Windows VelkMainTop 1440
  start_bridge || { fail "the bridge did not come back"; return 1; }
  wait_until origin_is "0 96" || { fail "opened at $(window_origin), want 0 96"; return 1; }
}

case_closed_maximised_reopens_maximised() {
  close_bridge || { fail "the bridge did not close"; return 1; }
  reg_set Windows VelkMainWindowState 2
  start_bridge || { fail "the bridge did not come back"; return 1; }
  wait_until state_is maximized || { fail "opened $(window_state), want maximized"; return 1; }
  close_bridge || { fail "the bridge did not close"; return 1; }
  [[ "$(reg_value Windows VelkMainWindowState)" == 2 ]] ||
    { fail "WindowState saved as \"$(reg_value Windows VelkMainWindowState)\", want 2"; return 1; }
  [[ "$(reg_value Windows VelkMainLeft)" == 0 ]] ||
    { fail "saved left \"$(reg_value Windows VelkMainLeft)\" is not the normal bounds' 0"; return 1; }
  start_bridge || { fail "the bridge did not come back"; return 1; }
  wait_until state_is maximized || { fail "reopened $(window_state), want maximized again"; return 1; }
}

case_first_error_brings_the_report_and_close_the_shutdown_line() {
  local log=$RUN_DIR/ErrorLog.txt
  [[ ! -e "$log" ]] || { fail "a log exists before any error"; return 1; }
  [[ "$(suite_client execute Corvane DDEServer abctest)" == NACK ]] || { fail "abctest was not refused"; return 1; }
  close_bridge || { fail "the bridge did not close"; return 1; }
  [[ -f "$log" ]] || { fail "no ErrorLog.txt after a refused command"; return 1; }

  local text
  text=$(tr -d '\r' <"$log")
  local stamp='[0-9]{2}-[A-Z][a-z]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} > '
  local expected=(
    "^\$"
    "^${stamp}Tavix_HRD_Bridge version ${PROGRAM_VERSION//./\\.}\$"
    "^${stamp}App\\.Path          : [A-Z]:\\\\"
    "^${stamp}App\\.exe           : Tavix_HRD_Bridge\$"
    "^${stamp}Operating System  : .+ \\((32|64)-bit\\) build [0-9]+\$"
    "^${stamp}Locale ID         : 0 \\(0x0\\)\$"
    "^${stamp}ANSI CodePage     : \$"
    "^${stamp}OEM CodePage      : \\?\$"
    "^${stamp}Country           : \\?\$"
    "^${stamp}Language          : \\?\$"
    "^${stamp}DecimalSeparator  : \$"
    "^${stamp}ThousandSeparator : \$"
    "^${stamp}Tavix Apps        : \$"
    "^${stamp}Monitors          : 1\$"
    "^${stamp}Monitor 1\$"
    "^${stamp}   width          : 1280\$"
    "^${stamp}   height         : 1024\$"
    "^${stamp}   dimensions     : \\(0, 0\\)-\\(1280, 1024\\)\$"
    "^${stamp}program error 13 in module DDEServer\\.LinkExecute: Type mismatch\$"
    "^${stamp}Common\\.Terminate: Tavix_HRD_Bridge shutdown\$"
  )
  local lines=()
  mapfile -t lines <<<"$text"
  ((${#lines[@]} == ${#expected[@]})) || { fail "the log has ${#lines[@]} lines, want ${#expected[@]}:"$'\n'"$text"; return 1; }
  local i
  for i in "${!expected[@]}"; do
    [[ "${lines[$i]}" =~ ${expected[$i]} ]] || { fail "log line $((i + 1)) is \"${lines[$i]}\":"$'\n'"$text"; return 1; }
  done
}

main() {
  setup_or_report || return
  if start_bridge; then
    run_case case_version_saved_at_start
    run_case case_moved_window_reopens_where_it_was
    run_case case_window_lost_to_the_left_opens_at_the_edge
    run_case case_closed_maximised_reopens_maximised
  else
    fail_case start_bridge "the bridge did not come up"
  fi
  stop_pid "$BRIDGE_PID"

  new_run_dir
  if start_bridge; then
    run_case case_first_error_brings_the_report_and_close_the_shutdown_line
  else
    fail_case start_bridge "the bridge did not come up for the log check"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
