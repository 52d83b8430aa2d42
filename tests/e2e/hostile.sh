#!/usr/bin/env bash
# Hostile conditions: bad registry values, awkward files, many or stubborn
# windows and processes, racing copies and a missing Windows Installer. Every
# case checks the program's promise: a true message, nothing deleted but the
# plug-in library (and the uninstalled packages' own files), nothing ended but
# Messenger, and an end within the bound.
# shellcheck disable=SC2016,SC1003
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
SLEEPER=$SANDBOX_SLEEPER

BOUND=30  # seconds from the click to the program's end, in every case
SUCCESS='box title=Complete:|text=Plugin has been successfully uninstalled.|icon=1'
ABSENT="box title=Error:|text=MSN Scribbit for Messenger Plus! doesn't exist on this computer.|icon=1"
NOT_REMOVED='^box title=Error:\|text=MSN Scribbit for Messenger Plus! could not be removed: .+\|icon=1$'
REPORT='^box title=MSN Scribbit Removal\|text=.+\|icon=1$'
LIBRARY_PATH="${SANDBOX_PROGRAM_FILES//[()]/\\&}/Messenger Plus! 2/Plugins/MsnScribbit.dll"  # a regex

boxes() { tr -d '\r' <"$SANDBOX_WATCHER_LOG"; }
matches() { grep -qE -- "$2" <<<"$1"; }
count() { sandbox_pids "$1" | wc -l; }

# Puts the installation back as seeded, with display names that start no
# uninstall (cases that test the packages set their own).
reset_install() {
  sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$SANDBOX_PLUGIN_DIR_WIN"
  sandbox_reg_add "$SANDBOX_MESSENGER_KEY" InstallationDirectory REG_SZ "$SANDBOX_MESSENGER_DIR_WIN"
  sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INK_CODE" DisplayName REG_SZ 'not this one'
  sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INFOPEN_CODE" DisplayName REG_SZ 'not this one'
  chmod -R u+w "$SANDBOX_PLUGIN_DIR" 2>/dev/null
  rm -rf "$SANDBOX_DLL"
  sandbox_put_library
}

# run_case NAME BOXES: clicks "Remove" in a fresh copy of the program and
# waits for its end; the watcher answers BOXES message boxes. Checks the bound.
run_case() {
  echo "# case: $1"
  sandbox_listing >"$SANDBOX_RUN/before.txt"
  sandbox_start_watcher "$2" 45000
  if ! program_start; then
    not_ok "$1: the main window appears"
    # A copy that shows up late must not take the next case's click.
    kill "$PROGRAM_PID" 2>/dev/null; program_wait_end 10
    return 1
  fi
  program_press_remove
  check "$1: ends within ${BOUND}s" program_wait_end "$BOUND"
  if kill -0 "$PROGRAM_PID" 2>/dev/null; then
    # Which it was, a click not taken or a box not answered, and then the copy
    # goes: left, it would take the next case's click or box.
    echo "    windows shown: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | paste -sd '|')"
    sandbox_pids scribbitremoval.exe | xargs -r kill 2>/dev/null
    program_wait_end 10
  fi
  sandbox_wait_watcher
  sandbox_wait_for '! sandbox_process_running msiexec.exe' 60
  sandbox_listing >"$SANDBOX_RUN/after.txt"
}
# Paths gone from drive C other than the ones given (a regex).
deleted_beyond() { comm -23 "$SANDBOX_RUN/before.txt" "$SANDBOX_RUN/after.txt" | grep -vxE "$1" || true; }
nothing_else_deleted() { check_eq "$1: nothing else deleted" "$(deleted_beyond "${2:-$LIBRARY_PATH}")" ""; }

sandbox_init "$WORK/hostile" && sandbox_seed && program_install || exit 1

# ------------------------------------------------------------ registry values
reset_install
sandbox_reg_delete "$SANDBOX_PLUGIN_KEY" PluginDir
run_case "PluginDir missing" 1
check_eq "PluginDir missing: absence reported" "$(boxes)" "$ABSENT"
check "PluginDir missing: library untouched" test -e "$SANDBOX_DLL"
nothing_else_deleted "PluginDir missing" '$^'

