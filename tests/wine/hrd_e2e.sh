#!/usr/bin/env bash
# End-to-end checks of the HRD link under Wine, against the HRD simulator: the blinking
# warning while HRD is away, linking when it appears, every change reaching linked clients
# (DDEML and raw-DDE ones), HRD quitting or crashing and coming back, the log text of a bad
# frequency, and the start and stop notices to the suite's programs.
#
#   tests/wine/hrd_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

SIBLINGS=(Quillet Ledgemar Sarnok Orvena TavixLauncher TavixFrequency)

# Samples "HRD not running" for SECONDS every quarter second: "elapsed visible" lines.
sample_warning() {
  local until=$((SECONDS + $1)) start now shown
  start=$(date +%s.%N)
  while ((SECONDS < until)); do
    shown=$(no_hrd_shown)
    now=$(date +%s.%N)
    awk -v now="$now" -v start="$start" -v shown="$shown" 'BEGIN { printf "%.2f %s\n", now - start, shown }'
    sleep 0.25
  done
}

# The times (seconds from the first sample) at which the visibility changed.
transitions() { awk 'NR > 1 && $2 != last { print $1 } { last = $2 }'; }

warning_hidden_for_a_while() {
  local samples
  samples=$(sample_warning 3)
  ! grep -q ' 1$' <<<"$samples"
}

case_warning_hidden_at_first_then_blinking() {
  # The first look at the window, taken as soon as it appeared. The first tick comes a
  # second after start-up at the earliest, so a look within that second must find the
  # warning hidden; a later first look (a slow machine) cannot tell.
  local first elapsed=$((FIRST_WINDOW_MS - BRIDGE_STARTED_MS))
  first=$(awk -F'|' '$1 == "Static" && $4 == "HRD not running" {print $2; exit}' "$RUN_DIR/first-window.txt")
  if ((elapsed < 950)); then
    [[ "$first" == 0 ]] || { fail "\"HRD not running\" is shown ${elapsed} ms after start"; return 1; }
  else
    log "the first look at the window came ${elapsed} ms after start: too late to see the warning's first state"
  fi
  local samples changes
  samples=$(sample_warning 6)
  changes=$(transitions <<<"$samples")
  local count
  count=$(grep -c . <<<"$changes")
  ((count >= 4)) || { fail "the warning changed $count times in 6 s, want a blink every second:"$'\n'"$samples"; return 1; }
  # A one-second flip gives a two-second period. A busy machine delays single ticks, so
  # the typical (median) gap between flips is what must be about a second.
  local gaps median
  gaps=$(awk 'NR > 1 { printf "%.2f\n", $1 - last } { last = $1 }' <<<"$changes")
  median=$(sort -n <<<"$gaps" | awk '{ g[NR] = $1 } END { print g[int((NR + 1) / 2)] }')
  if awk -v m="$median" 'BEGIN { exit !(m < 0.6 || m > 1.6) }'; then
    fail "the warning does not flip once a second; gaps: $(tr '\n' ' ' <<<"$gaps")"
    return 1
  fi
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "HRD being away was logged"; return 1; }
}

case_a_hung_window_does_not_freeze_the_bridge() {
  # Every second the bridge looks for HRD among the desktop's windows; one that hangs must
  # not hang the bridge with it: the warning goes on blinking.
  start_hung_window 10 || { fail "the hung window did not appear"; return 1; }
  # The first time the hung window is asked who serves, it is given a second to answer,
  # as a busy one would need; from then on it is asked only briefly.
  sleep 1.5
  local samples count
  samples=$(sample_warning 5)
  count=$(transitions <<<"$samples" | grep -c .)
  stop_pid "$HUNG_PID"
  forget_pid "$HUNG_PID"
  ((count >= 3)) || { fail "the warning changed $count times in 5 s beside a hung window:"$'\n'"$samples"; return 1; }
}

