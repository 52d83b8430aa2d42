#!/usr/bin/env bash
# The removal, end to end: the real program in a sandbox holding a complete
# installation (registry values, plug-in library, both packages installed by
# Windows Installer, a stand-in Messenger with conversation windows, a
# broadcast listener), started, "Remove" clicked with the mouse, and every
# effect checked from outside: message boxes, files, registry, processes,
# window messages. One scenario per outcome.
# shellcheck disable=SC2016,SC1003
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The run must end within this many seconds of the click.
BOUND=30
SUCCESS='box title=Complete:|text=Plugin has been successfully uninstalled.|icon=1'
ABSENT="box title=Error:|text=MSN Scribbit for Messenger Plus! doesn't exist on this computer.|icon=1"

# scenario NAME: a fresh, fully seeded sandbox with the program installed.
scenario() {
  echo "# scenario: $1"
  sandbox_init "$WORK/$1" && sandbox_seed && program_install
}

# remove BOXES: records the state, starts the program, clicks "Remove" and
# waits for the program to end, the watcher answering BOXES message boxes.
remove() {
  sandbox_listing >"$SANDBOX_RUN/before.txt"
  MESSENGER_LINES=$( [[ -f $SANDBOX_MESSENGER_LOG ]] && wc -l <"$SANDBOX_MESSENGER_LOG" || echo 0)
  sandbox_start_watcher "$1" 60000
  check "the main window appears" program_start
  program_press_remove
  check "the program ends within ${BOUND}s of the click" program_wait_end "$BOUND"
  echo "    (ended ${PROGRAM_SECONDS:-?}s after the click)"
  sandbox_wait_watcher
  # The uninstalls run on their own; let them finish before looking.
  sandbox_wait_for '! sandbox_process_running msiexec.exe' 60
  sandbox_listing >"$SANDBOX_RUN/after.txt"
}

process_gone() { ! kill -0 "$1" 2>/dev/null; }
boxes() { tr -d '\r' <"$SANDBOX_WATCHER_LOG"; }
# Messenger log lines written since the click.
messenger_since() { tail -n +$((MESSENGER_LINES + 1)) "$SANDBOX_MESSENGER_LOG" | tr -d '\r'; }
restarts() { messenger_since | grep -c '^start ' ; }
restarted_minimised() { [[ $(messenger_since | grep '^start ' | grep -c ' show=2 ') == 1 ]]; }

