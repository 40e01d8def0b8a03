#!/usr/bin/env bash
# Checks hrd_sim.exe under Wine from the outside, with suite_client.exe as the DDE client:
# items and their starting values, EXECUTE commands, the log, advise loops fed through the
# control file and stdin, the ack / refuse / stall switches, an orderly quit, and a second
# simulator slow to accept its first connect.
#
#   tools/hrd_sim/selftest.sh
#   HRD_SIM_EXE=... SUITE_CLIENT_EXE=... tools/hrd_sim/selftest.sh
#
# Starts its own Xvfb, Wine prefix and simulator, and ends them all (by PID) when done.
# Builds build/win32/hrd_sim.exe (32-bit, as the test harness's default) first when it is
# missing or older than its sources (not an exe given in HRD_SIM_EXE). Prints "N passed,
# M failed" at the end; the exit status is 0 only when nothing failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# An exe given from outside is tested as it is; the default one is rebuilt when stale.
BUILD_SIM=1
[[ -n "${HRD_SIM_EXE:-}" ]] && BUILD_SIM=0
source "$HERE/../../tests/wine/lib.sh"

SERVICE=HRD_RADIO_000
TOPIC=HRD_CAT
# One log line: seconds since start, UTC wall clock, the event.
STAMP_RE='[0-9]+\.[0-9]{3} [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z'
SIM_PID=""