reset_install
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ ''
run_case "PluginDir empty" 1
check_eq "PluginDir empty: absence reported" "$(boxes)" "$ABSENT"
nothing_else_deleted "PluginDir empty" '$^'

for type in REG_DWORD REG_BINARY REG_MULTI_SZ; do
  reset_install
  case $type in
    REG_DWORD) data=42 ;;
    REG_BINARY) data=433a5c50 ;;
    REG_MULTI_SZ) data='C:\Program Files\Messenger Plus! 2\Plugins\0C:\x' ;;
  esac
  sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir "$type" "$data"
  run_case "PluginDir as $type" 1
  check_eq "PluginDir as $type: absence reported" "$(boxes)" "$ABSENT"
  check "PluginDir as $type: library untouched" test -e "$SANDBOX_DLL"
done

reset_install
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_EXPAND_SZ "${SANDBOX_PLUGIN_DIR_WIN/#C:/%SystemDrive%}"
run_case "PluginDir with a %variable%" 1
check_eq "PluginDir with a %variable%: expanded and removed" "$(boxes)" "$SUCCESS"
check "PluginDir with a %variable%: library gone" test ! -e "$SANDBOX_DLL"
nothing_else_deleted "PluginDir with a %variable%"

reset_install
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$SANDBOX_PLUGIN_DIR_WIN\\"
run_case "PluginDir with a trailing backslash" 1
check_eq "PluginDir with a trailing backslash: removed" "$(boxes)" "$SUCCESS"
nothing_else_deleted "PluginDir with a trailing backslash"

reset_install
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$SANDBOX_PLUGIN_DIR_WIN   "
run_case "PluginDir with trailing blanks" 1
check "PluginDir with trailing blanks: a true message" \
  matches "$(boxes)" "^($(sed 's/[|.!]/\\&/g' <<<"$ABSENT")|$(sed 's/[|.!]/\\&/g' <<<"$SUCCESS"))\$"
if [[ -e $SANDBOX_DLL ]]; then
  check_eq "... and the library is there as reported" "$(boxes)" "$ABSENT"
else
  check_eq "... and the library is gone as reported" "$(boxes)" "$SUCCESS"
fi
nothing_else_deleted "PluginDir with trailing blanks"

reset_install
long='C:\'$(printf 'd%.0s' {1..300})
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$long"
run_case "PluginDir of 302 characters" 1
check "PluginDir of 302 characters: absent or not removable, with a reason" \
  matches "$(boxes)" "^($(sed 's/[|.!]/\\&/g' <<<"$ABSENT")|${NOT_REMOVED:1:-1})\$"
nothing_else_deleted "PluginDir of 302 characters" '$^'

reset_install
odd_win='C:\Program Files\Plug-ins äöü é 日本'
odd=$SANDBOX_DRIVE_C/'Program Files/Plug-ins äöü é 日本'
mkdir -p "$odd" && cp "$SANDBOX_DLL" "$odd/MsnScribbit.dll"
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$odd_win"
run_case "PluginDir with spaces and non-ASCII characters" 1
check_eq "non-ASCII PluginDir: removed" "$(boxes)" "$SUCCESS"
check "non-ASCII PluginDir: that library is gone" test ! -e "$odd/MsnScribbit.dll"
check "non-ASCII PluginDir: the other one is left" test -e "$SANDBOX_DLL"
nothing_else_deleted "non-ASCII PluginDir" "Program Files/Plug-ins äöü é 日本/MsnScribbit.dll"

# ------------------------------------------------------------ the library itself
reset_install
rm -f "$SANDBOX_DLL" && mkdir -p "$SANDBOX_DLL/inside" && echo x >"$SANDBOX_DLL/inside/file"
run_case "library is a directory" 1
check "library is a directory: not removed, with a reason" matches "$(boxes)" "$NOT_REMOVED"
check "library is a directory: it and its content are left" test -e "$SANDBOX_DLL/inside/file"
nothing_else_deleted "library is a directory" '$^'
rm -rf "$SANDBOX_DLL"

