#!/usr/bin/env bash
# End-to-end checks of the bridge under Wine when the desktop around it misbehaves: HRD
# killed while the bridge waits for its answer to "butn tx=on", HRD alive but holding every
# command (each holds the bridge for its time-out, no longer), HRD frozen whole, a sibling
# that takes the start notice and never answers it, and EXECUTE strings no client should
# send (empty, a megabyte, NULs, bytes above 127, line ends). Each time the clients keep
# being answered within the bridge's time-out, and HRD gets nothing garbled.
#
#   tests/wine/hazards_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.
# The measured figures go to stderr as "measured: ..." lines.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# How long the bridge waits for HRD's, or a sibling's, answer to one EXECUTE
# (kExecuteTimeoutMs of the Win32 DDE client).
EXECUTE_TIMEOUT_MS=5000

now_ms() { date +%s%3N; }
measured() { log "measured: $*"; }
log_path() { echo "$RUN_DIR/ErrorLog.txt"; }
log_lines_with() { grep -c -F -- "$1" "$(log_path)" 2>/dev/null || true; }
warning_shown() { [[ "$(no_hrd_shown)" == 1 ]]; }

# Milliseconds since the epoch of a UTC stamp as the tools print it (2026-12-06T21:40:01.123Z).
stamp_ms() { [[ -n "$1" ]] && date -u -d "${1%Z}" +%s%3N; }

# The UTC stamp of the simulator's first EXECUTE TEXT since the mark.
hrd_execute_stamp_since_mark() {
  tr -d '\r' <"$HRD_LOG" | awk -v cmd="EXECUTE $1" '
    { line = $0; sub(/^[^ ]+ [^ ]+ /, "", line) }
    $3 == "EXECUTE" { n++ }
    n > mark && line == cmd { print $2; exit }' mark="$MARK"
}

# background_execute OUT COMMAND: a client's EXECUTE on topic DDEServer in the background,
# its answer and the UTC time it came in OUT; sets CLIENT_PID.
background_execute() {
  "$WINE" "$RUN_DIR/suite_client.exe" --stamp execute Corvane DDEServer "$2" 20000 >"$1" 2>&1 &
  CLIENT_PID=$!
  STARTED_PIDS+=("$CLIENT_PID")
}

# answer_of OUT: the answer word a background client printed.
answer_of() { head -n 1 "$1" | tr -d '\r' | cut -d' ' -f1; }
answer_ms_of() { stamp_ms "$(head -n 1 "$1" | tr -d '\r' | cut -d' ' -f2)"; }

# The Unix PID of the Windows process running EXE (a path in the run folder). A 32-bit exe
# started through 64-bit Wine runs in a process of its own beside the launcher whose PID
# the script holds: signals meant for the program itself go to this one.
windows_process_of() {
  ps -eo pid=,args= | EXE_WINDOWS_PATH=$(windows_path "$1") awk '$2 == ENVIRON["EXE_WINDOWS_PATH"] { print $1; exit }'
}

reap() {
  wait_until pid_gone "$1" || return 1
  wait "$1" 2>/dev/null
  forget_pid "$1"
  return 0
}

# ---------------------------------------------------------------------------------------
# HRD killed, stalled, frozen
# ---------------------------------------------------------------------------------------