build_if_stale() {
  if ((BUILD_SIM == 0)); then
    [[ -f "$HRD_SIM_EXE" ]] || log "missing $HRD_SIM_EXE"
    [[ -f "$HRD_SIM_EXE" ]]
    return
  fi
  local sources=("$HERE"/*.cpp)
  local inputs=("${sources[@]}" "$HERE"/*.h "$HERE"/../common/*.h "$HERE"/../../src/platform/win32/DdeHandles.h)
  local input stale=0
  [[ -f "$HRD_SIM_EXE" ]] || stale=1
  for input in "${inputs[@]}"; do
    [[ "$input" -nt "$HRD_SIM_EXE" ]] && stale=1
  done
  ((stale)) || return 0
  log "building $HRD_SIM_EXE"
  mkdir -p "$(dirname "$HRD_SIM_EXE")"
  i686-w64-mingw32-g++ -std=c++20 -O2 -static -o "$HRD_SIM_EXE" "${sources[@]}" -luser32 -lgdi32
}

# Runs the simulator in the run folder (relative names: Wine maps the folder to Z:), with
# the control file, the log, and a FIFO as its stdin (fd 3 is our end).
start_sim() {
  cp "$HRD_SIM_EXE" "$RUN_DIR/hrd_sim.exe" && cd "$RUN_DIR" || return 1
  : >control.txt
  mkfifo stdin.fifo || return 1
  exec 3<>stdin.fifo
  "$WINE" hrd_sim.exe --log sim.log --control control.txt --set HRD_HERTZ_B=3573000 \
    <stdin.fifo >sim.out 2>sim.err &
  SIM_PID=$!
  STARTED_PIDS+=("$SIM_PID")
  # The first window of a fresh prefix also starts Wine's desktop: allow for it.
  wait_for 60 grep -qx READY sim.out
}

# ---------------------------------------------------------------------------------------
# Helpers for the cases
# ---------------------------------------------------------------------------------------

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds.
wait_for() {
  local WAIT_TIMEOUT=$1
  shift
  wait_until "$@"
}

client() { timeout 30 "$WINE" suite_client.exe "$@"; }
request() { client request "$SERVICE" "$TOPIC" "$1"; }
execute() { client execute "$SERVICE" "$TOPIC" "$@"; }

# control LINE: appends one command to the control file.
control() { printf '%s\n' "$1" >>control.txt; }

# Waits until the simulator logged the control line, so the switch is in force.
control_and_wait() {
  local before
  before=$(grep -c " CONTROL " sim.log)
  control "$1"
  wait_for 5 log_count_above " CONTROL " "$before"
}

log_count_above() { (($(grep -c -- "$1" sim.log) > $2)); }
log_has() { grep -Eq -- "^$STAMP_RE $1\$" sim.log; }

now_ms() { date +%s%3N; }

# expect_value ITEM VALUE: a REQUEST of ITEM gives exactly VALUE.
expect_value() {
  local got
  got=$(request "$1") || { fail "request $1 failed"; return 1; }
  [[ "$got" == "$2" ]] || fail "$1 is \"$got\", expected \"$2\""
}

# expect_execute COMMAND REPLY [TIMEOUT]: suite_client prints REPLY for the EXECUTE.
expect_execute() {
  local got
  got=$(execute "$1" ${3:+"$3"})
  [[ "$got" == "$2" ]] || fail "execute \"$1\" gave \"$got\", expected $2"
}

# ---------------------------------------------------------------------------------------
# Cases
# ---------------------------------------------------------------------------------------

case_starting_values() {
  expect_value HRD_HERTZ 14070000 &&
    expect_value HRD_HERTZ_B 3573000 &&
    expect_value HRD_MODE USB &&
    expect_value HRD_TX off &&
    expect_value HRD_BUTTON_STATUS "" || return 1
  # DDE names are matched without case.
  local got
  got=$(client request hrd_radio_000 hrd_cat hrd_hertz) || { fail "lower-case names refused"; return 1; }
  [[ "$got" == 14070000 ]] || fail "lower-case request gave \"$got\""
  # An item that does not exist is refused, not answered with an empty text.
  if request HRD_NO_SUCH_ITEM >/dev/null 2>&1; then fail "unknown item answered"; return 1; fi
}

case_frqa_is_acked_applied_and_logged() {
  expect_execute "frqa 7040000" ACK && expect_value HRD_HERTZ 7040000 || return 1
  log_has "EXECUTE frqa 7040000" || { fail "no log line for the EXECUTE"; return 1; }
  # The wall clock in the log is UTC and current.
  local line stamp logged now
  line=$(grep -E " EXECUTE frqa 7040000$" sim.log | tail -1)
  stamp=$(cut -d' ' -f2 <<<"$line")
  logged=$(date -u -d "${stamp%Z}" +%s 2>/dev/null) || { fail "bad time stamp $stamp"; return 1; }
  now=$(date -u +%s)
  ((now - logged >= 0 && now - logged < 60)) || fail "log time $stamp is not now (UTC)"
}

case_other_execute_commands() {
  expect_execute "frqb 10136000" ACK && expect_value HRD_HERTZ_B 10136000 &&
    expect_execute "mode lsb" ACK && expect_value HRD_MODE LSB &&
    expect_execute "butn tx=on" ACK && expect_value HRD_TX on &&
    expect_execute "butn tx=off" ACK && expect_value HRD_TX off &&
    expect_execute "butn Split=on" ACK && expect_value HRD_BUTTON_STATUS "Split=on Dual=off" &&
    expect_execute "butn Dual=on" ACK && expect_value HRD_BUTTON_STATUS "Split=on Dual=on" &&
    expect_execute "butn Split=off" ACK && expect_value HRD_BUTTON_STATUS "Split=off Dual=on" ||
    return 1
  # Unknown or malformed commands are acknowledged, change nothing and are logged.
  expect_execute "tune the antenna" ACK && expect_execute "frqa 14.070" ACK &&
    expect_value HRD_HERTZ 7040000 || return 1
  if ! log_has "UNKNOWN tune the antenna" || ! log_has "UNKNOWN frqa 14.070"; then
    fail "unknown commands not logged as UNKNOWN"
  fi
}

case_watch_sees_control_file_set() {
  client watch "$SERVICE" "$TOPIC" HRD_MODE 4 >watch.out 2>watch.err &
  local pid=$!
  STARTED_PIDS+=("$pid")
  wait_for 10 test -s watch.out || { fail "watch printed nothing"; return 1; }
  control "set HRD_MODE CW"
  wait_for 5 grep -qx "CW" watch.out
  local seen=$?
  wait "$pid"
  local rc=$?
  forget_pid "$pid"
  ((seen == 0)) || { fail "watch did not see the new mode: $(tr '\n' '|' <watch.out)"; return 1; }
  ((rc == 0)) || { fail "watch ended with $rc: $(cat watch.err)"; return 1; }
  [[ "$(head -1 watch.out)" == LSB ]] || fail "watch began with \"$(head -1 watch.out)\""
}

case_set_takes_spaces_and_empty_values() {
  control "set HRD_BUTTON_STATUS Split=on Dual=off"
  wait_for 5 log_has "CHANGE HRD_BUTTON_STATUS Split=on Dual=off" || {
    fail "set with spaces not applied"
    return 1
  }
  expect_value HRD_BUTTON_STATUS "Split=on Dual=off" || return 1
  # The buttons follow a status set from outside: Dual goes on, Split stays on.
  expect_execute "butn Dual=on" ACK && expect_value HRD_BUTTON_STATUS "Split=on Dual=on" || return 1
  control "set HRD_MODE"
  wait_for 5 log_has "CHANGE HRD_MODE " || { fail "empty set not applied"; return 1; }
  expect_value HRD_MODE ""
}

case_stdin_controls_too() {
  printf 'set HRD_TX on\n' >&3
  wait_for 5 log_has "CHANGE HRD_TX on" || { fail "a line on stdin was not applied"; return 1; }
  expect_value HRD_TX on
}

case_refuse_then_ack() {
  control_and_wait refuse || { fail "refuse not taken"; return 1; }
  local got
  got=$(execute "frqa 1840000")
  local rc=$?
  [[ "$got" == NACK && $rc == 3 ]] || { fail "refused execute gave \"$got\" (exit $rc)"; return 1; }
  expect_value HRD_HERTZ 7040000 || return 1
  control_and_wait ack || { fail "ack not taken"; return 1; }
  expect_execute "frqa 1840000" ACK && expect_value HRD_HERTZ 1840000
}

case_stall_times_out_a_short_wait() {
  control_and_wait "stall 3000" || { fail "stall not taken"; return 1; }
  local start elapsed got rc
  start=$(now_ms)
  got=$(execute "frqa 28074000" 1000)
  rc=$?
  elapsed=$(($(now_ms) - start))
  [[ "$got" == TIMEOUT && $rc == 5 ]] || { fail "stalled execute gave \"$got\" (exit $rc)"; return 1; }
  # The client gives up after its own time-out; the simulator does not hold it longer.
  ((elapsed < 2500)) || { fail "the client was held ${elapsed} ms"; return 1; }
  # The command of a client that left is dropped, not applied later.
  wait_for 5 log_has "REPLY none: the client left during the stall" ||
    { fail "the held command was not dropped"; return 1; }
  expect_value HRD_HERTZ 1840000
}

case_stall_then_ack_for_a_patient_client() {
  control_and_wait "stall 1500" || { fail "stall not taken"; return 1; }
  local start elapsed pid rc
  start=$(now_ms)
  execute "frqa 50313000" 5000 >stalled.out 2>&1 &
  pid=$!
  STARTED_PIDS+=("$pid")
  # While one EXECUTE is held the simulator goes on serving its control input.
  wait_for 5 log_has "STALL 1500 ms" && control "set HRD_MODE DIGU"
  wait "$pid"
  rc=$?
  forget_pid "$pid"
  elapsed=$(($(now_ms) - start))
  [[ $rc == 0 && "$(cat stalled.out)" == ACK ]] ||
    { fail "stalled execute gave \"$(cat stalled.out)\" (exit $rc)"; return 1; }
  ((elapsed >= 1400)) || { fail "acknowledged after ${elapsed} ms, before the stall"; return 1; }
  expect_value HRD_HERTZ 50313000 || return 1
  local changed replied
  changed=$(grep -n -m1 -E " CHANGE HRD_MODE DIGU$" sim.log | cut -d: -f1)
  replied=$(grep -n -m1 -E " REPLY ACK after a 1500 ms stall: frqa 50313000$" sim.log | cut -d: -f1)
  if [[ -z "$changed" || -z "$replied" ]] || ((changed > replied)); then
    fail "the control line waited for the stall to end"
    return 1
  fi
  # Back to ack: answered at once, not held again.
  control_and_wait ack || { fail "ack not taken"; return 1; }
  expect_execute "frqa 50314000" ACK 5000 || return 1
  local next
  next=$(grep -A1 -E " EXECUTE frqa 50314000$" sim.log | tail -1)
  [[ "$next" =~ " CHANGE HRD_HERTZ 50314000"$ ]] || fail "after ack still held: \"$next\""
}

case_quit_ends_in_order() {
  control quit
  local i
  for ((i = 0; i < 100; i++)); do
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$SIM_PID" 2>/dev/null; then fail "still running 10 s after quit"; return 1; fi
  wait "$SIM_PID"
  local rc=$?
  forget_pid "$SIM_PID"
  ((rc == 0)) || { fail "exit code $rc"; return 1; }
  log_has "UNREGISTER $SERVICE" || { fail "no UNREGISTER in the log"; return 1; }
  local got
  got=$(execute "frqa 1" 2>/dev/null)
  [[ "$got" == NOCONNECT ]] || fail "the service still answers after quit: \"$got\""
}

# conversations_are LINES: the slow simulator's connects and disconnects, in order.
conversations_are() { [[ "$(sed -E 's/^[^ ]+ [^ ]+ //' slow.log | tr -d '\r' | grep -E '^(CONNECT|DISCONNECT)')" == "$1" ]]; }

# Runs after the first simulator has quit: a second one, slow to accept its first connect.
case_connect_delay_holds_only_the_first_connects() {
  "$WINE" hrd_sim.exe --log slow.log --connect-delay 800 --connect-delay-first 1 >slow.out 2>slow.err &
  local pid=$!
  STARTED_PIDS+=("$pid")
  wait_for 30 grep -qx READY slow.out || { fail "the slow simulator did not start: $(cat slow.err)"; return 1; }
  local start elapsed got
  start=$(now_ms)
  got=$(request HRD_HERTZ)
  elapsed=$(($(now_ms) - start))
  [[ "$got" == 14070000 ]] || { fail "the first request gave \"$got\""; return 1; }
  ((elapsed >= 800)) || { fail "the first connect was accepted within ${elapsed} ms"; return 1; }
  got=$(request HRD_MODE)
  [[ "$got" == USB ]] || { fail "the second request gave \"$got\""; return 1; }
  # Two conversations, each opened and ended; only the first was kept waiting.
  wait_for 5 conversations_are $'CONNECT DELAY 800 ms\nCONNECT\nDISCONNECT\nCONNECT\nDISCONNECT' ||
    { fail "the slow simulator logged:"$'\n'"$(cat slow.log)"; return 1; }
  stop_pid "$pid"
  forget_pid "$pid"
}

# ---------------------------------------------------------------------------------------

main() {
  build_if_stale || { log "cannot build hrd_sim.exe"; fail_case setup "no simulator"; report; return; }
  setup_or_report || return
  if ! start_sim; then
    log "hrd_sim did not become ready; its output:"
    head -c 3000 "$RUN_DIR/sim.out" "$RUN_DIR/sim.err" >&2
    fail_case start_sim "the simulator did not start"
    report
    return
  fi
  run_case case_starting_values
  run_case case_frqa_is_acked_applied_and_logged
  run_case case_other_execute_commands
  run_case case_watch_sees_control_file_set
  run_case case_set_takes_spaces_and_empty_values
  run_case case_stdin_controls_too
  run_case case_refuse_then_ack
  run_case case_stall_times_out_a_short_wait
  run_case case_stall_then_ack_for_a_patient_client
  run_case case_quit_ends_in_order
  run_case case_connect_delay_holds_only_the_first_connects
  if ((FAILED > 0)); then
    log "--- simulator log ---"
    tail -n 60 "$RUN_DIR/sim.log" >&2
  fi
  report
}

main "$@"