# Paths that disappeared from drive C, beyond the ones given (regexes).
deleted_beyond() {
  comm -23 "$SANDBOX_RUN/before.txt" "$SANDBOX_RUN/after.txt" | grep -vE "^($1)\$" || true
}
appeared() {
  comm -13 "$SANDBOX_RUN/before.txt" "$SANDBOX_RUN/after.txt" || true
}
# Regular expressions of paths under the 32-bit program files folder.
PF=${SANDBOX_PROGRAM_FILES//[()]/\\&}
PACKAGE_FILES="$PF/Ink/|$PF/Ink/ink.txt|$PF/InfoPen/|$PF/InfoPen/infopen.txt"
LIBRARY="$PF/Messenger Plus! 2/Plugins/MsnScribbit.dll"

# ---------------------------------------------------------------------------
scenario full-removal || exit 1
# Messenger has the plug-in loaded: the library is free only once it has exited.
sandbox_start_messenger --windows 3 --hold "$SANDBOX_DLL_WIN"
sandbox_start_listener
first_messenger=$(sandbox_pids msnmsgr.exe)
program_run /preview /quiet /log "$(sandbox_winpath "$SANDBOX_RUN/preview.log")"
check "/preview: loaded by Messenger only, so deleted once it has ended" log_has "$SANDBOX_RUN/preview.log" \
  "Library $SANDBOX_DLL_WIN: there, loaded by Messenger only, to be deleted once Messenger has ended"
remove 1
check_eq "success message, information icon" "$(boxes)" "$SUCCESS"
check_eq "exit code" "$PROGRAM_RC" 0
check "library deleted" test ! -e "$SANDBOX_DLL"
check "Ink uninstalled" not sandbox_msi_installed "$SANDBOX_INK_CODE"
check "InfoPen uninstalled" not sandbox_msi_installed "$SANDBOX_INFOPEN_CODE"
# Lookup order is the windows' stacking order: the newest is on top.
check_eq "each conversation asked to close once, in lookup order" \
  "$(messenger_since | grep '^close' | tr '\n' '|')" "close 3|close 2|close 1|"
check "the first Messenger was terminated" process_gone "$first_messenger"
check_eq "Messenger started again once" "$(restarts)" 1
check "... minimised" restarted_minimised
check_eq "... in its own folder" "$(messenger_since | grep '^start ' | sed 's/.* cwd=\(.*\) cmdline=.*/\1/')" \
  "${SANDBOX_MESSENGER_DIR_WIN%\\}"
check "Messenger runs again" sandbox_process_running msnmsgr.exe
check_eq "plug-in change broadcast received" "$(tr -d '\r' <"$SANDBOX_LISTENER_LOG")" \
  "broadcast wParam=0 lParam=0"
check "the listener was not ended" sandbox_process_running listener.exe
check_eq "nothing deleted but the library and the packages' files" \
  "$(deleted_beyond "$LIBRARY|$PACKAGE_FILES")" ""
check_eq "nothing created on drive C" "$(appeared)" ""

# ---------------------------------------------------------------------------
# Wine's stock window handling, where every hidden or closed window waits up to
# 2 s for a window manager that Xvfb does not have: still within the bound.
scenario stock-window-handling || exit 1
sandbox_reg_delete 'HKCU\Software\Wine\X11 Driver' Managed
wineserver -k; wineserver -w
sandbox_start_messenger --windows 3
remove 1
check_eq "success message" "$(boxes)" "$SUCCESS"
check "library deleted" test ! -e "$SANDBOX_DLL"
check "both packages uninstalled" not sandbox_msi_installed "$SANDBOX_INFOPEN_CODE"
check_eq "Messenger started again once" "$(restarts)" 1

# ---------------------------------------------------------------------------
scenario library-absent || exit 1
rm -f "$SANDBOX_DLL"
sandbox_start_messenger --windows 1
remove 1
check_eq "absence message" "$(boxes)" "$ABSENT"
check_eq "Messenger started again once" "$(restarts)" 1
check "Ink uninstalled all the same" not sandbox_msi_installed "$SANDBOX_INK_CODE"
check_eq "nothing deleted but the packages' files" "$(deleted_beyond "$PACKAGE_FILES")" ""

# ---------------------------------------------------------------------------
scenario library-in-use || exit 1
# Another program (not Messenger) has the library loaded, as a plug-in host does.
mkdir -p "$SANDBOX_DRIVE_C/Tools" && cp "$SANDBOX_MESSENGER_EXE" "$SANDBOX_DRIVE_C/Tools/holder.exe"
(cd "$SANDBOX_DRIVE_C/Tools" && exec wine holder.exe --hold "$SANDBOX_DLL_WIN" \
  --ready 'C:\Tools\holder.ready' </dev/null >/dev/null 2>&1) &
sandbox_wait_for '[[ -e $SANDBOX_DRIVE_C/Tools/holder.ready ]]' 30
sandbox_start_messenger --windows 1
remove 1
check_eq "in-use message, information icon" "$(boxes)" \
  'box title=Complete:|text=MSN Scribbit for Messenger Plus! is in use and will be removed when Windows restarts.|icon=1'
check "library still there until the restart" test -f "$SANDBOX_DLL"
check "the holder was not ended" sandbox_process_running holder.exe
check_eq "Messenger started again once" "$(restarts)" 1
pending() { sandbox_reg_query 'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations; }
check_eq "pending: the library's deletion and nothing else" "$(pending)" "\\??\\$SANDBOX_DLL_WIN\\0"
check_eq "nothing deleted but the packages' files" "$(deleted_beyond "$PACKAGE_FILES")" ""
program_run /preview /quiet /log "$(sandbox_winpath "$SANDBOX_RUN/preview.log")"
check "/preview says the library is in use, its deletion scheduled already" log_has "$SANDBOX_RUN/preview.log" \
  "Library $SANDBOX_DLL_WIN: there, in use, already scheduled to be deleted when Windows restarts"
# Twice with /quiet, as a deployment retrying after 3010 does: scheduled once.
sandbox_reg_delete 'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations
program_run /quiet /log "$(sandbox_winpath "$SANDBOX_RUN/quiet.log")" && codes=$PROGRAM_CODE
program_run /quiet /log "$(sandbox_winpath "$SANDBOX_RUN/again.log")"
check_eq "/quiet twice while in use: 3010 both times, pending names it once" "$codes $PROGRAM_CODE|$(pending)" \
  "3010 3010|\\??\\$SANDBOX_DLL_WIN\\0"
check "... the first log names the path scheduled" log_has "$SANDBOX_RUN/quiet.log" \
  "scheduled $SANDBOX_DLL_WIN to be deleted when Windows restarts"
check "... the second says it was already scheduled" log_has "$SANDBOX_RUN/again.log" \
  "already scheduled $SANDBOX_DLL_WIN to be deleted when Windows restarts"
# The copy that the program starts with administrator rights, run directly.
echo x >"$SANDBOX_DRIVE_C/Tools/other.dll"
program_run /deletelibrary 'C:\Tools\other.dll'
codes="$PROGRAM_CODE, $PROGRAM_WINDOWS_SEEN windows, $(test -f "$SANDBOX_DRIVE_C/Tools/other.dll" && echo kept)"
program_run /deletelibrary
# The copy's own codes carry its mark, 0x5C000000 (1543503872).
check_eq "/deletelibrary with a path: 1639, no window, the file kept; held open: 3010, marked" "$codes $PROGRAM_CODE" \
  "1639, 0 windows, kept $((0x5C000000 + 3010))"

# A restart of the prefix carries out the pending operations.
sandbox_listing >"$SANDBOX_RUN/before.txt"
timeout 30 wineserver -k; timeout 30 wineserver -w
check "Windows restarts" timeout 120 wineboot -r
timeout 60 wineserver -w
sandbox_listing >"$SANDBOX_RUN/after.txt"
check_eq "after it, the library is gone, every other file is there, nothing is pending" \
  "$(test -e "$SANDBOX_DLL" && echo left)|$(deleted_beyond "$LIBRARY")|$(appeared)|$(pending)" "|||"
sandbox_put_library
sandbox_listing >"$SANDBOX_RUN/before.txt"
program_run /deletelibrary && codes=$PROGRAM_CODE && program_run /deletelibrary
sandbox_listing >"$SANDBOX_RUN/after.txt"
check_eq "/deletelibrary: 0, then 1605, marked" "$codes $PROGRAM_CODE" "$((0x5C000000)) $((0x5C000000 + 1605))"
check_eq "... deleted only the registered library" "$(deleted_beyond "$LIBRARY")|$(appeared)" "|"
# A folder on the library's path redirected elsewhere (a link, which Wine resolves as Windows does
# a junction): nothing deleted, 1603, and the log says why.
sandbox_put_library
mv "$SANDBOX_PLUGIN_DIR" "$SANDBOX_DRIVE_C/Elsewhere" && ln -s "$SANDBOX_DRIVE_C/Elsewhere" "$SANDBOX_PLUGIN_DIR"
program_run /quiet /log "$(sandbox_winpath "$SANDBOX_RUN/redirected.log")"
check_eq "a redirected folder: exit code 1603, the library kept" "$PROGRAM_CODE $(test -f "$SANDBOX_DRIVE_C/Elsewhere/MsnScribbit.dll" && echo kept)" "1603 kept"
check "... the log says why" log_has "$SANDBOX_RUN/redirected.log" \
  "did not delete $SANDBOX_DLL_WIN: a folder on its path is redirected, to \\\\?\\C:\\Elsewhere\\MsnScribbit.dll"
program_run /quiet /log "$SANDBOX_PLUGIN_DIR_WIN\\run.log"
check_eq "... a log through it: not written, the run the same" "$PROGRAM_CODE $(ls "$SANDBOX_DRIVE_C/Elsewhere")" \
  "1603 MsnScribbit.dll"
rm "$SANDBOX_PLUGIN_DIR" && mv "$SANDBOX_DRIVE_C/Elsewhere" "$SANDBOX_PLUGIN_DIR"

# ---------------------------------------------------------------------------
scenario near-miss-names || exit 1
sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INK_CODE" DisplayName REG_SZ 'Ink '
sandbox_reg_add "$SANDBOX_UNINSTALL_KEY\\$SANDBOX_INFOPEN_CODE" DisplayName REG_SZ 'InfoPen for Outlook'
# No uninstall runs, so the deletion follows the termination at once: the
# Messenger holding the library must have exited by then.
sandbox_start_messenger --windows 1 --hold "$SANDBOX_DLL_WIN"
remove 1
check_eq "success message" "$(boxes)" "$SUCCESS"
check "Ink left installed" sandbox_msi_installed "$SANDBOX_INK_CODE"
check "InfoPen left installed" sandbox_msi_installed "$SANDBOX_INFOPEN_CODE"
check_eq "nothing deleted but the library" "$(deleted_beyond "$LIBRARY")" ""

# ---------------------------------------------------------------------------
scenario messenger-not-startable || exit 1
# Without its trailing backslash the directory gives "...MSN Messengermsnmsgr.exe".
sandbox_reg_add "$SANDBOX_MESSENGER_KEY" InstallationDirectory REG_SZ "${SANDBOX_MESSENGER_DIR_WIN%\\}"
sandbox_start_messenger --windows 1
remove 2
check_eq "success, then the failure report with its reason" \
  "$(boxes | sed 's/|text=[^|]*|icon=1$/|icon=1/' | sed -n 2p)" "box title=MSN Scribbit Removal|icon=1"
check_eq "first box is the success message" "$(boxes | head -n1)" "$SUCCESS"
check_eq "exactly two boxes" "$(boxes | wc -l)" 2
boxes | sed 's/^/    /'
# With a full token (Wine 8's, where Windows has elevation) the removal's outcome stands: 0.
check_eq "exit code: the removal's with raised rights, else a failure's" "$PROGRAM_RC" \
  "$([[ $SANDBOX_TOKEN == full ]] && echo 0 || echo 1)"
check_eq "Messenger not started" "$(restarts)" 0
check "library deleted" test ! -e "$SANDBOX_DLL"

# ---------------------------------------------------------------------------
scenario stubborn-windows || exit 1
sandbox_start_messenger --windows 3 --ignore-close 2 --hang
remove 1
check_eq "success message" "$(boxes)" "$SUCCESS"
check_eq "each window asked once" "$(messenger_since | grep '^close' | sort | tr '\n' '|')" \
  "close 1|close 2 ignored|close 3|"
check "library deleted" test ! -e "$SANDBOX_DLL"
check_eq "Messenger started again once" "$(restarts)" 1

# ---------------------------------------------------------------------------
scenario planted-programs || exit 1
planted=$SANDBOX_FIXTURES_32/planted.exe
cp "$planted" "$SANDBOX_DRIVE_C/Program.exe"
cp "$planted" "$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_FILES/MSN.exe"
cp "$planted" "$PROGRAM_DIR/MsiExec.exe"
sandbox_start_messenger --windows 1
remove 1
check_eq "success message" "$(boxes)" "$SUCCESS"
check "no planted program ran" test ! -e "$SANDBOX_DRIVE_C/planted.log"
check "Ink uninstalled by the real Windows Installer" not sandbox_msi_installed "$SANDBOX_INK_CODE"
check_eq "the real Messenger started again" "$(restarts)" 1

# ---------------------------------------------------------------------------
# Runs with switches, as deployment tools start the program; program_run reads
# the whole exit code and looks out for the program's windows meanwhile.
scenario unattended || exit 1
mkdir -p "$SANDBOX_DRIVE_C/logs"
LOG=$SANDBOX_DRIVE_C/logs/run.log
LOG_WIN='C:\logs\run.log'
# The log of the last run, undated, its window handles, process ids and time taken as N.
last_run() {
  undated "$LOG" | awk '/^---- /{run=""} {run=run $0 "\n"} END{printf "%s", run}' |
    sed -E 's/(window|id) [0-9]+/\1 N/; s/^(---- .*) on .*, (arguments: )/\1, \2/; s/[0-9]+\.[0-9] s$/N s/'
}
BUILD=x86 && [[ $SANDBOX_WORLD == x64* ]] && BUILD=x64
EVENT="reported Application event"

sandbox_start_watcher 2 60000
program_run -?
check_eq "/?: exit code 0" "$PROGRAM_CODE" 0
program_run /remove
check_eq "an unknown switch: exit code 1639" "$PROGRAM_CODE" 1639
sandbox_wait_watcher
check_eq "the usage, in one box each" "$(boxes | sed 's/\\n.*|icon=/|icon=/' | uniq -c | sed 's/^ *//')" \
  "2 box title=MSN Scribbit Removal|text=ScribbitRemoval.exe [/quiet] [/log <file>] [/preview] [/?]|icon=1"

sandbox_start_messenger --windows 2
sandbox_listing >"$SANDBOX_RUN/before.txt"
sandbox_start_watcher 1 60000
program_run /Preview -LOG "$LOG_WIN"
sandbox_wait_watcher
check_eq "/preview: exit code 0" "$PROGRAM_CODE" 0
PREVIEW="Conversation windows to close: 2|Processes to end: msnmsgr.exe (id N)|\
Uninstall to start: MsiExec.exe /X$SANDBOX_INK_CODE|Uninstall to start: MsiExec.exe /X$SANDBOX_INFOPEN_CODE|\
Library $SANDBOX_DLL_WIN: there, to be deleted|Messenger to start again: ${SANDBOX_MESSENGER_EXE_WIN}|"
check_eq "... reports in one box what a removal would do" \
  "$(boxes | sed -E 's/\|icon=1$//; s/id [0-9]+/id N/; s/\\n/\n/g' | grep -E '^(Conv|Proc|Unin|Libr|Mess)' | tr '\n' '|')" "$PREVIEW"
# Runs that end at once, changing nothing (checked below): /log with no file; without /quiet where
# no user sits; with the Script Host disabled.
program_run /log /quiet && codes="$PROGRAM_CODE $PROGRAM_WINDOWS_SEEN"
PROGRAM_DESKTOP='Service-0x0-3e7$\Default' program_run && codes+=" $PROGRAM_CODE"
PROGRAM_DESKTOP='Service-0x0-3e7$\Default' program_run /log "$LOG_WIN" && codes+=" $PROGRAM_CODE $(last_run | sed -n 2p)"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wshom.ocx=d" program_run /quiet /log "$LOG_WIN"
check_eq "/log /quiet: 1639, no window; no user's desktop without /quiet, or no Script Host: 1603, the log says why" \
  "$codes|$PROGRAM_CODE $(last_run | sed -n 2p)" "1639 0 1603 1603 no user's desktop here to show a window on: run \
the program with /quiet|1603 failed: could not read ${SANDBOX_PROGRAM_SOFTWARE_KEY}Vantrel\\MsgPlus2\\PluginDir: Access denied."
sandbox_listing >"$SANDBOX_RUN/after.txt"
check_eq "/preview and those runs change nothing but the log" "$(deleted_beyond '')|$(appeared)" "|logs/run.log"
check "... Messenger still runs, no conversation asked to close" eval 'sandbox_process_running msnmsgr.exe && ! grep -q ^close "$SANDBOX_MESSENGER_LOG"'
check "... the packages stay installed" sandbox_msi_installed "$SANDBOX_INFOPEN_CODE"

check "another copy: its window" program_start
program_run /quiet /log "$LOG_WIN"
check_eq "/quiet beside another copy: exit code 1618" "$PROGRAM_CODE" 1618
# Proves that program_run sees a window when there is one.
check "... (its window seen meanwhile)" test "$PROGRAM_WINDOWS_SEEN" -gt 0
check_eq "... and the log says why" "$(last_run | tail -n 3)" "another copy of the program is running
$EVENT 5 of MSN Scribbit Removal
result: exit code 1618, no restart needed, N s"
program_click 254 8 && program_wait_end 30  # the other copy's close glyph

sandbox_start_watcher 1 300000
WINEDEBUG=+eventlog program_run /QUIET -log "$LOG_WIN"
# Wine prints each event's text, its start at least, as a trace; backslashes doubled.
# Wine 10 traces the text a line at a time: the traced pieces are joined first.
trace=$(grep -a 'trace:eventlog:ReportEventW L"' "$SANDBOX_RUN/program_run.out" | sed 's/^.*ReportEventW L"//; s/"$//' | tr -d '\n')
events=$(grep -o 'MSN Scribbit Removal 1[.]' <<<"$trace" | wc -l)
traced="exit code 0: removed.\\r\\nLibrary $(sed 's/\\/\\\\/g' <<<"$SANDBOX_DLL_WIN"): deleted."
check_eq "... one Application event, naming the exit code and the library" \
  "$events|$(grep -cF "$traced" <<<"$trace")" "1|1"
check_eq "... its source registered, with a message file that Windows keeps" "$(sandbox_reg_query \
  'HKLM\System\CurrentControlSet\Services\EventLog\Application\MSN Scribbit Removal' EventMessageFile)" \
  '%SystemRoot%\System32\EventCreate.exe'
COMPUTER=$(sandbox_reg_query 'HKLM\System\CurrentControlSet\Control\ComputerName\ComputerName' ComputerName)
check "... the log: every line dated, the computer named in the header, after a byte-order mark" eval \
  '[[ $(head -c 3 "$LOG" | od -An -tx1) == " ef bb bf" ]] && ! tr -d "\r" <"$LOG" | sed "1s/^\xEF\xBB\xBF//" |
  grep -qvE "^$LOG_DATE" && tr -d "\r" <"$LOG" | grep -E "^$LOG_DATE---- " | tail -n 1 | grep -qF " on $COMPUTER, account "'
# With a full token (/quiet asks for none) Messenger gets the token of the
# desktop's shell instead.
RIGHTS=
[[ $SANDBOX_TOKEN == full ]] && RIGHTS=", with the rights of the desktop's user"
check_eq "/quiet: exit code 0" "$PROGRAM_CODE" 0
check_eq "... no window appeared" "$PROGRAM_WINDOWS_SEEN" 0
check "... library deleted" test ! -e "$SANDBOX_DLL"
check "... Ink uninstalled" not sandbox_msi_installed "$SANDBOX_INK_CODE"
check "... InfoPen uninstalled" not sandbox_msi_installed "$SANDBOX_INFOPEN_CODE"
check_eq "... the log" "$(last_run)" "---- MSN Scribbit Removal 1.01.0005 ($BUILD), arguments: /QUIET -log $LOG_WIN
read ${SANDBOX_PROGRAM_SOFTWARE_KEY}Vantrel\\MsgPlus2\\PluginDir = \"$SANDBOX_PLUGIN_DIR_WIN\"
read ${SANDBOX_PROGRAM_SOFTWARE_KEY}Microsoft\\MSNMessenger\\InstallationDirectory = \"$SANDBOX_MESSENGER_DIR_WIN\"
read ${SANDBOX_PROGRAM_SOFTWARE_KEY}Microsoft\\Windows\\CurrentVersion\\Uninstall\\$SANDBOX_INK_CODE\\DisplayName = \"Ink\"
read ${SANDBOX_PROGRAM_SOFTWARE_KEY}Microsoft\\Windows\\CurrentVersion\\Uninstall\\$SANDBOX_INFOPEN_CODE\\DisplayName = \"InfoPen for Outlook \"
asked conversation window N to close
asked conversation window N to close
ended process msnmsgr.exe (id N)
posted MessengerPlus_PluginChange to all top-level windows
started C:\\windows\\system32\\MsiExec.exe: MsiExec.exe /X$SANDBOX_INK_CODE /qn /norestart
... ended with exit code 0
started C:\\windows\\system32\\MsiExec.exe: MsiExec.exe /X$SANDBOX_INFOPEN_CODE /qn /norestart
... ended with exit code 0
deleted $SANDBOX_DLL_WIN
Complete: Plugin has been successfully uninstalled.
started Messenger: $SANDBOX_MESSENGER_EXE_WIN$RIGHTS
$EVENT 1 of MSN Scribbit Removal
result: exit code 0, no restart needed, N s"

# Again, now with nothing left, and as a service would run it, while the user
# has a conversation open: nothing is touched.
sandbox_start_messenger --windows 1
messengers=$(sandbox_pids msnmsgr.exe | sort | tr '\n' ' ')
MESSENGER_LINES=$(wc -l <"$SANDBOX_MESSENGER_LOG")
PROGRAM_DESKTOP='Service-0x0-3e7$\Default' program_run /quiet /log "$LOG_WIN"
check_eq "/quiet with nothing there: exit code 1605" "$PROGRAM_CODE" 1605
check_eq "... no conversation asked to close, Messenger neither ended nor started again" \
  "$(messenger_since | grep -cE '^(close|start)')|$(sandbox_pids msnmsgr.exe | sort | tr '\n' ' ')" "0|$messengers"
check_eq "... the log's end" "$(last_run | tail -n 3)" "nothing to remove
$EVENT 3 of MSN Scribbit Removal
result: exit code 1605, no restart needed, N s"
# A log path planted as a second name (hard link) of another file: refused, the run unchanged.
ln "$LOG" "$SANDBOX_DRIVE_C/logs/link.log" && cp "$LOG" "$SANDBOX_RUN/log.before" && codes=$PROGRAM_CODE
program_run /quiet /log 'C:\logs\link.log'
check_eq "a log that is a hard link: the exit code as without it, the other file unchanged" \
  "$PROGRAM_CODE|$(cmp "$LOG" "$SANDBOX_RUN/log.before" && echo unchanged)" "$codes|unchanged"

# As a service would run it, with the plug-in there: a copy does the window steps on the user's desktop.
rm "$SANDBOX_DRIVE_C/logs/link.log"
sandbox_put_library
sandbox_start_listener
MESSENGER_LINES=$(wc -l <"$SANDBOX_MESSENGER_LOG")
PROGRAM_DESKTOP='Service-0x0-3e7$\Default' program_run /quiet /log "$LOG_WIN"
sandbox_wait_for 'messenger_since | grep -q "^desktop"' 10  # Messenger, started again
check_eq "/quiet as a service: exit code 0, library deleted" "$PROGRAM_CODE|$(test -e "$SANDBOX_DLL" && echo kept)" "0|"
check_eq "... each window asked, the broadcast heard, Messenger started again on the visible desktop" \
  "$(messenger_since | grep -E '^(close|start|desktop)' | sed 's/ pid=.*show=\(.\) .*/ show=\1/' | tr '\n' '|')$(tr -d '\r' <"$SANDBOX_LISTENER_LOG")" \
  "close 1|start show=2|desktop WinSta0\\Default|broadcast wParam=0 lParam=0"
check_eq "... the log says what was done in the user's session" \
  "$(last_run | grep '^session' | sed -E 's/^session [0-9]+ \([^)]*\)/session S (U)/')" \
  "session S (U): asked 1 conversation windows to close, ended 2 Messenger processes, posted MessengerPlus_PluginChange there
session S (U): started Messenger: $SANDBOX_MESSENGER_EXE_WIN"
kill "$SANDBOX_WATCHER_PID" && wait "$SANDBOX_WATCHER_PID"
check_eq "no message box in any quiet run" "$(boxes)" ""

finish removal