case_hrd_killed_while_keying_answers_the_client_and_links_again() {
  # HRD takes "butn tx=on" and holds its answer; it dies before it gives it.
  hrd_apply "stall 15000" || { fail "the simulator did not take \"stall 15000\""; return 1; }
  local keying_errors
  keying_errors=$(log_lines_with "in module DDEServer.SetHRDTX, transmit")
  mark
  local out=$RUN_DIR/transmit-killed.txt other=$RUN_DIR/test-while-keying.txt
  background_execute "$out" 008transmit
  local transmit=$CLIENT_PID
  wait_until hrd_received_since_mark "butn tx=on" || { fail "transmit never reached HRD"; return 1; }
  # Another client asks meanwhile: it waits its turn and is answered too.
  background_execute "$other" 004test
  local tester=$CLIENT_PID
  sleep 0.3
  local hrd killed
  hrd=$(windows_process_of "$RUN_DIR/hrd_sim.exe")
  [[ -n "$hrd" ]] || { fail "no process runs the simulator"; return 1; }
  killed=$(now_ms)
  kill -9 "$hrd"
  reap "$HRD_PID" || { fail "the simulator's launcher did not end with it"; return 1; }
  reap "$transmit" || { fail "the transmitting client got no answer"; return 1; }
  reap "$tester" || { fail "the other client got no answer"; return 1; }
  local answer answered
  answer=$(answer_of "$out")
  [[ "$answer" == ACK || "$answer" == NACK ]] || { fail "008transmit was answered \"$(cat "$out")\""; return 1; }
  answered=$(($(answer_ms_of "$out") - killed))
  measured "HRD killed while keying: the client answered $answered ms after the kill ($answer)"
  ((answered < EXECUTE_TIMEOUT_MS)) ||
    { fail "008transmit was answered $answered ms after HRD died, beyond the bridge's time-out"; return 1; }
  [[ "$(answer_of "$other")" == ACK ]] || { fail "004test sent while keying was answered \"$(cat "$other")\""; return 1; }

  WAIT_TIMEOUT=4 wait_until warning_shown || { fail "the bridge did not notice HRD was gone within 4 s"; return 1; }
  item_is RadioState receive || { fail "RadioState is \"$(item RadioState)\": HRD never keyed"; return 1; }
  [[ "$(log_lines_with "in module DDEServer.SetHRDTX, transmit")" == $((keying_errors + 1)) ]] ||
    { fail "the failed keying is not logged once: $(tr -d '\r' <"$(log_path)" 2>/dev/null | tail -n 3)"; return 1; }

  # HRD comes back: the bridge links to it and every later command reaches it.
  start_hrd --set HRD_HERTZ=7074000 --set HRD_MODE=USB --set HRD_TX=off || { fail "the simulator did not start again"; return 1; }
  wait_until item_is RcvFreq 7,074.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after HRD came back"; return 1; }
  mark
  expect_answer 003qsy7010 ACK || return 1
  expect_answer 008transmit ACK || return 1
  expect_answer 007receive ACK || return 1
  expect_commands $'frqa 7010000\nbutn tx=on\nbutn tx=off' || return 1
  wait_until item_is RcvFreq 7,010.00 || { fail "RcvFreq is \"$(item RcvFreq)\""; return 1; }
}

case_stalled_hrd_holds_the_bridge_one_time_out_per_command() {
  # HRD holds every command longer than the bridge waits. A frequency and mode request is
  # two commands to HRD, the mode first: HRD's receipt of the second shows how long the
  # first held the bridge, and a client asking meanwhile is answered once both have.
  hrd_apply "stall 6000" || { fail "the simulator did not take \"stall 6000\""; return 1; }
  mark
  expect_answer '012xcvrfreqmode<xcvrfreq:4>7020<xcvrmode:2>CW' ACK || { hrd_apply ack; return 1; }
  wait_until hrd_received_since_mark "mode CW" || { fail "the mode never reached HRD"; hrd_apply ack; return 1; }
  local out=$RUN_DIR/test-behind-freqmode.txt
  background_execute "$out" 004test
  reap "$CLIENT_PID" || { fail "004test got no answer"; hrd_apply ack; return 1; }
  hrd_apply ack
  [[ "$(answer_of "$out")" == ACK ]] || { fail "004test behind a stalled HRD: \"$(cat "$out")\""; return 1; }
  hrd_received_since_mark "frqa 7020000" || { fail "the frequency never reached HRD; it got: $(commands_since_mark)"; return 1; }
  local mode_at freq_at first second
  mode_at=$(stamp_ms "$(hrd_execute_stamp_since_mark "mode CW")")
  freq_at=$(stamp_ms "$(hrd_execute_stamp_since_mark "frqa 7020000")")
  first=$((freq_at - mode_at))
  second=$(($(answer_ms_of "$out") - freq_at))
  measured "a stalled HRD command held the bridge $first ms (mode) and $second ms (frqa, until a waiting client's answer);" \
    "the one client command $((first + second)) ms"
  local each
  for each in "$first" "$second"; do
    # Lower bound: the bridge did wait for HRD; upper bound: it gave up on its time-out
    # (the waiting client's answer comes a little after: it is next in the queue).
    ((each >= EXECUTE_TIMEOUT_MS - 200 && each <= EXECUTE_TIMEOUT_MS + 2000)) ||
      { fail "held $each ms by one stalled command, want about $EXECUTE_TIMEOUT_MS"; return 1; }
  done
  # The stalled commands come out of HRD after their stall; then the link is as before.
  WAIT_TIMEOUT=15 wait_until hrd_logged_since 0 "REPLY ACK after a 6000 ms stall: frqa 7020000" ||
    { fail "the simulator never let the stalled frequency go"; return 1; }
  wait_until item_is RcvFreq 7,020.00 || { fail "RcvFreq is \"$(item RcvFreq)\""; return 1; }
  mark
  expect_answer 003qsy7025 ACK || return 1
  expect_commands "frqa 7025000"
}