case_hrd_appearing_is_linked_and_translated() {
  start_hrd --set HRD_HERTZ=14070000 --set HRD_MODE=USB --set HRD_TX=off ||
    { fail "the HRD simulator did not start"; return 1; }
  wait_until item_is RcvFreq 14,070.00 ||
    { fail "RcvFreq is \"$(item RcvFreq)\" ${WAIT_TIMEOUT} s after HRD started, want 14,070.00"; return 1; }
  item_is XmitFreq 14,070.00 || { fail "XmitFreq is \"$(item XmitFreq)\""; return 1; }
  item_is Mode SSB || { fail "Mode is \"$(item Mode)\", want SSB"; return 1; }
  item_is RadioMode USB || { fail "RadioMode is \"$(item RadioMode)\", want USB"; return 1; }
  item_is RadioState receive || { fail "RadioState is \"$(item RadioState)\", want receive"; return 1; }
  sleep 1.2
  warning_hidden_for_a_while || { fail "\"HRD not running\" still blinks while HRD runs"; return 1; }
}

# A suite program reads the items one after another over one conversation, through DDEML
# and through the DDE messages: under Wine a DDEML server follows each REQUEST's data with
# an acknowledgement that the next transaction must not take for its own answer.
case_one_client_reads_every_item_over_one_conversation() {
  local want=$'RcvFreq|14,070.00\nXmitFreq|14,070.00\nMode|SSB\nRadioMode|USB\nRadioState|receive\nRadioVFO|0\nRadioSplit|\nRadioCWCapability|0\nLabel11|RcvFreq'
  local option got
  for option in "" --raw; do
    got=$(suite_client $option request Corvane DDEServer RcvFreq XmitFreq Mode RadioMode RadioState \
      RadioVFO RadioSplit RadioCWCapability Label11 2>&1 | tr -d '\r')
    [[ "$got" == "$want" ]] || { fail "a client${option:+ with $option} read:"$'\n'"$got"; return 1; }
  done
}

# watch_items OUT SECONDS ITEM [--raw]: a client holding a hot link, in the background.
watch_item() {
  local out=$1 seconds=$2 item=$3
  shift 3
  "$WINE" "$RUN_DIR/suite_client.exe" "$@" watch Corvane DDEServer "$item" "$seconds" >"$out" 2>&1 &
  STARTED_PIDS+=("$!")
  WATCH_PID=$!
}

# in_order_to_the_last EXPECTED SEEN: the lines of SEEN are lines of EXPECTED in its order,
# ending on its last line. HRD's changes that queue up while the bridge is busy are passed
# on as their newest: a client may miss intermediate values, never see them out of order.
in_order_to_the_last() {
  awk -v expected="$1" '
    BEGIN { n = split(expected, want, "\n"); i = 1 }
    { while (i <= n && want[i] != $0) i++
      if (i > n) { bad = 1; exit }
      i++; last = $0 }
    END { exit (bad || last != want[n]) }' <<<"$2"
}

case_linked_clients_follow_hrd_in_order_to_its_last_change() {
  local freq_out=$RUN_DIR/watch-rcvfreq.txt raw_out=$RUN_DIR/watch-mode-raw.txt state_out=$RUN_DIR/watch-state.txt
  watch_item "$freq_out" 8 RcvFreq
  local freq_watch=$WATCH_PID
  watch_item "$raw_out" 8 Mode --raw
  local raw_watch=$WATCH_PID
  watch_item "$state_out" 8 RadioState
  local state_watch=$WATCH_PID
  # Each watcher prints the current value once its link is up.
  wait_until test -s "$freq_out" -a -s "$raw_out" -a -s "$state_out" || { fail "the watchers did not link"; return 1; }
  local hertz
  for hertz in 7040000 7041500 1810999 500 3573000; do hrd_control "set HRD_HERTZ $hertz"; done
  hrd_control "set HRD_MODE cw"
  hrd_control "set HRD_MODE FSK-R"
  hrd_control "set HRD_TX ON"
  hrd_control "set HRD_TX off"
  wait "$freq_watch" "$raw_watch" "$state_watch" 2>/dev/null

  local freqs
  freqs=$(tr -d '\r' <"$freq_out" | tail -n +2)
  in_order_to_the_last $'7,040.00\n7,041.50\n1,810.99\n.50\n3,573.00' "$freqs" ||
    { fail "the RcvFreq watcher saw:"$'\n'"$(cat "$freq_out")"; return 1; }
  local modes
  modes=$(tr -d '\r' <"$raw_out" | tail -n +2)
  in_order_to_the_last $'CW\nRTTY' "$modes" || { fail "the raw-DDE Mode watcher saw:"$'\n'"$(cat "$raw_out")"; return 1; }
  # Keyed and unkeyed within a moment: seen both ways, or not at all.
  local states
  states=$(tr -d '\r' <"$state_out" | tail -n +2)
  [[ -z "$states" || "$states" == $'transmit\nreceive' ]] ||
    { fail "the RadioState watcher saw:"$'\n'"$(cat "$state_out")"; return 1; }
  item_is RadioMode RTTY-R || { fail "RadioMode is \"$(item RadioMode)\", want RTTY-R"; return 1; }
}

