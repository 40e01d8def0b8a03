#!/usr/bin/env bash
# End-to-end checks of the Windows release that ./scripts/package leaves in build/package/:
# the zip holds exactly the release files; the installer asks for no administrator rights,
# installs silently into the user's own folder with a Start-menu shortcut and an entry among
# the user's installed programs; the bridge started from that shortcut runs from the
# installed folder and answers the suite; the silent uninstall takes it all away and the
# user's settings stay; an install or uninstall closes a bridge that still runs first.
#
#   tests/wine/installer_e2e.sh
#
# Runs ./scripts/package first when the package is missing or older than what it is made of.
# Prints one "N passed, M failed" line at the end and exits non-zero when anything failed.

set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

PACKAGE_DIR=$REPO_ROOT/build/package
ZIP=$PACKAGE_DIR/Tavix_HRD_Bridge-$PROGRAM_VERSION.zip
SETUP=$PACKAGE_DIR/Tavix_HRD_Bridge-$PROGRAM_VERSION-setup.exe
SHIPPED_EXES=(Tavix_HRD_Bridge.exe hrd_sim.exe suite_client.exe)
RELEASE_FILES=("${SHIPPED_EXES[@]}" manual.md README.md LICENSE window.png window-hrd-not-running.png)
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavix_HRD_Bridge'
MACHINE_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavix_HRD_Bridge'
SETTINGS_KEY='HKCU\Software\VB and VBA Program Settings\Tavix_HRD_Bridge'
# Installing and uninstalling take a few seconds; under load, more.
INSTALL_TIMEOUT=120

# What the package is made of: when any is newer than the installer, it is made again.
PACKAGE_INPUTS=(docs/manual.md README.md LICENSE docs/window.png docs/window-hrd-not-running.png packaging/Tavix_HRD_Bridge.nsi scripts/package)
for exe in "${SHIPPED_EXES[@]}"; do PACKAGE_INPUTS+=("build/win32/$exe"); done

package_is_current() {
  local input
  [[ -f "$ZIP" && -f "$SETUP" ]] || return 1
  for input in "${PACKAGE_INPUTS[@]}"; do
    [[ -f "$REPO_ROOT/$input" && "$SETUP" -nt "$REPO_ROOT/$input" && "$ZIP" -nt "$REPO_ROOT/$input" ]] || return 1
  done
}