case_frozen_hrd_leaves_clients_answered() {
  # The whole HRD process stops: its windows read no message, it answers no initiate.
  local hrd
  hrd=$(windows_process_of "$RUN_DIR/hrd_sim.exe")
  [[ -n "$hrd" ]] || { fail "no process runs the simulator"; return 1; }
  kill -STOP "$hrd"
  local frozen
  frozen=$(now_ms)
  mark
  local answer
  # A client speaking the message protocol asks every window in turn who serves, the
  # frozen ones too (each for up to 2 s until Wine takes them for hung).
  answer=$(timeout 20 "$WINE" "$RUN_DIR/suite_client.exe" --raw execute Corvane DDEServer 003qsy7030 2>/dev/null)
  [[ "$answer" == ACK ]] || { kill -CONT "$hrd"; fail "003qsy7030 was answered \"$answer\" while HRD was frozen"; return 1; }
  # Behind the qsy: HRD gets its frequency, and the bridge waits its time-out for the answer.
  local start elapsed
  start=$(now_ms)
  answer=$(timeout 20 "$WINE" "$RUN_DIR/suite_client.exe" --raw execute Corvane DDEServer 004test 2>/dev/null)
  elapsed=$(($(now_ms) - start))
  [[ "$answer" == ACK ]] || { kill -CONT "$hrd"; fail "004test was answered \"$answer\" while HRD was frozen"; return 1; }
  measured "HRD frozen: a 004test behind a qsy took $elapsed ms; both answered $(($(now_ms) - frozen)) ms after the freeze"
  # The bridge waits for the frozen HRD no longer than for a stalled one. (By now Wine
  # takes HRD's windows for hung, so the client's own initiate passes them at once.)
  ((elapsed < EXECUTE_TIMEOUT_MS + 2000)) ||
    { kill -CONT "$hrd"; fail "004test took $elapsed ms behind a qsy to the frozen HRD"; return 1; }
  kill -CONT "$hrd"
  # Thawed, HRD works off what waited for it; the next command reaches it.
  mark
  expect_answer 003qsy7040 ACK || return 1
  WAIT_TIMEOUT=10 wait_until hrd_received_since_mark "frqa 7040000" ||
    { fail "a qsy after HRD thawed did not reach it; it got: $(commands_since_mark)"; return 1; }
  wait_until item_is RcvFreq 7,040.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after HRD thawed"; return 1; }
}

# ---------------------------------------------------------------------------------------
# EXECUTE strings no client should send
# ---------------------------------------------------------------------------------------

BYTES_DIR=""

# raw_bytes NAME PRINTF-FORMAT [ARGS]: a file of exactly those bytes.
raw_bytes() {
  local file=$BYTES_DIR/$1
  shift
  # shellcheck disable=SC2059
  printf "$@" >"$file"
  echo "$file"
}

# execute_bytes FILE: the answer to an EXECUTE of the file's bytes, sent raw.
execute_bytes() {
  timeout 60 "$WINE" "$RUN_DIR/suite_client.exe" --raw execute-file Corvane DDEServer "$(windows_path "$1")" 20000 2>/dev/null | tr -d '\r'
}

