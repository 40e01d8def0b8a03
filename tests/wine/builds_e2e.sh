#!/usr/bin/env bash
# End-to-end checks under Wine of the two builds: the 32-bit one that ships (build/win32,
# the harness's default) and the 64-bit one beside it (build/win64). Both exes carry the
# application manifest; the running 32-bit bridge gets what the manifest asks for (the
# version 6 common controls, its real Windows version); and 32-bit and 64-bit programs talk
# DDE to each other both ways, as users mix them: a 64-bit suite program on the 32-bit
# bridge, and the 32-bit bridge on a 64-bit HRD.
#
# Wine 8 does not show another process's DPI awareness (it answers "unaware" for any other
# process) and gives every process the real screen DPI, aware or not: the manifest's
# dpiAware is checked in the exe, not in the running bridge.
#
#   tests/wine/builds_e2e.sh
#   BRIDGE64_EXE=... SUITE_CLIENT64_EXE=... HRD_SIM64_EXE=... tests/wine/builds_e2e.sh
#
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

BRIDGE64_EXE=${BRIDGE64_EXE:-$REPO_ROOT/build/win64/Tavix_HRD_Bridge.exe}
SUITE_CLIENT64_EXE=${SUITE_CLIENT64_EXE:-$REPO_ROOT/build/win64/suite_client.exe}
HRD_SIM64_EXE=${HRD_SIM64_EXE:-$REPO_ROOT/build/win64/hrd_sim.exe}

suite_client64() { "$WINE" "$RUN_DIR/suite_client64.exe" "$@"; }

# The manifest's entries that Windows acts on, each as an element and the attributes it must
# have (in any order), with the namespace it must be read in.
MANIFEST_ELEMENTS=(
  'assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"'
  'trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"'
  'requestedExecutionLevel level="asInvoker" uiAccess="false"'
  'compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"'
  'supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"'
  'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"'
  'supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"'
  'supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"'
  'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'
  'assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df"'
  'application xmlns="urn:schemas-microsoft-com:asm.v3"'
  'dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings"'
)

# has_element TEXT "NAME ATTRIBUTE=VALUE...": TEXT (on one line) has a NAME start tag that
# carries every one of the attributes.
has_element() {
  local text=$1 name rest tag attribute attributes=()
  read -r name rest <<<"$2"
  read -r -a attributes <<<"$rest"
  while IFS= read -r tag; do
    for attribute in "${attributes[@]}"; do
      [[ "$tag" == *" $attribute"[\ /\>]* ]] || continue 2
    done
    return 0
  done < <(grep -oE "<$name( [^>]*)?>" <<<"$text")
  return 1
}

case_shipped_build_is_32bit_the_other_64bit() {
  local exe machine
  for exe in "$BRIDGE_EXE" "$SUITE_CLIENT_EXE" "$HRD_SIM_EXE"; do
    machine=$(pe_machine "$exe")
    [[ "$machine" == i386 ]] || { fail "$exe is $machine, not i386"; return 1; }
  done
  for exe in "$BRIDGE64_EXE" "$SUITE_CLIENT64_EXE" "$HRD_SIM64_EXE"; do
    machine=$(pe_machine "$exe")
    [[ "$machine" == x86-64 ]] || { fail "$exe is $machine, not x86-64"; return 1; }
  done
}

# Read as Windows reads it when it starts the program: resource 1 of type RT_MANIFEST.
case_both_bridges_carry_the_manifest() {
  local manifest32 manifest64 text element
  manifest32=$(suite_client manifest "$(windows_path "$BRIDGE_EXE")") ||
    { fail "no manifest in $BRIDGE_EXE"; return 1; }
  manifest64=$(suite_client manifest "$(windows_path "$BRIDGE64_EXE")") ||
    { fail "no manifest in $BRIDGE64_EXE"; return 1; }
  [[ "$manifest64" == "$manifest32" ]] || { fail "the two builds carry different manifests"; return 1; }
  [[ "$manifest32" == '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'* ]] ||
    { fail "the manifest does not begin with its XML declaration: ${manifest32:0:80}"; return 1; }
  text=$(tr -s ' \t\r\n' ' ' <<<"$manifest32")
  for element in "${MANIFEST_ELEMENTS[@]}"; do
    has_element "$text" "$element" || { fail "the manifest lacks <$element>:"$'\n'"$manifest32"; return 1; }
  done
  [[ "$text" =~ \<dpiAware\ [^\>]*\>\ ?true\ ?\</dpiAware\> ]] ||
    { fail "dpiAware is not true:"$'\n'"$manifest32"; return 1; }
}

