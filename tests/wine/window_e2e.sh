#!/usr/bin/env bash
# End-to-end checks of the bridge's text boxes under Wine, with the HRD simulator linked:
# the two a person sees (frequency and mode) keep their text through Delete, cut and paste,
# and the four hidden HRD link boxes beyond the client area's right edge take no keys and
# are no tab stops. Wine's Notepad shows first that the same keys do change an ordinary box,
# and a hung window last that a text which does not come is not read as an empty one.
#
#   tests/wine/window_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FREQUENCY_PATTERN='^(0|[0-9]{0,3}(,[0-9]{3})*\.[0-9]{2})$'
NOTEPAD_CAPTION="Untitled - Notepad"
# The hidden link boxes in the order the bridge creates them (and `windows` lists them).
HIDDEN_BOXES=(HRDFreq HRDButton HRDTX HRDAltFreq)

# ---------------------------------------------------------------------------------------
# Reading the dump of `suite_client windows CAPTION`: a WINDOW line, then one line per
# child, class|visible|left,top,width,height|text; a child's INDEX is its place among them.
# ---------------------------------------------------------------------------------------

# edit_children CAPTION shown|hidden: "INDEX|TEXT" for each edit child whose left edge lies
# inside the client area (shown) or beyond its right edge (hidden).
edit_children() {
  suite_client windows "$1" 2>/dev/null | awk -F'|' -v want="$2" '
    NR == 1 { split($3, size, ","); width = size[1] + 0; next }
    $1 == "Edit" {
      split($3, rect, ",")
      beyond = rect[1] + 0 > width
      if ((want == "hidden") == beyond) print NR - 2 "|" $4
    }'
}

# child_text CAPTION INDEX: the text the child shows now. Fails, saying why on stderr, when
# the window's texts could not be read (a text that did not come is not an empty one).
child_text() {
  local dump
  dump=$(suite_client windows "$1") || { echo "cannot read the texts of \"$1\"" >&2; return 1; }
  awk -F'|' -v line=$(($2 + 2)) 'NR == line { print $4 }' <<<"$dump"
}

# edit_keeps_text NAME INDEX ACTION [TEXT]: the action leaves the text of the bridge's box
# NAME, child INDEX, as it was. A text that changed fails at once. When the tool itself
# could not act or read (the bridge did not answer it within 10 s), what it saw is printed
# and the action is tried once more; a second such failure fails. (Seen in two full test
# runs, never when this script ran alone; the cause is not known yet.)
edit_keeps_text() {
  local name=$1 index=$2 before after problem attempt
  shift 2
  for attempt in 1 2; do
    if ! before=$(child_text "$BRIDGE_CAPTION" "$index"); then
      problem="$name's text before $*: unreadable"
    elif ! suite_client edit "$BRIDGE_CAPTION" "$index" "$@" 2>"$RUN_DIR/edit.err"; then
      problem="edit $name $* failed: $(cat "$RUN_DIR/edit.err")"
    elif ! after=$(child_text "$BRIDGE_CAPTION" "$index"); then
      problem="$name's text after $*: unreadable"
    elif [[ "$after" != "$before" ]]; then
      fail "$* changed $name from \"$before\" to \"$after\""$'\n'"$(window_now)"
      return 1
    else
      return 0
    fi
    log "window_e2e.sh: attempt $attempt: $problem"$'\n'"$(window_now)"
  done
  fail "$problem, twice"
  return 1
}

# What the bridge's window holds now, and its log, for a failure to show.
window_now() {
  suite_client windows "$BRIDGE_CAPTION" 2>&1
  [[ -e "$RUN_DIR/ErrorLog.txt" ]] && head -c 2000 "$RUN_DIR/ErrorLog.txt"
}

# edit_gives CAPTION INDEX WANT ACTION [TEXT]: after the action the child shows WANT.
edit_gives() {
  local caption=$1 index=$2 want=$3 after
  shift 3
  suite_client edit "$caption" "$index" "$@" || { fail "edit $index $* failed"; return 1; }
  after=$(child_text "$caption" "$index") || { fail "box $index's text after $*: unreadable"; return 1; }
  [[ "$after" == "$want" ]] || { fail "after $* box $index shows \"$after\", want \"$want\""; return 1; }
}

# ---------------------------------------------------------------------------------------
# Cases
# ---------------------------------------------------------------------------------------

notepad_up() { [[ -n "$(edit_children "$NOTEPAD_CAPTION" shown)" ]]; }

case_keys_and_clipboard_change_an_ordinary_text_box() {
  # The same tool actions that must leave the bridge's boxes alone, on a box that takes them.
  (cd "$RUN_DIR" && exec "$WINE" notepad) >/dev/null 2>&1 &
  local notepad=$!
  STARTED_PIDS+=("$notepad")
  local box
  wait_until notepad_up || { fail "Notepad did not come up"; return 1; }
  box=$(edit_children "$NOTEPAD_CAPTION" shown | head -n 1)
  box=${box%%|*}
  edit_gives "$NOTEPAD_CAPTION" "$box" abc type abc || return 1
  edit_gives "$NOTEPAD_CAPTION" "$box" xyz paste xyz || return 1
  edit_gives "$NOTEPAD_CAPTION" "$box" "" delete || return 1
  edit_gives "$NOTEPAD_CAPTION" "$box" on type on || return 1
  edit_gives "$NOTEPAD_CAPTION" "$box" "" cut || return 1
  stop_pid "$notepad"
  forget_pid "$notepad"
}