# expect_bytes_answered NAME WANT PRINTF-FORMAT [ARGS]
expect_bytes_answered() {
  local name=$1 want=$2
  shift 2
  local file answer
  file=$(raw_bytes "$name" "$@")
  answer=$(execute_bytes "$file")
  [[ "$answer" == "$want" ]] || { fail "$name ($(stat -c %s "$file") bytes) was answered \"$answer\", want $want"; return 1; }
}

# The log holds only well-formed lines: empty ones or a time stamp, " > " and printable text.
log_is_sane() {
  local bad
  bad=$(tr -d '\r' <"$(log_path)" | LC_ALL=C grep -nvE '^$|^[0-9]{2}-[A-Z][a-z]{2}-[0-9]{4} [0-9:]{8} > [ -~]{1,200}$' | head -n 3)
  [[ -z "$bad" ]] || { fail "the log has lines out of shape: $bad"; return 1; }
  local lf crlf
  lf=$(tr -cd '\n' <"$(log_path)" | wc -c)
  crlf=$(LC_ALL=C grep -c $'\r$' "$(log_path)")
  ((lf == crlf)) || { fail "the log has $lf lines but $crlf end in CR LF"; return 1; }
}

case_odd_execute_strings_are_each_answered() {
  BYTES_DIR=$RUN_DIR/bytes
  mkdir -p "$BYTES_DIR"
  mark
  local errors_before
  errors_before=$(log_lines_with "program error")
  # Nothing at all: no number, a type mismatch.
  expect_bytes_answered empty NACK '' || return 1
  # A megabyte behind a known word; a megabyte of digits as a frequency, an overflow.
  local mega=$BYTES_DIR/mega-test
  { printf '004test'; head -c 1048576 /dev/zero | tr '\0' 'x'; } >"$mega"
  [[ "$(execute_bytes "$mega")" == ACK ]] || { fail "a 1 MB test command was not acknowledged"; return 1; }
  local megaqsy=$BYTES_DIR/mega-qsy
  { printf '003qsy7'; head -c 1048576 /dev/zero | tr '\0' '1'; } >"$megaqsy"
  [[ "$(execute_bytes "$megaqsy")" == NACK ]] || { fail "a frequency of a million digits was not refused"; return 1; }
  # A record whose mode declares a megabyte: a length past 16 bits reads as none, so the
  # mode is empty and the frequency goes on.
  local megarecord=$BYTES_DIR/mega-record
  { printf '012xcvrfreqmode<xcvrfreq:4>7031<xcvrmode:1048576>'; head -c 1048576 /dev/zero | tr '\0' 'C'; } >"$megarecord"
  [[ "$(execute_bytes "$megarecord")" == ACK ]] || { fail "a record with a 1 MB mode was not acknowledged"; return 1; }
  # A NUL ends the command: what follows it is not read.
  expect_bytes_answered nul-test ACK '004test\0garbage' || return 1
  expect_bytes_answered nul-qsy ACK '003qsy7050\0\001\002garbage' || return 1
  expect_bytes_answered nul-word NACK '003\0qsy7051' || return 1
  # Bytes above 127: in a parameter that is ignored, in the command word, in a number.
  expect_bytes_answered high-test ACK '004test\351\377' || return 1
  expect_bytes_answered high-word NACK '004\351test' || return 1
  expect_bytes_answered high-qsy NACK '003qsy70\35160' || return 1
  # Line ends, as a program that sends a line would; before the number they are white
  # space around it, and "04test" is no command word.
  expect_bytes_answered crlf-test ACK '004test\r\n' || return 1
  expect_bytes_answered crlf-transmit ACK '008transmit\r\n' || return 1
  expect_bytes_answered crlf-receive ACK '007receive\n' || return 1
  expect_bytes_answered crlf-word NACK '\r\n004test' || return 1
  # HRD got the commands that were good, in order, each whole, and nothing else.
  expect_commands $'mode \nfrqa 7031000\nfrqa 7050000\nbutn tx=on\nbutn tx=off' || return 1
  # The empty command and the two numbers that do not convert are logged, once each.
  local errors
  errors=$(tr -d '\r' <"$(log_path)" | grep -F "program error" | tail -n +$((errors_before + 1)) | sed 's/^.* > //')
  local mismatch="program error 13 in module DDEServer.LinkExecute: Type mismatch"
  local overflow="program error 6 in module DDEServer.LinkExecute: Overflow"
  [[ "$errors" == "$mismatch"$'\n'"$overflow"$'\n'"$mismatch" ]] || { fail "the log's new errors:"$'\n'"$errors"; return 1; }
  log_is_sane || return 1
  pid_gone "$BRIDGE_PID" && { fail "the bridge ended"; return 1; }
  expect_answer 004test ACK
}