# Several programs of the suite linked on one item each hear every change: under Wine one
# client taking the item's name out of its message once took it from the others too.
case_every_client_linked_on_an_item_hears_each_change() {
  local j outs=() pids=()
  for j in 1 2 3; do
    outs+=("$RUN_DIR/watch-rcvfreq-$j.txt")
    watch_item "${outs[-1]}" 10 RcvFreq
    pids+=("$WATCH_PID")
  done
  wait_until test -s "${outs[0]}" -a -s "${outs[1]}" -a -s "${outs[2]}" || { fail "the watchers did not link"; return 1; }
  local hertz
  for hertz in 7011000 7012000 7013000 7014000 7015000; do
    hrd_control "set HRD_HERTZ $hertz"
    sleep 0.3
  done
  wait "${pids[@]}" 2>/dev/null
  local out
  for out in "${outs[@]}"; do
    [[ "$(tr -d '\r' <"$out" | tail -n +2)" == $'7,011.00\n7,012.00\n7,013.00\n7,014.00\n7,015.00' ]] ||
      { fail "$(basename "$out") saw:"$'\n'"$(cat "$out")"; return 1; }
  done
  hrd_control "set HRD_HERTZ 3573000"
  wait_until item_is RcvFreq 3,573.00 || { fail "RcvFreq did not come back to 3,573.00"; return 1; }
}

case_bad_frequency_is_logged_with_its_text() {
  hrd_control "set HRD_HERTZ 7.04 MHz"
  wait_until test -f "$RUN_DIR/ErrorLog.txt" || { fail "no log after a non-numeric frequency"; return 1; }
  wait_until grep -qF "program error 13 in module VelkMain.HRDFreq_Change, HRD Freq = 7.04 MHz, theFreqString = : Type mismatch" \
    "$RUN_DIR/ErrorLog.txt" || { fail "log: $(cat "$RUN_DIR/ErrorLog.txt")"; return 1; }
  item_is RcvFreq 3,573.00 || { fail "RcvFreq changed to \"$(item RcvFreq)\""; return 1; }
  hrd_control "set HRD_HERTZ 3573000"
}

warning_shown() { [[ "$(no_hrd_shown)" == 1 ]]; }

case_hrd_quitting_keeps_items_and_restarts_the_blink() {
  hrd_control quit
  wait_until pid_gone "$HRD_PID" || { fail "the simulator did not quit"; return 1; }
  WAIT_TIMEOUT=4 wait_until warning_shown || { fail "no warning within 4 s of HRD quitting"; return 1; }
  item_is RcvFreq 3,573.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after HRD quit"; return 1; }
  item_is Mode RTTY || { fail "Mode is \"$(item Mode)\" after HRD quit"; return 1; }
}