# Read-only (copied from a CD, say): deleted as "del /f" deletes it.
reset_install
sandbox_wine attrib +r "$SANDBOX_DLL_WIN" >/dev/null
run_case "library is read-only" 1
check_eq "library is read-only: removed" "$(boxes)|$(test -e "$SANDBOX_DLL" && echo left)" "$SUCCESS|"
sandbox_put_library && sandbox_wine attrib +r "$SANDBOX_DLL_WIN" >/dev/null
program_run /quiet
check_eq "library is read-only, /quiet: exit code 0, removed" "$PROGRAM_CODE$(test -e "$SANDBOX_DLL" && echo ' left')" 0

# ------------------------------------------------------------ Messenger's folder
reset_install
sandbox_reg_delete "$SANDBOX_MESSENGER_KEY" InstallationDirectory
# A search by bare name would find this one first, beside the program.
cp "$SANDBOX_FIXTURES_32/planted.exe" "$PROGRAM_DIR/msnmsgr.exe"
run_case "MessengerDir missing" 1
check_eq "MessengerDir missing: success, and no failure report" "$(boxes)" "$SUCCESS"
check_eq "MessengerDir missing: no Messenger runs" "$(count msnmsgr.exe)" 0
check "MessengerDir missing: the msnmsgr.exe beside the program never ran" \
  test ! -e "$SANDBOX_DRIVE_C/planted.log"
rm -f "$PROGRAM_DIR/msnmsgr.exe"

reset_install
odd_messenger_win='C:\Programme\MSN Messenger äöü\'
odd_messenger="$SANDBOX_DRIVE_C/Programme/MSN Messenger äöü"
mkdir -p "$odd_messenger" && cp "$SANDBOX_MESSENGER_EXE" "$odd_messenger/msnmsgr.exe"
sandbox_reg_add "$SANDBOX_MESSENGER_KEY" InstallationDirectory REG_SZ "$odd_messenger_win"
run_case "MessengerDir with non-ASCII characters" 1
check_eq "non-ASCII MessengerDir: removed" "$(boxes)" "$SUCCESS"
check "non-ASCII MessengerDir: Messenger started from there" \
  sandbox_wait_for '[[ -s "$odd_messenger/messenger.log" ]]' 10

# ------------------------------------------------------------ windows and processes
reset_install
sandbox_start_messenger --windows 50
run_case "50 conversation windows" 1
check_eq "50 windows: removed" "$(boxes)" "$SUCCESS"
check_eq "50 windows: each asked to close" \
  "$(tr -d '\r' <"$SANDBOX_MESSENGER_LOG" | grep -c '^close [0-9]*$')" 50

reset_install
mkdir -p "$SANDBOX_DRIVE_C/Others"
cp "$SLEEPER" "$SANDBOX_DRIVE_C/Others/bystander.exe"
cp "$SLEEPER" "$SANDBOX_DRIVE_C/Others/oldmsnmsgr.exe"
cp "$SLEEPER" "$SANDBOX_DRIVE_C/Others/msnmsgr.exe.old"
sandbox_wine --timeout 120 "$SANDBOX_FIXTURES/fixture_probe.exe" spawn 300 'C:\Others\bystander.exe' >/dev/null
(cd "$SANDBOX_DRIVE_C/Others" && exec wine oldmsnmsgr.exe </dev/null >/dev/null 2>&1) &
(cd "$SANDBOX_DRIVE_C/Others" && exec wine msnmsgr.exe.old </dev/null >/dev/null 2>&1) &
sandbox_wait_for '[[ $(count bystander.exe) == 300 && $(count oldmsnmsgr.exe) == 1 && $(count msnmsgr.exe.old) == 1 ]]' 120
sandbox_start_messenger --windows 2
# Under load Wine now and then loses one of the 300 starts; what counts is
# that every bystander that ran before still runs after.
bystanders=$(count bystander.exe)
check "about 300 bystanders running before ($bystanders)" test "$bystanders" -ge 295
run_case "300 unrelated processes" 1
check_eq "300 processes: removed" "$(boxes)" "$SUCCESS"
check_eq "300 processes: every bystander still runs" "$(count bystander.exe)" "$bystanders"
check_eq "oldmsnmsgr.exe ends with the target name, so it was ended" "$(count oldmsnmsgr.exe)" 0
check_eq "msnmsgr.exe.old was left" "$(count msnmsgr.exe.old)" 1
for pid in $(sandbox_pids bystander.exe) $(sandbox_pids msnmsgr.exe.old); do kill "$pid" 2>/dev/null; done

