#!/usr/bin/env bash
# Where the Enter keystroke goes: Windows Installer is replaced by a stand-in
# that either asks "Are you sure...?" (Yes is its default button) and then
# works a few seconds, or shows nothing, while an editor-like window that logs
# its keys is open. The Enter must confirm the prompt, and must never reach the
# editor. Like Windows Installer, the stand-in refuses to run beside another
# copy of itself (1618): the uninstalls must run one after the other, in the
# system folder, and the library must go only after both.
# shellcheck disable=SC2016,SC1003
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

sandbox_init "$WORK/installer" && sandbox_seed && program_install || exit 1
# 64-bit Windows has a Windows Installer of each width: both are replaced
# (removed first: the sandbox's system files are shared with its cache).
rm -f "$SANDBOX_DRIVE_C"/windows/{system32,syswow64}/msiexec.exe
cp "$SANDBOX_FIXTURES/fake_msiexec.exe" "$SANDBOX_DRIVE_C/windows/system32/msiexec.exe"
if [[ -d $SANDBOX_DRIVE_C/windows/syswow64 ]]; then
  cp "$SANDBOX_FIXTURES_32/fake_msiexec.exe" "$SANDBOX_DRIVE_C/windows/syswow64/msiexec.exe"
fi
# Wine would run its own built-in msiexec whatever the file holds.
sandbox_reg_add 'HKCU\Software\Wine\DllOverrides' msiexec.exe REG_SZ native
INSTALLER_LOG=$SANDBOX_DRIVE_C/fake_msiexec.log
KEYS=$SANDBOX_RUN/keys.log
INK='args=MsiExec.exe /X{9FCB2876-554D-491D-A2CD-58F8252D6C64}'
INFOPEN='args=MsiExec.exe /X{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}'
# Its folder as the program names it: a 32-bit program on 64-bit Windows
# names System32 too, which leads it to SysWOW64.
CWD='cwd=C:\windows\system32'
# The stand-in reports whether the library is still there when it is done.
export FAKE_MSIEXEC_WATCH=$SANDBOX_DLL_WIN

start_editor() {
  : >"$KEYS"
  rm -f "$SANDBOX_RUN/editor.ready"
  (cd "$SANDBOX_RUN" && exec wine "$SANDBOX_FIXTURES/fixture_probe.exe" keylog \
    "$(sandbox_winpath "$KEYS")" "$(sandbox_winpath "$SANDBOX_RUN/editor.ready")" </dev/null >/dev/null 2>&1) &
  sandbox_wait_for '[[ -e $SANDBOX_RUN/editor.ready ]]' 30
}

# remove [settingchange]: a removal by a click; BOXES: the boxes to answer
# (default 1), REMOVE_LOG: a log to ask for.
remove() {
  rm -f "$INSTALLER_LOG"
  sandbox_put_library
  sandbox_start_watcher "${BOXES:-1}" 60000
  program_start ${REMOVE_LOG:+/log "$REMOVE_LOG"} || return 1
  : >"$KEYS"  # what the editor sees from the click on
  program_press_remove
  # Another program tells all windows of a setting change while the removal waits for the installer.
  if [[ ${1:-} == settingchange ]] && sandbox_wait_for '[[ -s $INSTALLER_LOG ]]' 20; then
    SETTING_MS=$(cd "$SANDBOX_RUN" && wine "$SANDBOX_FIXTURES/fixture_probe.exe" settingchange </dev/null 2>/dev/null |
      tr -d '\r' | sed -n 's/^ms=//p')
  fi
  check "the program ends within 30 s" program_wait_end 30
  sandbox_wait_watcher
  sandbox_wait_for '! sandbox_process_running msiexec.exe' 30
}
installer_log() { [[ -f $INSTALLER_LOG ]] && tr -d '\r' <"$INSTALLER_LOG" | tr '\n' '|'; }
enter_in_editor() { grep -qx 'key 13' <(tr -d '\r' <"$KEYS"); }

echo "# the installer asks"
touch "$SANDBOX_DRIVE_C/fake_msiexec.prompt"
start_editor
REMOVE_LOG='C:\asked.log' remove settingchange
check "a setting change sent to all windows meanwhile returns within a second (took ${SETTING_MS:-?} ms)" \
  test "${SETTING_MS:-99999}" -lt 1000