case_hrd_returning_is_linked_again() {
  start_hrd --set HRD_HERTZ=10136000 --set HRD_MODE=USB || { fail "the HRD simulator did not start"; return 1; }
  wait_until item_is RcvFreq 10,136.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after HRD returned"; return 1; }
  sleep 1.2
  warning_hidden_for_a_while || { fail "the warning still blinks after HRD returned"; return 1; }
}

case_crashed_hrd_is_noticed_and_relinked() {
  kill -9 "$HRD_PID"
  wait "$HRD_PID" 2>/dev/null
  WAIT_TIMEOUT=4 wait_until warning_shown || { fail "a crashed HRD was not noticed within 4 s"; return 1; }
  item_is RcvFreq 10,136.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after HRD crashed"; return 1; }
  start_hrd --set HRD_HERTZ=18100000 || { fail "the HRD simulator did not start again"; return 1; }
  wait_until item_is RcvFreq 18,100.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after the restart"; return 1; }
}

case_siblings_hear_start_in_order_and_only_the_launcher_stop() {
  start_listener 60 "${SIBLINGS[@]}" || { fail "the listener did not start"; return 1; }
  start_bridge || { fail "the bridge did not start"; return 1; }
  # The bridge asks who serves before it connects, so a program may also see a conversation
  # open and close at once; the hot link and the notice are what count.
  local name expected=""
  for name in "${SIBLINGS[@]}"; do
    expected+="$name ADVSTART RequestDDEConnection"$'\n'"$name EXECUTE 000start"$'\n'
  done
  wait_until grep -q "TavixFrequency EXECUTE 000start" "$LISTEN_LOG" || { fail "not every notice came:"$'\n'"$(listener_events)"; return 1; }
  [[ "$(listener_events | grep -E ' (ADVSTART .*|EXECUTE .*)$')"$'\n' == "$expected" ]] ||
    { fail "the notices came as:"$'\n'"$(listener_events)"; return 1; }
  suite_client close "$BRIDGE_CAPTION" >/dev/null
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge did not end"; return 1; }
  local stops
  stops=$(listener_events | grep 'EXECUTE 000stop')
  [[ "$stops" == "TavixLauncher EXECUTE 000stop" ]] || { fail "stop notices: $stops"; return 1; }
  stop_pid "$LISTEN_PID"
}

case_one_sibling_listening_starts_silently() {
  start_listener 30 Sarnok || { fail "the listener did not start"; return 1; }
  start_bridge || { fail "the bridge did not start"; return 1; }
  wait_until grep -q "Sarnok EXECUTE 000start" "$LISTEN_LOG" || { fail "Sarnok heard nothing"; return 1; }
  item_is RadioCWSpeed 0 || { fail "the server does not answer"; return 1; }
  suite_client close "$BRIDGE_CAPTION" >/dev/null
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge did not end"; return 1; }
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "the start wrote a log: $(cat "$RUN_DIR/ErrorLog.txt")"; return 1; }
  stop_pid "$LISTEN_PID"
}

main() {
  setup_or_report || return
  if start_bridge; then
    run_case case_warning_hidden_at_first_then_blinking
    run_case case_a_hung_window_does_not_freeze_the_bridge
    run_case case_hrd_appearing_is_linked_and_translated
    run_case case_one_client_reads_every_item_over_one_conversation
    run_case case_linked_clients_follow_hrd_in_order_to_its_last_change
    run_case case_every_client_linked_on_an_item_hears_each_change
    run_case case_bad_frequency_is_logged_with_its_text
    run_case case_hrd_quitting_keeps_items_and_restarts_the_blink
    run_case case_hrd_returning_is_linked_again
    run_case case_crashed_hrd_is_noticed_and_relinked
  else
    fail_case start_bridge "the bridge did not come up"
  fi
  stop_pid "$BRIDGE_PID"
  [[ -n "$HRD_PID" ]] && stop_pid "$HRD_PID"

  new_run_dir
  run_case case_siblings_hear_start_in_order_and_only_the_launcher_stop
  new_run_dir
  run_case case_one_sibling_listening_starts_silently
  report
}

main