reset_install
# A Messenger that comes straight back after being ended, holding the library.
sandbox_start_messenger --windows 1
(
  end=$((SECONDS + 40))
  while ((SECONDS < end)); do
    if [[ -z $(sandbox_pids msnmsgr.exe) ]]; then
      (cd "$SANDBOX_MESSENGER_DIR" && exec wine msnmsgr.exe --hold "$SANDBOX_DLL_WIN" </dev/null >/dev/null 2>&1) &
      sleep 1
    fi
    [[ -e $SANDBOX_RUN/stop-respawn ]] && break
    sleep 0.02
  done
) &
respawner=$!
run_case "Messenger coming straight back" 1
touch "$SANDBOX_RUN/stop-respawn"
wait "$respawner"
if [[ -e $SANDBOX_DLL ]]; then
  check_eq "Messenger came back first: removed when Windows restarts" "$(boxes)" \
    'box title=Complete:|text=MSN Scribbit for Messenger Plus! is in use and will be removed when Windows restarts.|icon=1'
else
  check_eq "Messenger came back too late: removed" "$(boxes)" "$SUCCESS"
fi
boxes | sed 's/^/    /'

# ------------------------------------------------------------ start-up races
reset_install
(cd "$PROGRAM_DIR" && exec wine ScribbitRemoval.exe </dev/null >/dev/null 2>&1) &
first=$!
(cd "$PROGRAM_DIR" && exec wine ScribbitRemoval.exe </dev/null >/dev/null 2>&1) &
second=$!
sandbox_wait_for 'xdotool search --onlyvisible --name "^MSN Scribbit Removal$" >/dev/null' 20
sandbox_wait_for '[[ $(count scribbitremoval.exe) == 1 ]]' 20
check_eq "two copies at once: one window" \
  "$(xdotool search --onlyvisible --name '^MSN Scribbit Removal$' | wc -l)" 1
check_eq "two copies at once: one copy left running" "$(count scribbitremoval.exe)" 1
rc1=0 rc2=0
if kill -0 $first 2>/dev/null; then wait $second || rc2=$?; ended=$rc2; else wait $first || rc1=$?; ended=$rc1; fi
check_eq "two copies at once: the other ended normally" "$ended" 0
wineserver -k; sandbox_wait_for '[[ $(count scribbitremoval.exe) == 0 ]]' 20

reset_install
sandbox_start_watcher 1 45000 ScribbitRemoval.exe --answer-after-ms 4000
program_start
program_press_remove
sandbox_wait_for 'xdotool search --onlyvisible --name "^Complete:$" >/dev/null' 20
(cd "$PROGRAM_DIR" && exec wine ScribbitRemoval.exe </dev/null >/dev/null 2>&1) &
late=$!
check "a copy started during a removal ends by itself" sandbox_wait_for '! kill -0 $late 2>/dev/null' 15
check "... without a window" not xdotool search --onlyvisible --name '^MSN Scribbit Removal$'
program_wait_end "$BOUND"
sandbox_wait_watcher
check_eq "the removal went on undisturbed" "$(boxes)" "$SUCCESS"

