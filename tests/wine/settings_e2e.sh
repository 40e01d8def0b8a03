#!/usr/bin/env bash
# End-to-end checks of what the bridge keeps per user and what it logs: the version setting,
# the window reopening where it was closed (moved, off-screen, maximised), and the start-up
# report that precedes the first logged error, with the shutdown line at the end. Rubbish
# stored in any of the settings it reads still opens the window on the screen.
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

# The window's outer rectangle on the screen, in pixels: "X Y WIDTH HEIGHT".
window_geometry() {
  xwininfo -display "$DISPLAY" -name "$BRIDGE_CAPTION" 2>/dev/null |
    awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} /Width:/ {w = $2} /Height:/ {h = $2}
         END {if (x != "") print x, y, w, h}'
}

# The whole window lies on the 1280 x 1024 screen, shown and neither minimised nor empty.
window_on_screen() {
  local x y w h
  read -r x y w h < <(window_geometry) || return 1
  ((x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= 1280 && y + h <= 1024)) || return 1
  suite_client windows "$BRIDGE_CAPTION" 2>/dev/null | grep -qE '^WINDOW\|1\|[0-9]+,[0-9]+\|(normal|maximized)\|'
}

# reg_put SECTION NAME TYPE DATA: any value of any type.
reg_put() {
  "$WINE" reg add "$SETTINGS_KEY\\$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}

# rubbish_opens_on_screen WHAT: with the settings just stored, the bridge opens its window
# on the screen, answers, and closes.
rubbish_opens_on_screen() {
  start_bridge || { fail "$1: the bridge did not start"; return 1; }
  wait_until window_on_screen ||
    { fail "$1: the window is at $(window_geometry): $(suite_client windows "$BRIDGE_CAPTION" | head -n 1)"; return 1; }
  [[ "$(suite_client execute Corvane DDEServer 004test 2>/dev/null)" == ACK ]] || { fail "$1: 004test not acknowledged"; return 1; }
  close_bridge || { fail "$1: the bridge did not close"; return 1; }
}

case_rubbish_in_every_setting_still_opens_the_window_on_screen() {
  close_bridge || { fail "the bridge did not close"; return 1; }
  # Words, nothing, a number past any range, and values of the wrong registry type.
  reg_set Windows DualMonitor maybe
  reg_set Windows VelkMainLeft abc
  reg_set Windows VelkMainTop 1e999
  reg_set Windows VelkMainWidth ""
  reg_put Windows VelkMainHeight REG_BINARY 0badf00d
  reg_put Windows VelkMainWindowState REG_DWORD 2
  rubbish_opens_on_screen "words and wrong types" || return 1
  # Numbers at and past the ends of their types, a window state that does not exist.
  reg_set Windows DualMonitor True
  reg_set Windows VelkMainLeft -2147483648
  reg_set Windows VelkMainTop 2147483647
  reg_set Windows VelkMainWidth 99999999999
  reg_set Windows VelkMainHeight -1
  reg_set Windows VelkMainWindowState 7
  rubbish_opens_on_screen "numbers at the ends of their range" || return 1
  # Far off to the left, with a width so large that the stored rectangle reaches the screen.
  reg_set Windows DualMonitor -1
  reg_set Windows VelkMainLeft -30000
  reg_set Windows VelkMainTop 1440
  reg_set Windows VelkMainWidth 2000000
  reg_set Windows VelkMainHeight 2000000
  reg_set Windows VelkMainWindowState 0
  rubbish_opens_on_screen "a huge stored size" || return 1
  start_bridge
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
    run_case case_rubbish_in_every_setting_still_opens_the_window_on_screen
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