check_eq "each prompt confirmed by the one Enter, one uninstall after the other, Ink first" "$(installer_log)" \
  "$INK|$CWD|answer=yes|done library=there|$INFOPEN|$CWD|answer=yes|done library=there|"
check "no Enter reached the editor" not enter_in_editor
check "library removed" test ! -e "$SANDBOX_DLL"
check_eq "the log says each prompt was confirmed" "$(grep -c 'confirmed its prompt with Enter' "$SANDBOX_DRIVE_C/asked.log")" 2

echo "# the installer shows nothing, and each uninstall ends with 1602"
rm -f "$SANDBOX_DRIVE_C/fake_msiexec.prompt"
FAKE_MSIEXEC_CODE=1602 BOXES=3 REMOVE_LOG='C:\installer.log' remove
check_eq "both uninstalls started, nothing to confirm" "$(installer_log)" \
  "$INK|$CWD|answer=none|$INFOPEN|$CWD|answer=none|"
check "the editor had the focus meanwhile" grep -qx focus <(tr -d '\r' <"$KEYS")
check "no Enter reached the editor" not enter_in_editor
check_eq "the library's message, then each package that stayed, with Windows' words for 1602" \
  "$(tr -d '\r' <"$SANDBOX_WATCHER_LOG" | sed 's/: [^|]*|icon/: W|icon/')" "box title=Complete:|text=Plugin has been successfully uninstalled.|icon=1
box title=Error:|text=\"Ink\" was not removed: W|icon=1
box title=Error:|text=\"InfoPen for Outlook\" was not removed: W|icon=1"
check_eq "the log says each prompt was not found" "$(grep -c 'no prompt of its own took the focus' \
  "$SANDBOX_DRIVE_C/installer.log")" 2

# Unattended: the stand-in answers with a code of its own; the log cannot be
# written, and the removal goes on all the same.
echo "# /quiet, the installer answers 3010, the log's folder does not exist, Messenger cannot start"
rm -f "$INSTALLER_LOG"
sandbox_put_library
sandbox_reg_add "$SANDBOX_MESSENGER_KEY" InstallationDirectory REG_SZ "${SANDBOX_MESSENGER_DIR_WIN%\\}"
FAKE_MSIEXEC_CODE=3010 program_run /quiet /log 'C:\no such folder\run.log'
check_eq "restart needed: exit code 3010, and no failure report on screen" "$PROGRAM_CODE|$PROGRAM_WINDOWS_SEEN" "3010|0"
check_eq "each uninstall silent, with no restart of its own" "$(installer_log)" \
  "$INK /qn /norestart|$CWD|answer=none|$INFOPEN /qn /norestart|$CWD|answer=none|"
check "library removed" test ! -e "$SANDBOX_DLL"

echo "# /quiet, the installer answers 1618, the log file is read-only"
sandbox_put_library
READONLY=$SANDBOX_DRIVE_C/readonly.log
printf 'kept\r\n' >"$READONLY"
sandbox_wine attrib +r 'C:\readonly.log'
# Run as root, Wine would write to it all the same: the immutable flag stops that.
[[ $(id -u) == 0 ]] && chattr +i "$READONLY"
FAKE_MSIEXEC_CODE=1618 program_run /quiet /log 'C:\readonly.log'
[[ $(id -u) == 0 ]] && chattr -i "$READONLY"
check_eq "another installation in progress: exit code 1618" "$PROGRAM_CODE" 1618
check "library removed" test ! -e "$SANDBOX_DLL"
check_eq "the read-only log untouched" "$(tr -d '\r' <"$READONLY")" kept

echo "# /quiet, Windows Installer cannot be started"
sandbox_put_library
rm -f "$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_SYSTEM_DIR/msiexec.exe"
printf 'not a program\r\n' >"$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_SYSTEM_DIR/msiexec.exe"
program_run /quiet
check_eq "exit code 1603, and no failure report on screen" "$PROGRAM_CODE|$PROGRAM_WINDOWS_SEEN" "1603|0"
check "library left" test -f "$SANDBOX_DLL"

finish installer