# ------------------------------------------------------------ Windows Installer missing
reset_install
sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INK_CODE" DisplayName REG_SZ 'Ink'
installer=$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_SYSTEM_DIR/msiexec.exe
mv "$installer" "$installer.away"
sandbox_start_messenger --windows 1
run_case "Windows Installer cannot start" 1
mv "$installer.away" "$installer"
# A limited token hands the uninstalls to the copy with rights: its own reason comes back, and
# Messenger, which that copy ended, is started again. A full token meets the failure itself.
if [[ $SANDBOX_TOKEN == limited ]]; then
  check_eq "no installer: the copy's own reason" "$(boxes)" \
    "box title=Error:|text=MSN Scribbit for Messenger Plus! could not be removed: File not found.|icon=1"
  again=1 rc=0
else
  check "no installer: the failure report only" matches "$(boxes)" "$REPORT"
  again=0 rc=1
fi
boxes | sed 's/^/    /'
check "no installer: library left" test -e "$SANDBOX_DLL"
check_eq "no installer: Messenger started again only after a report" "$(count msnmsgr.exe)" "$again"
check_eq "no installer: exit code" "$PROGRAM_RC" "$rc"
nothing_else_deleted "no installer" '$^'

# ------------------------------------------------------------ another installation in progress
# A stand-in holds Global\_MSIExecute (Wine's msiexec never looks at it): with a package to
# uninstall, neither the click nor /quiet changes anything.
reset_install
sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INK_CODE" DisplayName REG_SZ 'Ink'
sandbox_start_messenger --windows 1
messengers=$(sandbox_pids msnmsgr.exe)
: >"$SANDBOX_MESSENGER_LOG"
_sandbox_start_background installer-busy "$SANDBOX_RUN/busy.ready" "$SANDBOX_RUN" "$SANDBOX_FIXTURES/fake_msiexec.exe" \
  /hold "$(sandbox_winpath "$SANDBOX_RUN/busy.ready")"
holder=$_SANDBOX_BG_PID
run_case "installer busy" 1
program_run /quiet
sandbox_listing >"$SANDBOX_RUN/after.txt"
kill "$holder"
check_eq "installer busy: the message with Windows' own text (Wine's words), then /quiet: 1618" "$(boxes)|$PROGRAM_CODE" \
  "box title=Error:|text=MSN Scribbit for Messenger Plus! could not be removed: Installation already running.|icon=1|1618"
check_eq "installer busy: no window asked, Messenger not ended, Ink still installed" \
  "$(grep -c '^close' "$SANDBOX_MESSENGER_LOG")|$(sandbox_pids msnmsgr.exe)|$(sandbox_msi_installed "$SANDBOX_INK_CODE" && echo Ink)" \
  "0|$messengers|Ink"
nothing_else_deleted "installer busy" '$^'
kill $messengers && sandbox_wait_for '[[ $(count msnmsgr.exe) == 0 ]]' 10

# ------------------------------------------------------------ a token that is not elevated
# Wine's limited token (TokenLinkedToken, which TokenElevation calls not elevated), as User
# Account Control starts programs, with both packages installed: the one prompt comes at the
# click, and a copy started with "runas" and /removewithrights closes, ends, uninstalls and
# deletes; the first copy only reports and starts Messenger again.
reset_install
sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INK_CODE" DisplayName REG_SZ 'Ink'
sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INFOPEN_CODE" DisplayName REG_SZ 'InfoPen for Outlook '
sandbox_start_messenger --windows 1 --hold "$SANDBOX_DLL_WIN"
: >"$SANDBOX_MESSENGER_LOG"
sandbox_start_watcher 1 45000
limited=--limited && [[ $SANDBOX_TOKEN == limited ]] && limited=  # started so already
(cd "$PROGRAM_DIR" && exec wine "$SANDBOX_FIXTURES/fixture_probe.exe" run $limited "$PROGRAM_EXE_WIN" \
  /log "$(sandbox_winpath "$SANDBOX_RUN/limited.log")" </dev/null >/dev/null 2>&1) &
