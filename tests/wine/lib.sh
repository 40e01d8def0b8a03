# Shared helpers for the end-to-end tests that run the bridge under Wine.
# Source this file from a test script; it does nothing by itself.
#
# Every run gets its own Xvfb display, its own Wine prefix and its own run folder (the
# bridge writes its log beside its exe). wine_teardown, registered on EXIT by wine_setup,
# ends exactly the processes this run started, by PID, and removes the temp folder.
#
# Callers may run under `set -euo pipefail` (scripts/demo does): a helper whose last step
# may fail without that being an error (a warm-up, a probe, a kill of a process that already
# ended) says so with an explicit status, and the teardown never fails.
#
# Variables a caller may set before sourcing:
#   BRIDGE_EXE        the bridge to test (default build/win32/Tavix_HRD_Bridge.exe: the
#                     32-bit build, the one that ships)
#   SUITE_CLIENT_EXE  the suite client (default build/win32/suite_client.exe)
#   HRD_SIM_EXE       the HRD simulator (default build/win32/hrd_sim.exe)
#   WAIT_TIMEOUT      seconds wait_until polls before it gives up (default 20)
#   KEEP_TEMP=1       keep the temp folder (prefix, run folders, logs) for a post-mortem
#   USE_DISPLAY       an X display to use instead of starting an Xvfb of our own
#   WINE_PREFIX_TEMPLATE  a prefix made by make_prefix_template, copied instead of making one

LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_ROOT=$(cd "$LIB_DIR/../.." && pwd)

BRIDGE_EXE=${BRIDGE_EXE:-$REPO_ROOT/build/win32/Tavix_HRD_Bridge.exe}
SUITE_CLIENT_EXE=${SUITE_CLIENT_EXE:-$REPO_ROOT/build/win32/suite_client.exe}
WAIT_TIMEOUT=${WAIT_TIMEOUT:-20}