case_shown_boxes_keep_their_text_through_delete_cut_and_paste() {
  local shown freq="" mode="" index text
  shown=$(edit_children "$BRIDGE_CAPTION" shown)
  while IFS='|' read -r index text; do
    if [[ -z "$freq" && "$text" =~ $FREQUENCY_PATTERN ]]; then freq=$index; fi
    if [[ -z "$mode" && "$text" == USB ]]; then mode=$index; fi
  done <<<"$shown"
  [[ -n "$freq" && -n "$mode" ]] || { fail "no frequency or no mode box among the shown boxes: $shown"; return 1; }
  local name
  for name in FreqDisplay HRDMode; do
    [[ $name == FreqDisplay ]] && index=$freq || index=$mode
    edit_keeps_text "$name" "$index" delete || return 1
    edit_keeps_text "$name" "$index" cut || return 1
    edit_keeps_text "$name" "$index" paste "7,040.00" || return 1
    edit_keeps_text "$name" "$index" paste LSB || return 1
  done
}

# The indexes of the hidden link boxes, in HIDDEN_BOXES order, into HIDDEN_INDEX.
find_hidden_boxes() {
  local lines
  lines=$(edit_children "$BRIDGE_CAPTION" hidden)
  mapfile -t HIDDEN_INDEX < <(cut -d'|' -f1 <<<"$lines" | grep .)
  ((${#HIDDEN_INDEX[@]} == ${#HIDDEN_BOXES[@]})) ||
    { fail "want ${#HIDDEN_BOXES[@]} edit boxes beyond the right edge, found: $lines"; return 1; }
}

case_hidden_link_boxes_are_no_tab_stops() {
  find_hidden_boxes || return 1
  local i stops=""
  for i in "${!HIDDEN_BOXES[@]}"; do
    [[ "$(suite_client tabstop "$BRIDGE_CAPTION" "${HIDDEN_INDEX[$i]}")" == 0 ]] || stops+=" ${HIDDEN_BOXES[$i]}"
  done
  [[ -z "$stops" ]] || { fail "tab stops:$stops"; return 1; }
}

case_hidden_link_boxes_take_no_keys() {
  find_hidden_boxes || return 1
  local tx=${HIDDEN_INDEX[2]}
  [[ "$(child_text "$BRIDGE_CAPTION" "$tx")" == off ]] ||
    { fail "HRDTX shows \"$(child_text "$BRIDGE_CAPTION" "$tx")\", want HRD's \"off\""; return 1; }
  item_is RadioState receive || { fail "RadioState is \"$(item RadioState)\" before any key"; return 1; }
  # Typed or pasted over the whole text, "on" would tell the bridge HRD is transmitting.
  local action state shows
  for action in type paste; do
    suite_client edit "$BRIDGE_CAPTION" "$tx" "$action" on || { fail "edit HRDTX $action on failed"; return 1; }
    state=$(item RadioState)
    shows=$(child_text "$BRIDGE_CAPTION" "$tx")
    [[ "$state" == receive && "$shows" == off ]] ||
      { fail "after $action \"on\" into HRDTX, RadioState is \"$state\" and HRDTX shows \"$shows\""; return 1; }
  done
  local i
  for i in "${!HIDDEN_BOXES[@]}"; do
    edit_keeps_text "${HIDDEN_BOXES[$i]}" "${HIDDEN_INDEX[$i]}" type 1 || return 1
  done
  item_is RcvFreq 14,070.00 || { fail "RcvFreq is \"$(item RcvFreq)\" after typing into the link boxes"; return 1; }
  [[ ! -e "$RUN_DIR/ErrorLog.txt" ]] || { fail "ErrorLog.txt written: $(head -c 2000 "$RUN_DIR/ErrorLog.txt")"; return 1; }
}

case_a_text_that_does_not_come_is_not_read_as_empty() {
  # The cases above compare texts before and after; a box that does not answer in time
  # must fail the reading, not pass for an emptied box.
  local dump status=0
  start_hung_window 30 || { fail "the hung window did not appear"; return 1; }
  dump=$(suite_client windows "suite_client hung window" 2>"$RUN_DIR/windows.err") || status=$?
  ((status == 5)) && grep -q "child 0 did not give its text" "$RUN_DIR/windows.err" ||
    { fail "reading a hung box's text gave status $status, \"$dump\", $(cat "$RUN_DIR/windows.err")"; return 1; }
  stop_pid "$HUNG_PID"
  forget_pid "$HUNG_PID"
}

main() {
  setup_or_report || return
  if start_hrd --set HRD_HERTZ=14070000 --set HRD_MODE=USB --set HRD_TX=off && start_bridge &&
    wait_until item_is RcvFreq 14,070.00; then
    run_case case_keys_and_clipboard_change_an_ordinary_text_box
    run_case case_shown_boxes_keep_their_text_through_delete_cut_and_paste
    run_case case_hidden_link_boxes_are_no_tab_stops
    run_case case_hidden_link_boxes_take_no_keys
    run_case case_a_text_that_does_not_come_is_not_read_as_empty
  else
    fail_case start "the simulator or the bridge did not come up, or they did not link"
  fi
  stop_pid "$BRIDGE_PID"
  report
}

main