# ---------------------------------------------------------------------------------------
# A sibling that takes the start notice and never answers it
# ---------------------------------------------------------------------------------------

case_a_sibling_that_never_answers_costs_one_time_out() {
  # The launcher takes each EXECUTE and answers none; Sarnok before it and TavixFrequency
  # after it answer at once.
  start_listener 60 --hold-execute TavixLauncher || { fail "the holding listener did not start"; return 1; }
  local holder_log=$LISTEN_LOG holder=$LISTEN_PID
  start_listener 60 Sarnok TavixFrequency || { fail "the listener did not start"; return 1; }
  local started
  started=$(now_ms)
  start_bridge || { fail "the bridge did not start beside a sibling that never answers"; return 1; }
  WAIT_TIMEOUT=15 wait_until grep -q "TavixFrequency EXECUTE 000start" "$LISTEN_LOG" ||
    { fail "TavixFrequency heard no start:"$'\n'"$(listener_events)"; return 1; }
  grep -q "TavixLauncher EXECUTE 000start HELD" "$holder_log" ||
    { fail "the launcher did not take the start notice:"$'\n'"$(cat "$holder_log")"; return 1; }
  grep -q "Sarnok EXECUTE 000start" "$LISTEN_LOG" || { fail "Sarnok heard no start"; return 1; }
  # The one after the silent launcher waited for the bridge's time-out on it, no more.
  local heard=$(($(now_ms) - started))
  measured "beside a launcher that never answers \"000start\", TavixFrequency heard its own within $heard ms of the bridge's start"
  expect_answer 004test ACK || return 1
  item_is RadioCWSpeed 0 || { fail "the server does not answer requests"; return 1; }

  local closing
  closing=$(now_ms)
  suite_client close "$BRIDGE_CAPTION" >/dev/null
  WAIT_TIMEOUT=15 wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge did not end beside a silent launcher"; return 1; }
  local closed=$(($(now_ms) - closing))
  measured "closing beside a launcher that never answers \"000stop\" took $closed ms"
  ((closed < EXECUTE_TIMEOUT_MS + 3000)) || { fail "closing took $closed ms"; return 1; }
  stop_pid "$BRIDGE_PID"
  forget_pid "$BRIDGE_PID"
  BRIDGE_PID=""
  wait_until grep -q "TavixLauncher EXECUTE 000stop HELD" "$holder_log" ||
    { fail "the launcher was not told of the stop:"$'\n'"$(cat "$holder_log")"; return 1; }
  [[ ! -e "$(log_path)" ]] || { fail "the run wrote a log: $(tr -d '\r' <"$(log_path)")"; return 1; }
  stop_pid "$holder"
  forget_pid "$holder"
  stop_pid "$LISTEN_PID"
  forget_pid "$LISTEN_PID"
  return 0
}

main() {
  setup_or_report || return
  if start_hrd --set HRD_HERTZ=14070000 --set HRD_MODE=USB --set HRD_TX=off && start_bridge &&
    wait_until item_is RcvFreq 14,070.00; then
    run_case case_odd_execute_strings_are_each_answered
    run_case case_stalled_hrd_holds_the_bridge_one_time_out_per_command
    run_case case_frozen_hrd_leaves_clients_answered
    run_case case_hrd_killed_while_keying_answers_the_client_and_links_again
  else
    fail_case start "the simulator or the bridge did not come up, or they did not link"
  fi
  stop_pid "$BRIDGE_PID"
  stop_pid "$HRD_PID"
  new_run_dir
  run_case case_a_sibling_that_never_answers_costs_one_time_out
  report
}

main
