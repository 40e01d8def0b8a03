#!/usr/bin/env bash
# End-to-end checks of where the bridge writes ErrorLog.txt under Wine: beside the exe in a
# folder named outside the ANSI code page, in the user's own folder under %LOCALAPPDATA% when
# the exe's folder cannot take it (and saying so in its first line), and nowhere, with no
# "see ErrorLog" shown, when neither can. A read-only log is left as it is, a log locked by
# another program costs only the line written meanwhile, and a log past 100,000,000 bytes
# gets nothing more; the commands and items go on unaffected each time.
#
#   tests/wine/errorlog_e2e.sh
#
# How the exe's folder is made unwritable: Wine runs as the Unix user, root here, whom
# neither chmod nor a read-only folder attribute stops. A folder named ErrorLog.txt beside
# the exe does: opening the log for appending fails with "access denied", as it does under
# Program Files on Windows. The user's folder is blocked the same way, by a file named as
# the folder.
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ERROR_LABEL="see ErrorLog"
LOG_NAME=ErrorLog.txt
ERROR_LINE="program error 13 in module DDEServer.LinkExecute"

# The prefix's %LOCALAPPDATA%, as Windows programs name it and as a Unix path.
USER_DATA_WIN=""
USER_DATA=""

find_user_data() {
  USER_DATA_WIN=$("$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
  [[ "$USER_DATA_WIN" == [A-Za-z]:\\* ]] || { log "no LOCALAPPDATA in the prefix: \"$USER_DATA_WIN\""; return 1; }
  USER_DATA=$("$WINE" winepath -u "$USER_DATA_WIN" 2>/dev/null | tr -d '\r')
  USER_DATA=${USER_DATA%/}
  [[ -d "$USER_DATA" ]] || { log "LOCALAPPDATA $USER_DATA_WIN is no folder: \"$USER_DATA\""; return 1; }
}

user_folder() { echo "$USER_DATA/Tavix_HRD_Bridge"; }
user_log() { echo "$(user_folder)/$LOG_NAME"; }
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
first_line() { head -n 1 "$1" 2>/dev/null | tr -d '\r'; }
last_line() { tail -n 1 "$1" 2>/dev/null | tr -d '\r'; }

# named_run_dir NAME: a fresh run folder of that name holding the exes; the current one.
named_run_dir() {
  RUN_DIR=$TEMP_ROOT/$1
  mkdir "$RUN_DIR" && cp "$SUITE_CLIENT_EXE" "$RUN_DIR/suite_client.exe" && cp "$BRIDGE_EXE" "$RUN_DIR/"
}

start_linked_bridge() {
  start_bridge && wait_until item_is RcvFreq 14,070.00
}


error_label_shown() { [[ "$(label_shown "$ERROR_LABEL")" == 1 ]]; }

# A type mismatch in a client's command ("abc" is no number), then "see ErrorLog" soon after.
program_error_shown() {
  execute abctest >/dev/null
  wait_until error_label_shown ||
    { fail "\"$ERROR_LABEL\" is not shown ${WAIT_TIMEOUT} s after a program error"; return 1; }
}

case_folder_named_in_cyrillic_keeps_the_log_beside_the_exe() {
  named_run_dir "Радиостанция Ξ" || { fail "cannot make the run folder"; return 1; }
  local before
  before=$(size_of "$(user_log)")
  start_linked_bridge || { fail "the bridge did not start or link"; return 1; }
  program_error_shown || return 1
  local log=$RUN_DIR/$LOG_NAME
  [[ -f "$log" ]] || { fail "no $LOG_NAME beside the exe; the run folder holds: $(ls "$RUN_DIR")"; return 1; }
  grep -qF "$ERROR_LINE" "$log" || { fail "the error is not in $LOG_NAME: $(tr -d '\r' <"$log")"; return 1; }
  # The report names the folder in UTF-8, as it is.
  grep -qF "App.Path          : $(windows_path "$RUN_DIR")"$'\r' "$log" ||
    { fail "the report names another folder: $(grep -a 'App.Path' "$log")"; return 1; }
  [[ "$(size_of "$(user_log)")" == "$before" ]] || { fail "the user's log was written as well"; return 1; }
  close_bridge
}

case_unwritable_exe_folder_sends_the_log_to_the_users_folder() {
  named_run_dir blocked && mkdir "$RUN_DIR/$LOG_NAME" || { fail "cannot make the run folder"; return 1; }
  rm -rf "$(user_folder)"
  start_linked_bridge || { fail "the bridge did not start or link"; return 1; }
  program_error_shown || return 1
  local log
  log=$(user_log)
  [[ -f "$log" ]] || { fail "no $log; $USER_DATA holds: $(ls "$USER_DATA")"; return 1; }
  local want="Tavix_HRD_Bridge could not write $LOG_NAME in its own folder ($(windows_path "$RUN_DIR")),"
  want+=" so it keeps its error log here instead: $USER_DATA_WIN\\Tavix_HRD_Bridge\\$LOG_NAME"
  [[ "$(first_line "$log")" == "$want" ]] ||
    { fail "the user's log begins:"$'\n'"$(first_line "$log")"$'\n'"want:"$'\n'"$want"; return 1; }
  grep -qF "$ERROR_LINE" "$log" || { fail "the error is not in the user's log: $(tr -d '\r' <"$log")"; return 1; }
  [[ -z "$(ls -A "$RUN_DIR/$LOG_NAME")" ]] || { fail "something was written beside the exe"; return 1; }
  close_bridge || return 1
  [[ "$(last_line "$log")" == *"Common.Terminate: Tavix_HRD_Bridge shutdown" ]] ||
    { fail "the run did not end its lines in the user's log: $(last_line "$log")"; return 1; }
}

case_no_place_for_the_log_shows_nothing_and_the_bridge_goes_on() {
  named_run_dir blocked-too && mkdir "$RUN_DIR/$LOG_NAME" || { fail "cannot make the run folder"; return 1; }
  rm -rf "$(user_folder)" && : >"$(user_folder)" || { fail "cannot block the user's folder"; return 1; }
  start_linked_bridge || { fail "the bridge did not start or link"; return 1; }
  execute abctest >/dev/null
  # The log is written before the command is answered: a second command comes after it.
  expect_answer 004test ACK || return 1
  local shown
  shown=$(label_shown "$ERROR_LABEL")
  [[ "$shown" == 0 ]] || { fail "\"$ERROR_LABEL\" shown (\"$shown\") with no log written anywhere"; return 1; }
  [[ -f "$(user_folder)" && ! -s "$(user_folder)" ]] || { fail "the user's folder was touched"; return 1; }
  [[ -z "$(ls -A "$RUN_DIR/$LOG_NAME")" ]] || { fail "something was written beside the exe"; return 1; }
  close_bridge || return 1
  rm -f "$(user_folder)"
}

# Lines of a file; 0 for none.
line_count() { tr -cd '\n' <"$1" 2>/dev/null | wc -c; }

# Commands and items go on as ever: a frequency reaches HRD and comes back as RcvFreq.
# HRD then goes back to the frequency every case starts with.
commands_still_work() {
  mark
  expect_answer "003qsy$1" ACK || return 1
  expect_commands "frqa ${1}000" || return 1
  wait_until item_is RcvFreq "$2" || { fail "RcvFreq is \"$(item RcvFreq)\", want $2"; return 1; }
  hrd_control "set HRD_HERTZ 14070000"
  wait_until item_is RcvFreq 14,070.00
}

case_read_only_log_is_left_alone_and_the_lines_go_to_the_users_folder() {
  named_run_dir read-only || { fail "cannot make the run folder"; return 1; }
  local log=$RUN_DIR/$LOG_NAME
  printf 'an earlier run\r\n' >"$log"
  suite_client readonly "$(windows_path "$log")" on || { fail "cannot set the read-only attribute"; return 1; }
  # The attribute does not stop root, whom Wine runs as here; an immutable file refuses
  # every write, as a read-only file does on Windows.
  local immutable=0
  if ((EUID == 0)); then
    chattr +i "$log" 2>/dev/null || skip "the file system of $TEMP_ROOT keeps no immutable flag (chattr +i)" || return
    immutable=1
  fi
  rm -rf "$(user_folder)"
  local status=0
  read_only_log_checks "$log" || status=$?
  ((immutable)) && chattr -i "$log"
  return "$status"
}

read_only_log_checks() {
  local log=$1
  start_linked_bridge || { fail "the bridge did not start or link"; return 1; }
  program_error_shown || return 1
  [[ "$(cat "$log")" == $'an earlier run\r' ]] || { fail "the read-only log changed: $(od -c "$log" | head -n 5)"; return 1; }
  grep -qF "$ERROR_LINE" "$(user_log)" 2>/dev/null ||
    { fail "the error is not in the user's log: $(tr -d '\r' <"$(user_log)" 2>/dev/null)"; return 1; }
  [[ "$(first_line "$(user_log)")" == *"could not write $LOG_NAME in its own folder"* ]] ||
    { fail "the user's log does not say why it is there: $(first_line "$(user_log)")"; return 1; }
  commands_still_work 7010 7,010.00 || return 1
  close_bridge
}

case_locked_log_loses_only_the_line_written_meanwhile() {
  named_run_dir locked || { fail "cannot make the run folder"; return 1; }
  rm -rf "$(user_folder)"
  local log=$RUN_DIR/$LOG_NAME
  start_linked_bridge || { fail "the bridge did not start or link"; return 1; }
  program_error_shown || return 1
  local before
  before=$(line_count "$log")
  # Another program holds the log open with no sharing for a few seconds.
  local locker_out=$RUN_DIR/locker.txt
  "$WINE" "$RUN_DIR/suite_client.exe" lock-file "$(windows_path "$log")" 4 >"$locker_out" 2>&1 &
  local locker=$!
  STARTED_PIDS+=("$locker")
  wait_until grep -qs READY "$locker_out" || { fail "the log could not be locked: $(cat "$locker_out")"; return 1; }
  local start elapsed
  start=$(date +%s%3N)
  expect_answer abctest NACK || return 1
  elapsed=$(($(date +%s%3N) - start))
  log "measured: a refused command with its log line blocked by a lock was answered in $elapsed ms"
  ((elapsed < 3000)) || { fail "the refusal took $elapsed ms while the log was locked"; return 1; }
  commands_still_work 7020 7,020.00 || return 1
  pid_gone "$locker" && { fail "the lock ended before the checks did"; return 1; }
  [[ "$(line_count "$log")" == "$before" ]] || { fail "the locked log changed"; return 1; }
  [[ ! -e "$(user_log)" ]] || { fail "a second log was started in the user's folder"; return 1; }
  wait_until pid_gone "$locker" || { fail "the lock did not end"; return 1; }
  forget_pid "$locker"
  wait "$locker" 2>/dev/null
  # The lock gone, the next line lands where the others are.
  expect_answer abctest NACK || return 1
  wait_until test "$(line_count "$log")" -eq $((before + 1)) ||
    { fail "after the lock the log went from $before to $(line_count "$log") lines"; return 1; }
  close_bridge
}

case_log_past_its_limit_gets_nothing_more() {
  named_run_dir full || { fail "cannot make the run folder"; return 1; }
  rm -rf "$(user_folder)"
  local log=$RUN_DIR/$LOG_NAME limit=100000000
  truncate -s $((limit + 1)) "$log" || { fail "cannot make a log of $((limit + 1)) bytes"; return 1; }
  start_linked_bridge || { fail "the bridge did not start or link"; return 1; }
  expect_answer abctest NACK || return 1
  expect_answer 004test ACK || return 1
  commands_still_work 7030 7,030.00 || return 1
  [[ "$(label_shown "$ERROR_LABEL")" == 0 ]] || { fail "\"$ERROR_LABEL\" shown with nothing logged"; return 1; }
  close_bridge || return 1
  [[ "$(size_of "$log")" == $((limit + 1)) ]] || { fail "the full log is now $(size_of "$log") bytes"; return 1; }
  [[ ! -e "$(user_folder)" ]] || { fail "the lines went to the user's folder instead"; return 1; }
}

# run_bridge_case NAME: a case that starts its own bridge; one that it left running (a case
# that failed half-way) is ended before the next starts.
run_bridge_case() {
  run_case "$1"
  if [[ -n "$BRIDGE_PID" ]] && ! pid_gone "$BRIDGE_PID"; then stop_pid "$BRIDGE_PID"; fi
  BRIDGE_PID=""
}

main() {
  setup_or_report || return
  if ! find_user_data; then
    fail_case setup "the prefix names no folder for local application data"
  elif start_hrd --set HRD_HERTZ=14070000 --set HRD_MODE=USB --set HRD_TX=off; then
    run_bridge_case case_folder_named_in_cyrillic_keeps_the_log_beside_the_exe
    run_bridge_case case_unwritable_exe_folder_sends_the_log_to_the_users_folder
    run_bridge_case case_no_place_for_the_log_shows_nothing_and_the_bridge_goes_on
    run_bridge_case case_read_only_log_is_left_alone_and_the_lines_go_to_the_users_folder
    run_bridge_case case_locked_log_loses_only_the_line_written_meanwhile
    run_bridge_case case_log_past_its_limit_gets_nothing_more
  else
    fail_case start "the HRD simulator did not come up"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