PROGRAM_PID=$!
program_find_window 'MSN Scribbit Removal' && program_press_remove && program_wait_end 60
sandbox_wait_watcher
sandbox_wait_for 'grep -q "^start" "$SANDBOX_MESSENGER_LOG"' 20  # Messenger, started again
# Windows 2000 and XP have no elevation: there the first copy does it all itself.
asked="asked conversation window N to close"
# The copy's own lines come into this log, sent back by the copy.
[[ $SANDBOX_TOKEN != none ]] && asked="asking for administrator rights for the removal
$asked
the copy with administrator rights ended with exit code 1544093696"
check_eq "limited token: one copy with rights, asked for before anything closed, did the removal" \
  "$(undated "$SANDBOX_RUN/limited.log" | grep -E '^(asking|the copy|asked)' | sed -E 's/window [0-9]+/window N/')
$(tr -d '\r' <"$SANDBOX_MESSENGER_LOG" | grep -E '^(close|start)' | sed 's/ pid=.*//')
$(boxes)|$(test -e "$SANDBOX_DLL" && echo kept)" "${asked}
close 1
start
${SUCCESS}|"
check_eq "limited token: both packages uninstalled" \
  "$(sandbox_msi_installed "$SANDBOX_INK_CODE" && echo Ink)$(sandbox_msi_installed "$SANDBOX_INFOPEN_CODE" && echo InfoPen)" ""

# The copy with rights fails, or is ended from outside with exit code 0 (as a watchdog might): the
# person is told why (in Wine's words for error 2: "File not found."), never of a success, and the
# log holds the copy's own lines.
copy_fails() {
  reset_install
  sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INK_CODE" DisplayName REG_SZ 'Ink'
  # Windows that never answer keep the copy busy for seconds: time to end it meanwhile.
  sandbox_start_messenger --windows 3 --hang
  sandbox_start_watcher 1 45000
  (cd "$PROGRAM_DIR" && WINEDEBUG=+eventlog exec wine "$SANDBOX_FIXTURES/fixture_probe.exe" run $limited \
    "$PROGRAM_EXE_WIN" /log "$(sandbox_winpath "$SANDBOX_RUN/$1.log")" </dev/null >"$SANDBOX_RUN/$1.out" 2>&1) &
  PROGRAM_PID=$!
  local ender=
  if [[ $1 == ended ]]; then
    wine "$SANDBOX_FIXTURES/fixture_probe.exe" end-copies ScribbitRemoval.exe 0 </dev/null >/dev/null 2>&1 &
    ender=$!
  fi
  program_find_window 'MSN Scribbit Removal' && program_press_remove
  program_wait_end 60
  [[ -z $ender ]] || wait "$ender"
  sandbox_wait_watcher
  undated "$SANDBOX_RUN/$1.log" | grep -E '^(the copy|failed)' | sed 's/: .*//' | tr '\n' '|'
  boxes | sed 's/^box title=Error:|text=MSN Scribbit for Messenger Plus! could not be removed: //'
  # The event's text (Wine traces an error event as err:) says what became of the library.
  grep -a ':eventlog:ReportEventW' "$SANDBOX_RUN/$1.out" | grep -o 'dll: [a-z ]*' | head -n1
}
if [[ $WINEARCH == win64 ]]; then
  check_eq "the copy ended from outside with 0: not removed, with its code" "$(copy_fails ended)" \
    "the copy with administrator rights ended with exit code 0|the copy with administrator rights ended \
unexpectedly, with exit code 0.|icon=1
dll: not deleted"
  installer=$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_SYSTEM_DIR/msiexec.exe
  mv "$installer" "$installer.away"
  check_eq "the copy fails to start Windows Installer: its reason, its line in the log" "$(copy_fails failed)" \
    "failed|the copy with administrator rights ended with exit code $((0x5C800002))|File not found.|icon=1
dll: not deleted"
  mv "$installer.away" "$installer"
fi

finish hostile