# Without the manifest's dependency Windows gives the program the system's comctl32 of
# version 5; with it, version 6 from the side-by-side store. A 32-bit client lists the
# 32-bit bridge's modules (Wine lets only one of the same bitness do so).
case_bridge_gets_the_version_6_common_controls() {
  local modules comctl
  modules=$(suite_client modules "$BRIDGE_CAPTION" | tr -d '\r') || { fail "cannot list the bridge's modules"; return 1; }
  comctl=$(grep -i '\\comctl32\.dll$' <<<"$modules")
  [[ -n "$comctl" ]] || { fail "the bridge has no comctl32.dll loaded:"$'\n'"$modules"; return 1; }
  local v6='\\winsxs\\[^\\]*microsoft\.windows\.common-controls_6595b64144ccf1df_6\.[^\\]*\\comctl32\.dll$'
  grep -qiE "$v6" <<<"$comctl" || { fail "the bridge's comctl32 is $comctl"; return 1; }
}

case_64bit_client_requests_and_executes_on_the_32bit_bridge() {
  local value answer
  value=$(suite_client64 request Corvane DDEServer RcvFreq 2>&1)
  [[ "$value" == 14,070.00 ]] || { fail "a 64-bit client read RcvFreq \"$value\""; return 1; }
  answer=$(suite_client64 execute Corvane DDEServer 004test 2>&1)
  [[ "$answer" == ACK ]] || { fail "a 64-bit client's 004test was answered \"$answer\""; return 1; }
  answer=$(suite_client64 --raw execute Corvane DDEServer 004test 2>&1)
  [[ "$answer" == ACK ]] || { fail "a 64-bit raw-DDE client's 004test was answered \"$answer\""; return 1; }
  mark
  answer=$(suite_client64 execute Corvane DDEServer 003qsy7040.5 2>&1)
  [[ "$answer" == ACK ]] || { fail "a 64-bit client's qsy was answered \"$answer\""; return 1; }
  expect_commands "frqa 7040500" || return 1
  wait_until eval '[[ "$(suite_client64 request Corvane DDEServer RcvFreq 2>/dev/null)" == 7,040.50 ]]' ||
    { fail "a 64-bit client reads RcvFreq \"$(suite_client64 request Corvane DDEServer RcvFreq 2>&1)\""; return 1; }
}

case_32bit_bridge_links_to_a_64bit_hrd() {
  hrd_control quit
  wait_until pid_gone "$HRD_PID" || { fail "the 32-bit simulator did not quit"; return 1; }
  HRD_SIM_EXE=$HRD_SIM64_EXE start_hrd --set HRD_HERTZ=3573000 --set HRD_MODE=USB ||
    { fail "the 64-bit simulator did not start"; return 1; }
  wait_until item_is RcvFreq 3,573.00 || { fail "RcvFreq is \"$(item RcvFreq)\" with a 64-bit HRD"; return 1; }
  mark
  expect_answer 003qsy7074 ACK || return 1
  expect_commands "frqa 7074000" || return 1
}

# The manifest names Windows 10, so Wine, set to Windows 10 here, tells the bridge 10.0
# (without it, 6.2); a 32-bit bridge still reports the system's own word length.
case_bridge_is_told_its_windows_version() {
  [[ "$(execute abctest)" == NACK ]] || { fail "abctest was not refused"; return 1; }
  local line
  line=$(tr -d '\r' <"$RUN_DIR/ErrorLog.txt" 2>/dev/null | grep -m1 'Operating System  : ')
  [[ "$line" =~ Operating\ System\ \ :\ Windows\ 10\ \(64-bit\)\ build\ [1-9][0-9]*$ ]] ||
    { fail "the log reports \"${line#*: }\", want Windows 10 (64-bit) and its build"; return 1; }
}

main() {
  run_case case_shipped_build_is_32bit_the_other_64bit
  setup_or_report || return
  # Read by each Wine process as it starts: the version Wine reports to a program that
  # declares Windows 10.
  "$WINE" reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1 ||
    { fail_case setup "could not set the Windows version"; report; return; }
  cp "$SUITE_CLIENT64_EXE" "$RUN_DIR/suite_client64.exe" || { fail_case setup "no 64-bit suite client"; report; return; }
  run_case case_both_bridges_carry_the_manifest
  if start_hrd --set HRD_HERTZ=14070000 --set HRD_MODE=USB && start_bridge &&
    wait_until item_is RcvFreq 14,070.00; then
    run_case case_bridge_gets_the_version_6_common_controls
    run_case case_64bit_client_requests_and_executes_on_the_32bit_bridge
    run_case case_32bit_bridge_links_to_a_64bit_hrd
    run_case case_bridge_is_told_its_windows_version
  else
    fail_case start "the 32-bit bridge did not link to the 32-bit simulator: RcvFreq is \"$(item RcvFreq)\""
  fi
  report
}

main