# The program's version, from the project() line of CMakeLists.txt, its one source: "1.0.8"
# as the window and the log show it (PROGRAM_VERSION), "108" as the settings keep it.
PROGRAM_VERSION=$(sed -nE 's/^project\(.* VERSION ([0-9]+\.[0-9]+\.[0-9]+)[ )].*/\1/p' "$REPO_ROOT/CMakeLists.txt")
[[ "$PROGRAM_VERSION" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  printf 'no project version found in %s\n' "$REPO_ROOT/CMakeLists.txt" >&2
version_setting() { echo "${PROGRAM_VERSION//./}"; }

BRIDGE_CAPTION="Tavix HRD Bridge"

# State of this run.
TEMP_ROOT=""
RUN_DIR=""
XVFB_PID=""
BRIDGE_PID=""
STARTED_PIDS=()

log() { printf '%s\n' "$*" >&2; }

# The Wine launcher. Debian ships 64-bit Wine as /usr/lib/wine/wine64; calling it directly
# keeps $! the PID of the Windows process itself (the launcher execs into it). For a 32-bit
# exe it execs into the 32-bit loader named by WINELOADER without its "64", /usr/lib/wine/wine,
# which Debian's wine32:i386 installs.
pick_wine() {
  if command -v wine64 >/dev/null 2>&1; then
    WINE=$(command -v wine64)
  elif [[ -x /usr/lib/wine/wine64 ]]; then
    WINE=/usr/lib/wine/wine64
    export WINELOADER=$WINE
  else
    WINE=$(command -v wine) || WINE=""
  fi
  WINESERVER=$(command -v wineserver) || WINESERVER=""
  [[ -n "$WINE" && -n "$WINESERVER" ]] || { log "wine or wineserver not found"; return 1; }
}

# Starts Xvfb on the first display number that has neither a socket nor a lock file. Two
# runs may pick the same number at once; the loser's Xvfb exits and the next number is tried.
start_xvfb() {
  local n
  for ((n = 90; n < 400; n++)); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$TEMP_ROOT/xvfb-$n.log" 2>&1 &
    XVFB_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
      if ! kill -0 "$XVFB_PID" 2>/dev/null; then
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
        break
      fi
      if [[ -S /tmp/.X11-unix/X$n ]]; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    if [[ -n "$XVFB_PID" ]]; then
      stop_pid "$XVFB_PID"
      XVFB_PID=""
    fi
  done
  log "no free X display found"
  return 1
}

# What every Wine process of these runs is started with.
wine_environment() {
  export WINEDEBUG=-all
  # No Mono or Gecko: their install prompts would block wineboot on a display nobody sees.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# make_prefix DIR LOG: a new Wine prefix in DIR, made as every run here needs it.
make_prefix() {
  local dir=$1 out=$2
  # Making a prefix is this machine's business, not the program's: a wineboot that fails
  # is shown and tried once more on a fresh folder.
  local attempt
  for attempt in 1 2; do
    WINEPREFIX=$dir "$WINE" wineboot -i >"$out" 2>&1 && break
    log "wineboot failed (attempt $attempt); it printed:"
    tail -n 20 "$out" >&2
    ((attempt == 1)) || return 1
    WINEPREFIX=$dir timeout 30 "$WINESERVER" -k >/dev/null 2>&1
    rm -rf "$dir"
  done
  # Without a window manager, hiding a managed window stalls about 2 s; unmanaged it does not.
  WINEPREFIX=$dir "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >>"$out" 2>&1 || { log "wine reg add failed ($out)"; return 1; }
  # A crashing program must end, not wait in a crash dialog that nobody will click.
  WINEPREFIX=$dir "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$out" 2>&1 || { log "wine reg add failed ($out)"; return 1; }
}

# A prefix takes wineboot tens of seconds to make and a copy a few. make_prefix_template
# makes one prefix to copy and exports WINE_PREFIX_TEMPLATE, which wine_setup then copies
# for each run (also in the scripts this one starts); remove_prefix_template removes it.
# Wine keeps no absolute path of the prefix inside it, so a copy works anywhere.
PREFIX_TEMPLATE_ROOT=""
make_prefix_template() {
  pick_wine || return 1
  wine_environment
  PREFIX_TEMPLATE_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/tavix-prefix.XXXXXX") || return 1
  local dir=$PREFIX_TEMPLATE_ROOT/prefix
  make_prefix "$dir" "$PREFIX_TEMPLATE_ROOT/wineboot.log" || return 1
  # wineserver writes the registry when it ends: the copy must come after that.
  WINEPREFIX=$dir timeout 60 "$WINESERVER" -w || { log "the template prefix's wineserver did not end"; return 1; }
  export WINE_PREFIX_TEMPLATE=$dir
}
remove_prefix_template() {
  [[ -n "$PREFIX_TEMPLATE_ROOT" ]] && rm -rf "$PREFIX_TEMPLATE_ROOT"
  PREFIX_TEMPLATE_ROOT=""
  unset WINE_PREFIX_TEMPLATE
}

# Display, prefix and a first run folder. Must run before any Wine process of the run.
wine_setup() {
  trap wine_teardown EXIT
  trap 'exit 130' INT TERM
  local exe
  [[ -f "$SUITE_CLIENT_EXE" ]] || { log "missing $SUITE_CLIENT_EXE (build it first)"; return 1; }
  pick_wine || return 1
  TEMP_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/tavix-wine.XXXXXX") || return 1
  if [[ -n "${USE_DISPLAY:-}" ]]; then
    export DISPLAY=$USE_DISPLAY
  else
    start_xvfb || return 1
  fi

  export WINEPREFIX=$TEMP_ROOT/prefix
  wine_environment
  if [[ -n "${WINE_PREFIX_TEMPLATE:-}" ]]; then
    cp -a "$WINE_PREFIX_TEMPLATE" "$WINEPREFIX" || { log "could not copy $WINE_PREFIX_TEMPLATE"; return 1; }
  else
    make_prefix "$WINEPREFIX" "$TEMP_ROOT/wineboot.log" || return 1
  fi
  new_run_dir || return 1
  # The first window of a fresh prefix also starts Wine's desktop, which takes seconds:
  # let that happen now rather than inside a timed check. It finds no window, on purpose
  # (exit code 4); any other end means the client cannot run here at all.
  local status=0
  suite_client windows "no such window" >/dev/null 2>&1 || status=$?
  if ((status != 4)); then
    log "$(basename "$SUITE_CLIENT_EXE") ($(pe_machine "$SUITE_CLIENT_EXE")) does not run under $WINE (exit $status);" \
      "a 32-bit exe needs 32-bit Wine (Debian: wine32:i386)"
    return 1
  fi
  return 0
}

# pe_machine EXE: the machine an exe is built for, from its PE header: i386 or x86-64.
pe_machine() {
  local header machine
  header=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [[ -n "$header" ]] && machine=$(od -An -t x2 -j $((header + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  case ${machine:-} in
    014c) echo i386 ;;
    8664) echo x86-64 ;;
    *) echo "unknown${machine:+ ($machine)}" ;;
  esac
}

# A fresh folder holding copies of the exes; the bridge started from it logs into it.
new_run_dir() {
  RUN_DIR=$(mktemp -d "$TEMP_ROOT/run.XXXXXX") || return 1
  cp "$SUITE_CLIENT_EXE" "$RUN_DIR/suite_client.exe" || return 1
  [[ ! -f "$BRIDGE_EXE" ]] || cp "$BRIDGE_EXE" "$RUN_DIR/"
}

# A process we started and have reaped: its PID may be reused by anyone, never signal it.
forget_pid() {
  local pid kept=()
  for pid in "${STARTED_PIDS[@]}"; do [[ "$pid" == "$1" ]] || kept+=("$pid"); done
  STARTED_PIDS=("${kept[@]}")
}

bridge_path() { echo "$RUN_DIR/$(basename "$BRIDGE_EXE")"; }

# Runs the suite client of the current run folder; its stdout and exit code pass through.
suite_client() {
  "$WINE" "$RUN_DIR/suite_client.exe" "$@"
}

# Whether the window is there; the first dump after a start is kept in first-window.txt.
bridge_window_exists() {
  local dump
  dump=$(suite_client windows "$BRIDGE_CAPTION" 2>/dev/null) || return 1
  if [[ ! -s "$RUN_DIR/first-window.txt" ]]; then
    FIRST_WINDOW_MS=$(date +%s%3N)
    printf '%s\n' "$dump" >"$RUN_DIR/first-window.txt"
  fi
}

bridge_up_or_gone() { bridge_window_exists || pid_gone "$BRIDGE_PID"; }

# Closes the bridge's window as a user does, and waits until the process has ended.
close_bridge() {
  suite_client close "$BRIDGE_CAPTION" >/dev/null
  wait_until pid_gone "$BRIDGE_PID" || { fail "the bridge did not end"; return 1; }
  stop_pid "$BRIDGE_PID"  # reaps it
  forget_pid "$BRIDGE_PID"
  BRIDGE_PID=""
  return 0
}

# Starts the bridge from the run folder and waits for its window. Sets BRIDGE_PID.
start_bridge() {
  [[ -f "$(bridge_path)" ]] || { log "missing $BRIDGE_EXE (build it first)"; return 1; }
  rm -f "$RUN_DIR/first-window.txt"
  BRIDGE_STARTED_MS=$(date +%s%3N)
  (cd "$RUN_DIR" && exec "$WINE" "$(bridge_path)") >"$RUN_DIR/bridge.out" 2>&1 &
  BRIDGE_PID=$!
  STARTED_PIDS+=("$BRIDGE_PID")
  local WAIT_POLL=0.05
  wait_until bridge_up_or_gone || true
  if pid_gone "$BRIDGE_PID"; then
    log "the bridge ended during start-up; its output:"
    head -c 4000 "$RUN_DIR/bridge.out" >&2
    return 1
  fi
  if ! bridge_window_exists; then
    log "the bridge window did not appear within ${WAIT_TIMEOUT}s"
    return 1
  fi
}

pid_gone() { ! kill -0 "$1" 2>/dev/null; }

# wait_until COMMAND ARGS...: true as soon as the command succeeds, false after WAIT_TIMEOUT;
# it tries every WAIT_POLL seconds.
wait_until() {
  local deadline=$((SECONDS + WAIT_TIMEOUT))
  while ((SECONDS < deadline)); do
    "$@" && return 0
    sleep "${WAIT_POLL:-0.2}"
  done
  "$@"
}

# Ends a process we started: TERM, a grace period, then KILL; reaps it. Always succeeds: the
# process may have ended (or been reaped) already, and an empty PID is nothing to stop.
stop_pid() {
  local pid=${1:-} i
  [[ -n "$pid" ]] || return 0
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for ((i = 0; i < 20; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" 2>/dev/null || true; fi
  fi
  # Reaps it; its exit status (143 after TERM) or "not a child" is no failure of ours.
  wait "$pid" 2>/dev/null || true
  return 0
}

# Runs on EXIT: ends this run's processes, its wineserver and Xvfb, and removes the temp
# folder unless KEEP_TEMP=1. It never fails, so under `set -e` no step of it is skipped,
# and the script's own exit status is kept.
wine_teardown() {
  local status=$?
  set +e
  trap - EXIT
  local pid
  for pid in "${STARTED_PIDS[@]}"; do stop_pid "$pid"; done
  STARTED_PIDS=()
  if [[ -n "${WINEPREFIX:-}" && -d "$WINEPREFIX" && -n "${WINESERVER:-}" ]]; then
    # Fails when no wineserver runs for the prefix (set-up ended before Wine started).
    "$WINESERVER" -k >/dev/null 2>&1 || true
    timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
  fi
  if [[ -n "$XVFB_PID" ]]; then
    stop_pid "$XVFB_PID"
    XVFB_PID=""
  fi
  if [[ -n "$TEMP_ROOT" && -d "$TEMP_ROOT" ]]; then
    if [[ "${KEEP_TEMP:-0}" == 1 ]]; then
      log "kept $TEMP_ROOT"
    elif ! rm -rf "$TEMP_ROOT" 2>/dev/null; then
      # A Wine process that outlived wineserver -k may still be writing: once more.
      sleep 1
      rm -rf "$TEMP_ROOT" 2>/dev/null || log "could not remove $TEMP_ROOT"
    fi
  fi
  exit "$status"
}

# ---------------------------------------------------------------------------------------
# A tiny test runner. A case is a bash function that returns 0 (pass), 77 (skipped) or
# anything else (fail); it explains a failure with `fail WHY` and a skip with `skip WHY`.
# ---------------------------------------------------------------------------------------

PASSED=0
FAILED=0
SKIPPED=0
CURRENT_CASE=""

fail() {
  echo "FAIL: $CURRENT_CASE: $*"
  return 1
}

skip() {
  echo "SKIP: $CURRENT_CASE: $*"
  return 77
}

run_case() {
  CURRENT_CASE=$1
  local rc=0
  "$1" || rc=$?
  case $rc in
    0) PASSED=$((PASSED + 1)); echo "ok: $1" ;;
    77) SKIPPED=$((SKIPPED + 1)) ;;
    *) FAILED=$((FAILED + 1)) ;;
  esac
  CURRENT_CASE=""
}

# A case that cannot run because its set-up failed counts as failed.
fail_case() {
  CURRENT_CASE=$1
  shift
  fail "$@"
  FAILED=$((FAILED + 1))
  CURRENT_CASE=""
}

# wine_setup, or, when it fails, a failed case and the closing line: false then.
setup_or_report() {
  wine_setup && return 0
  fail_case setup "could not prepare Xvfb and the Wine prefix"
  report
  return 1
}

# Prints the closing line and returns the exit status for the script.
report() {
  if ((SKIPPED > 0)); then
    echo "$SKIPPED skipped (not counted)"
  fi
  echo "$PASSED passed, $FAILED failed"
  ((FAILED == 0))
}

# ---------------------------------------------------------------------------------------
# The HRD simulator and the sibling programs' stand-in
# ---------------------------------------------------------------------------------------

HRD_SIM_EXE=${HRD_SIM_EXE:-$REPO_ROOT/build/win32/hrd_sim.exe}
HRD_PID=""
HRD_LOG=""
HRD_CONTROL=""

# Starts the HRD simulator from the run folder with a fresh log and control file; extra
# arguments go to it (--set ITEM=VALUE …). Waits until it serves. Sets HRD_PID.
start_hrd() {
  cp -f "$HRD_SIM_EXE" "$RUN_DIR/hrd_sim.exe" || return 1
  HRD_LOG=$RUN_DIR/hrd-$((++HRD_RUNS)).log
  HRD_CONTROL=$RUN_DIR/hrd-control-$HRD_RUNS.txt
  : >"$HRD_CONTROL"
  (cd "$RUN_DIR" && exec "$WINE" "$RUN_DIR/hrd_sim.exe" --log "$(windows_path "$HRD_LOG")" \
    --control "$(windows_path "$HRD_CONTROL")" "$@") >"$HRD_LOG.out" 2>&1 &
  HRD_PID=$!
  STARTED_PIDS+=("$HRD_PID")
  wait_until hrd_ready && return 0
  log "the HRD simulator did not become ready$(pid_gone "$HRD_PID" && echo ' and ended'); its output and log:"
  head -c 2000 "$HRD_LOG.out" "$HRD_LOG" >&2 2>/dev/null
  return 1
}
HRD_RUNS=0

# A Unix path as Windows programs under Wine see it (drive Z: is the root).
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

hrd_ready() { grep -q READY "$HRD_LOG.out" 2>/dev/null; }

# hrd_control LINE: a command for the running simulator ("set HRD_HERTZ 7040000", "quit" …).
hrd_control() { printf '%s\n' "$1" >>"$HRD_CONTROL"; }

# hrd_apply LINE: hrd_control, then waits until the simulator has taken the line (it reads
# its control file every 50 ms), so what follows meets the new behaviour.
hrd_apply() {
  local since
  since=$(wc -l 2>/dev/null <"$HRD_LOG") || since=0
  hrd_control "$1"
  wait_until hrd_logged_since "$since" "CONTROL $1"
}

# hrd_logged_since N TEXT: a line after the first N lines of the simulator's log holds TEXT.
hrd_logged_since() { tail -n +$(($1 + 1)) "$HRD_LOG" 2>/dev/null | tr -d '\r' | grep -qF -- " $2"; }

# The commands the simulator received, one a line, without time stamps.
hrd_commands() { sed -n 's/^.* EXECUTE //p' "$HRD_LOG" 2>/dev/null | tr -d '\r'; }

# hrd_received TEXT: the simulator has logged that EXECUTE.
hrd_received() { hrd_commands | grep -qxF -- "$1"; }

# The UTC time stamp (seconds since the epoch, with milliseconds) of the first EXECUTE TEXT.
hrd_received_at() {
  local stamp
  stamp=$(tr -d '\r' <"$HRD_LOG" | awk -v want="$2" -v cmd="$1" '
    { line = $0; sub(/^[^ ]+ [^ ]+ EXECUTE /, "", line) }
    $3 == "EXECUTE" && line == cmd { print $2; exit }')
  [[ -n "$stamp" ]] && date -u -d "${stamp%Z}" +%s.%3N
}

# The commands the simulator received since the last `mark`.
MARK=0
mark() { MARK=$(hrd_commands | grep -c .); }
commands_since_mark() { hrd_commands | tail -n +$((MARK + 1)); }
commands_are() { [[ "$(commands_since_mark)" == "$1" ]]; }
hrd_received_since_mark() { commands_since_mark | grep -qxF -- "$1"; }

# expect_commands LINES: the simulator receives exactly these commands since the mark.
expect_commands() {
  wait_until commands_are "$1" ||
    { fail "HRD received:"$'\n'"$(commands_since_mark)"$'\n'"want:"$'\n'"$1"; return 1; }
}

# A client's EXECUTE on the bridge's topic DDEServer; prints ACK, NACK, TIMEOUT, ...
execute() { suite_client execute Corvane DDEServer "$@" 2>/dev/null; }

# expect_answer COMMAND ANSWER
expect_answer() {
  local answer
  answer=$(execute "$1")
  [[ "$answer" == "$2" ]] || { fail "\"$1\" was answered \"$answer\", want $2"; return 1; }
}

# The value of an item of the bridge's topic DDEServer, as a client reads it.
item() { suite_client request Corvane DDEServer "$1" 2>/dev/null; }
item_is() { [[ "$(item "$1")" == "$2" ]]; }

# Whether "HRD not running" is shown right now: 1 or 0.
no_hrd_shown() { label_shown "HRD not running"; }

# label_shown TEXT: 1 or 0 for the visibility of the bridge's label showing TEXT; nothing
# when there is no such label.
label_shown() {
  suite_client windows "$BRIDGE_CAPTION" 2>/dev/null |
    awk -F'|' -v text="$1" '$1 == "Static" && $4 == text {print $2; exit}'
}

LISTEN_PID=""
LISTEN_LOG=""

# start_hung_window SECONDS: a program whose window (a text box inside) reads no message for
# SECONDS is on the desktop; its PID goes into HUNG_PID. False when it did not come up.
HUNG_PID=""
start_hung_window() {
  local out=$RUN_DIR/hung.txt
  "$WINE" "$RUN_DIR/suite_client.exe" hang "$1" >"$out" 2>&1 &
  HUNG_PID=$!
  STARTED_PIDS+=("$HUNG_PID")
  wait_until grep -q READY "$out"
}

# start_listener SECONDS NAME…: the suite-client tool stands in for sibling programs.
# It gets twice the usual time to say READY: in one full test run the first listener of a
# fresh prefix did not within 20 s (never seen in runs of the script alone). On failure it
# says what the listener printed and whether it still runs.
start_listener() {
  local seconds=$1
  shift
  LISTEN_LOG=$RUN_DIR/listen-$((++LISTEN_RUNS)).log
  "$WINE" "$RUN_DIR/suite_client.exe" listen "$seconds" "$@" >"$LISTEN_LOG" 2>&1 &
  LISTEN_PID=$!
  STARTED_PIDS+=("$LISTEN_PID")
  WAIT_TIMEOUT=$((2 * WAIT_TIMEOUT)) wait_until grep -q READY "$LISTEN_LOG" && return 0
  log "the listener ($(pid_gone "$LISTEN_PID" && echo ended || echo still running)) printed:" \
    "$(tr -d '\r' <"$LISTEN_LOG")"
  return 1
}
LISTEN_RUNS=0

# The listener's events without their time stamps: "NAME EVENT [ARGUMENT]".
listener_events() { tr -d '\r' <"$LISTEN_LOG" | awk '$1 ~ /^[0-9.]+$/ && NF >= 3 { $1 = ""; sub(/^ /, ""); print }'; }