# reg_value KEY NAME: the stored value as reg shows it (a DWORD as 0x1), or nothing.
reg_value() {
  "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" 'tolower($1) == tolower(name) && $2 ~ /^REG_/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

reg_key_exists() { "$WINE" reg query "$1" >/dev/null 2>&1; }
reg_key_gone() { ! reg_key_exists "$1"; }

# user_folder NAME: the folder %NAME% of the Wine user (LOCALAPPDATA, APPDATA), as Windows
# names it.
user_folder() {
  local folder
  folder=$("$WINE" cmd /c "echo %$1%" 2>/dev/null | tr -d '\r') || return 1
  [[ -n "$folder" && "$folder" != "%$1%" ]] || return 1
  echo "$folder"
}
# The Unix path of a Windows path in the prefix.
unix_path() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# Windows compares paths without regard to case.
same_text() { [[ "${1,,}" == "${2,,}" ]]; }

# runs_as_invoker EXE: the exe's manifest has Windows start it with the rights of the user
# who starts it (asInvoker), asking for no administrator.
runs_as_invoker() {
  local manifest
  manifest=$(suite_client manifest "$(windows_path "$1")" 2>&1) ||
    { fail "no manifest in $(basename "$1"): $manifest"; return 1; }
  grep -q 'requestedExecutionLevel[^>]*level="asInvoker"' <<<"$manifest" ||
    { fail "$(basename "$1") asks for more than the user's rights:" \
      "$(grep -o '<requestedExecutionLevel[^>]*>' <<<"$manifest" || echo "no requestedExecutionLevel")"; return 1; }
}

# installed_files: the names in the install folder, sorted, one a line.
installed_files() { (cd "$INSTALL_DIR" 2>/dev/null && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort); }
expected_installed_files() { printf '%s\n' "${RELEASE_FILES[@]}" uninstall.exe | LC_ALL=C sort; }

install_silently() {
  local status=0
  timeout "$INSTALL_TIMEOUT" "$WINE" "$SETUP" /S >"$TEMP_ROOT/setup.out" 2>&1 || status=$?
  ((status == 0)) || { fail "the silent install ended with exit code $status"; return 1; }
}

# The PIDs of this run's processes (those of its Wine prefix) whose command line holds TEXT.
prefix_pids_with() {
  local proc
  for proc in /proc/[0-9]*; do
    { tr '\0' '\n' <"$proc/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    { tr '\0' ' ' <"$proc/cmdline"; } 2>/dev/null | grep -qF -- "$1" && echo "${proc#/proc/}"
  done
  return 0
}

# The uninstaller copies itself to %TEMP% and returns at once; the copy, started with
# "_?=<install folder>", does the work and removes the entry among the installed programs
# last. The uninstall has ended when no copy runs and the entry is gone, or when no copy has
# run for a while (it stopped early).
uninstall_ended() {
  if [[ -n "$(prefix_pids_with '_?=')" ]]; then
    UNINSTALL_IDLE=0
    return 1
  fi
  reg_key_gone "$UNINSTALL_KEY" && return 0
  ((++UNINSTALL_IDLE >= 10))
}

uninstall_silently() {
  local command exe status=0
  command=$(reg_value "$UNINSTALL_KEY" QuietUninstallString)
  [[ "$command" =~ ^\"([^\"]+)\"\ /S$ ]] ||
    { fail "QuietUninstallString is \"$command\", want \"…\\uninstall.exe\" /S"; return 1; }
  exe=${BASH_REMATCH[1]}
  timeout "$INSTALL_TIMEOUT" "$WINE" "$exe" /S >"$TEMP_ROOT/uninstall.out" 2>&1 || status=$?
  ((status == 0)) || { fail "$command ended with exit code $status"; return 1; }
  # shellcheck disable=SC2034 # read by wait_until
  local WAIT_TIMEOUT=$INSTALL_TIMEOUT UNINSTALL_IDLE=0
  wait_until uninstall_ended || { fail "the uninstaller still runs after ${INSTALL_TIMEOUT}s"; return 1; }
}

# Nothing of the installation is left: files, folder, shortcut, entry; the settings stay.
nothing_left_but_the_settings() {
  [[ ! -e "$INSTALL_DIR" ]] ||
    { fail "the install folder is still there, holding:"$'\n'"$(installed_files)"; return 1; }
  [[ ! -e "$SHORTCUT" ]] || { fail "the Start-menu shortcut is still there"; return 1; }
  reg_key_gone "$UNINSTALL_KEY" || { fail "$UNINSTALL_KEY is still there"; return 1; }
  [[ "$(reg_value "$SETTINGS_KEY\\General" Version)" == "$(version_setting)" ]] ||
    { fail "the user's settings went: General\\Version is \"$(reg_value "$SETTINGS_KEY\\General" Version)\""; return 1; }
}

# Starts the bridge through its Start-menu shortcut, as a user does; `start /wait` ends when
# the bridge does. Sets SHORTCUT_START_PID.
start_from_shortcut() {
  "$WINE" start /wait /unix "$SHORTCUT" >"$TEMP_ROOT/start.out" 2>&1 &
  SHORTCUT_START_PID=$!
  STARTED_PIDS+=("$SHORTCUT_START_PID")
  wait_until bridge_window_exists ||
    { fail "the bridge's window did not appear after starting the shortcut"; return 1; }
  wait_until answers_test ||
    { fail "the bridge started from the shortcut answers \"004test\" with \"$(execute 004test)\", want ACK"; return 1; }
}
answers_test() { [[ "$(execute 004test)" == ACK ]]; }

case_zip_holds_the_release_files() {
  local listed file
  listed=$(unzip -Z1 "$ZIP" 2>&1 | LC_ALL=C sort)
  [[ "$listed" == "$(printf '%s\n' "${RELEASE_FILES[@]}" | LC_ALL=C sort)" ]] ||
    { fail "$(basename "$ZIP") holds:"$'\n'"$listed"$'\n'"want: ${RELEASE_FILES[*]}"; return 1; }
  for file in "${SHIPPED_EXES[@]}"; do
    unzip -p "$ZIP" "$file" | cmp -s - "$REPO_ROOT/build/win32/$file" ||
      { fail "$file in the zip is not build/win32/$file"; return 1; }
  done
  unzip -p "$ZIP" manual.md | tr -d '\r' | cmp -s - "$REPO_ROOT/docs/manual.md" ||
    { fail "manual.md in the zip is not docs/manual.md"; return 1; }
  unzip -p "$ZIP" LICENSE | tr -d '\r' | cmp -s - "$REPO_ROOT/LICENSE" ||
    { fail "LICENSE in the zip is not the project's LICENSE"; return 1; }
}

# The README and the manual show the window: what they link to must be in the release,
# beside them, or a user reading them from the zip sees broken pictures.
case_the_shipped_texts_link_only_to_shipped_files() {
  local doc target listed
  listed=$(unzip -Z1 "$ZIP" 2>&1)
  for doc in README.md manual.md; do
    while read -r target; do
      [[ "$target" =~ ^[a-z]+: ]] && continue # a web address
      grep -qxF "$target" <<<"$listed" || { fail "$doc links to $target, which the zip does not hold"; return 1; }
    done < <(unzip -p "$ZIP" "$doc" | grep -oE '\]\([^)#]+' | cut -c3-)
  done
  unzip -p "$ZIP" window.png | cmp -s - "$REPO_ROOT/docs/window.png" ||
    { fail "window.png in the zip is not docs/window.png"; return 1; }
}

case_installer_needs_no_administrator() {
  runs_as_invoker "$SETUP"
}

case_silent_install_for_the_user() {
  install_silently || return 1
  [[ "$(installed_files)" == "$(expected_installed_files)" ]] ||
    { fail "$INSTALL_WIN holds:"$'\n'"$(installed_files)"$'\n'"want:"$'\n'"$(expected_installed_files)"; return 1; }
  local exe
  for exe in "${SHIPPED_EXES[@]}"; do
    cmp -s "$INSTALL_DIR/$exe" "$REPO_ROOT/build/win32/$exe" ||
      { fail "the installed $exe is not build/win32/$exe"; return 1; }
  done
  [[ -f "$SHORTCUT" ]] || { fail "no Start-menu shortcut at $SHORTCUT_WIN"; return 1; }
  runs_as_invoker "$INSTALL_DIR/uninstall.exe" || return 1

  local name want got
  local -A values=(
    [DisplayName]="Tavix HRD Bridge"
    [DisplayVersion]="$PROGRAM_VERSION"
    [Publisher]="the Tavix HRD Bridge authors"
    [InstallLocation]="$INSTALL_WIN"
    [UninstallString]="\"$INSTALL_WIN\\uninstall.exe\""
    [QuietUninstallString]="\"$INSTALL_WIN\\uninstall.exe\" /S"
    [NoModify]=0x1
    [NoRepair]=0x1
  )
  for name in "${!values[@]}"; do
    want=${values[$name]}
    got=$(reg_value "$UNINSTALL_KEY" "$name")
    [[ "$got" == "$want" ]] || { fail "$UNINSTALL_KEY\\$name is \"$got\", want \"$want\""; return 1; }
  done
  ! reg_key_exists "$MACHINE_UNINSTALL_KEY" ||
    { fail "the install wrote $MACHINE_UNINSTALL_KEY, for every user"; return 1; }
}

case_installed_bridge_answers_the_suite() {
  [[ -f "$INSTALL_DIR/Tavix_HRD_Bridge.exe" ]] || { fail "not installed"; return 1; }
  start_from_shortcut || return 1
  local image
  image=$(suite_client modules "$BRIDGE_CAPTION" 2>&1 | head -n 1 | tr -d '\r')
  same_text "$image" "$INSTALL_WIN\\Tavix_HRD_Bridge.exe" ||
    { fail "the bridge runs from \"$image\", want $INSTALL_WIN\\Tavix_HRD_Bridge.exe"; return 1; }
  [[ "$(reg_value "$SETTINGS_KEY\\General" Version)" == "$(version_setting)" ]] ||
    { fail "the installed bridge did not keep its version in $SETTINGS_KEY\\General"; return 1; }
  suite_client close "$BRIDGE_CAPTION" >/dev/null || { fail "could not close the bridge"; return 1; }
  wait_until pid_gone "$SHORTCUT_START_PID" || { fail "the bridge did not end after its window was closed"; return 1; }
  forget_pid "$SHORTCUT_START_PID"
}

case_silent_uninstall_keeps_only_the_settings() {
  [[ -f "$INSTALL_DIR/uninstall.exe" ]] || { fail "not installed"; return 1; }
  # The bridge writes its error log beside itself; the uninstall takes it too.
  printf 'a line of the bridge\r\n' >"$INSTALL_DIR/ErrorLog.txt"
  uninstall_silently || return 1
  nothing_left_but_the_settings
}

# still_running PID: the bridge started from the shortcut as PID still runs.
still_running() { ! pid_gone "$1" || bridge_window_exists; }

case_install_over_a_running_bridge_closes_it() {
  install_silently || return 1
  start_from_shortcut || return 1
  install_silently || return 1
  if still_running "$SHORTCUT_START_PID"; then
    fail "the bridge still runs after an install over it"
    return 1
  fi
  forget_pid "$SHORTCUT_START_PID"
  [[ "$(installed_files)" == "$(expected_installed_files)" ]] ||
    { fail "$INSTALL_WIN holds:"$'\n'"$(installed_files)"; return 1; }
}

case_uninstall_closes_a_running_bridge() {
  [[ -f "$INSTALL_DIR/uninstall.exe" ]] || install_silently || return 1
  start_from_shortcut || return 1
  uninstall_silently || return 1
  if still_running "$SHORTCUT_START_PID"; then
    fail "the bridge still runs after the uninstall"
    return 1
  fi
  forget_pid "$SHORTCUT_START_PID"
  nothing_left_but_the_settings
}

setup_or_report || exit 1
# Wine would put every shortcut made in the prefix into this machine's own desktop menus.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

if ! package_is_current; then
  log "making the package (./scripts/package)"
  if ! "$REPO_ROOT/scripts/package" >"$TEMP_ROOT/package.log" 2>&1; then
    cat "$TEMP_ROOT/package.log" >&2
    fail_case package "./scripts/package failed"
    report
    exit 1
  fi
fi

# Where a per-user install goes, as Windows names it (…_WIN) and as a Unix path.
if ! LOCAL_APPDATA_WIN=$(user_folder LOCALAPPDATA) || ! APPDATA_WIN=$(user_folder APPDATA); then
  fail_case setup "Wine does not name the user's folders"
  report
  exit 1
fi
INSTALL_WIN="$LOCAL_APPDATA_WIN\\Programs\\Tavix_HRD_Bridge"
INSTALL_DIR=$(unix_path "$INSTALL_WIN")
SHORTCUT_WIN="$APPDATA_WIN\\Microsoft\\Windows\\Start Menu\\Programs\\Tavix HRD Bridge.lnk"
SHORTCUT=$(unix_path "$SHORTCUT_WIN")

run_case case_zip_holds_the_release_files
run_case case_the_shipped_texts_link_only_to_shipped_files
run_case case_installer_needs_no_administrator
run_case case_silent_install_for_the_user
run_case case_installed_bridge_answers_the_suite
run_case case_silent_uninstall_keeps_only_the_settings
run_case case_install_over_a_running_bridge_closes_it
run_case case_uninstall_closes_a_running_bridge

report
