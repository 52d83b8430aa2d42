#!/usr/bin/env bash
# Both windows of the real program under Wine on Xvfb, driven with the mouse
# and the keyboard through xdotool and checked on the screen: size, position,
# pixels of the picture, hover highlights, dragging, the glyphs, the About
# round trip, focus and access keys, a left-handed mouse; and as a screen
# reader sees them, from a second process (accessible_client.exe).
# shellcheck disable=SC2016,SC1003
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BLACK=000000 WHITE=FFFFFF STRIP=95BCDF HOVER=95B7DF
# Points inside each button rectangle that its caption never covers.
REMOVE_FILL='194 98'
ABOUT_FILL='10 98'

window_shot() {
  import -display "$DISPLAY" -window root -crop "${PROGRAM_WIDTH}x${PROGRAM_HEIGHT}+${PROGRAM_X}+${PROGRAM_Y}" "$1"
}
process_gone() { ! kill -0 "$1" 2>/dev/null; }
accessible() {
  (cd "$SANDBOX_RUN" && timeout 30 wine "$SANDBOX_FIXTURES/accessible_client.exe" "$@" </dev/null 2>&1 | tr -d '\r')
}
# Black pixels of "Remove"'s caption in a window shot.
caption_black() {
  convert "$SANDBOX_RUN/$1.png" +repage -crop 60x13+194+96 -depth 8 txt:- | grep -c '#000000'
}
at() { echo "$((PROGRAM_X + $1)),$((PROGRAM_Y + $2))"; }
SUCCESS='box title=Complete:|text=Plugin has been successfully uninstalled.|icon=1'
# remove_by HOW...: runs HOW (which presses "Remove") and checks the outcome.
remove_by() {
  local what=$1
  shift
  sandbox_start_watcher 1 30000
  "$@"
  check "$what: the removal runs and ends" program_wait_end 30
  sandbox_wait_watcher
  check_eq "... with the success message" "$(tr -d '\r' <"$SANDBOX_WATCHER_LOG")" "$SUCCESS"
  check "... the library is deleted" test ! -e "$SANDBOX_DLL"
}
# The window's opacity as Wine hands it to X: alpha 200 of 255 where the
# program makes its windows translucent (Windows 2000 and XP), none elsewhere.
OPACITY=$( ((SANDBOX_TRANSLUCENT)) && echo $((200 * 0x01010101)))
opacity() { xprop -id "$PROGRAM_WINDOW" _NET_WM_WINDOW_OPACITY | grep -o '[0-9]*$'; }
main_window_shown() { xdotool search --onlyvisible --name '^MSN Scribbit Removal$' >/dev/null 2>&1; }
# A second process's view of a window (tests/fixtures/probe.cpp).
probe() { (cd "$SANDBOX_RUN" && timeout 30 wine "$SANDBOX_FIXTURES/fixture_probe.exe" "$@" </dev/null 2>&1 | tr -d '\r'); }

sandbox_init "$WORK/windows" && sandbox_seed && program_install || exit 1
# Access keys underlined once the keyboard is used, as on Windows (Wine: always).
sandbox_reg_add 'HKCU\Control Panel\Desktop' UserPreferencesMask REG_BINARY 1000028012000000

echo "# the main window"
check "the main window appears" program_start
check_eq "client area 263 x 119, no frame" "${PROGRAM_WIDTH}x${PROGRAM_HEIGHT}" "263x119"
check_eq "centred on the 1024 x 768 screen" "$PROGRAM_X,$PROGRAM_Y" "380,324"
check_eq "opacity on $SANDBOX_WORLD" "$(opacity)" "$OPACITY"
window_shot "$SANDBOX_RUN/main.png"
check_eq "outline corner" "$(pixel 0 0)" $BLACK
check_eq "outline bottom right" "$(pixel 262 118)" $BLACK
check_eq "title strip" "$(pixel 4 8)" $STRIP
check_eq "left margin" "$(pixel 1 60)" $STRIP
check_eq "panel frame diagonal" "$(pixel 4 17)" $BLACK
check_eq "white panel" "$(pixel 130 92)" $WHITE
check_eq "close glyph frame" "$(pixel 248 2)" $BLACK
check_eq "Remove not highlighted" "$(pixel $REMOVE_FILL)" $WHITE

echo "# hover"
program_move 224 102
check "over Remove: its rectangle takes the hover colour" pixel_is $REMOVE_FILL $HOVER
program_move 40 102
check "over About, in one movement: About highlighted" pixel_is $ABOUT_FILL $HOVER
check "... and Remove cleared" pixel_is $REMOVE_FILL $WHITE
program_move 50 40
check "the long text keeps the highlight" pixel_stays $ABOUT_FILL $HOVER
program_move 250 8
check "a glyph keeps the highlight" pixel_stays $ABOUT_FILL $HOVER
program_move 100 6
check "the drag strip keeps the highlight" pixel_stays $ABOUT_FILL $HOVER
program_move 40 109
check "the rectangle's uncovered bottom edge clears it" pixel_is $ABOUT_FILL $WHITE
program_move 224 102
check "Remove highlighted again" pixel_is $REMOVE_FILL $HOVER
program_move 256 100
check "the rectangle's uncovered right edge clears it" pixel_is $REMOVE_FILL $WHITE

echo "# dragging"
x0=$PROGRAM_X y0=$PROGRAM_Y
xdotool mousemove $((x0 + 100)) $((y0 + 6)) mousedown 1 mousemove $((x0 + 130)) $((y0 + 26)) \
  mousemove $((x0 + 140)) $((y0 + 46)) mouseup 1
sandbox_wait_for 'program_window_position; ((PROGRAM_X != x0))' 3
program_window_position
check_eq "dragging the strip moves the window by the pointer's offset" \
  "$((PROGRAM_X - x0)),$((PROGRAM_Y - y0))" "40,40"
x0=$PROGRAM_X y0=$PROGRAM_Y
xdotool mousemove $((x0 + 20)) $((y0 + 8)) mousedown 1 mousemove $((x0 + 10)) $((y0 + 3)) \
  mousemove $((x0 - 10)) $((y0 - 12)) mouseup 1
sandbox_wait_for 'program_window_position; ((PROGRAM_X != x0))' 3
program_window_position
check_eq "dragging the title text moves it too" "$((PROGRAM_X - x0)),$((PROGRAM_Y - y0))" "-30,-20"

x0=$PROGRAM_X y0=$PROGRAM_Y
xdotool mousemove $((x0 + 60)) $((y0 + 6)) mousedown 1 mouseup 1
check "a press on the strip without moving leaves the window where it is" \
  not sandbox_wait_for 'program_window_position; ((PROGRAM_X != x0 || PROGRAM_Y != y0))' 1
program_window_position

echo "# About and back"
program_move 40 102
program_click 40 102
check "the About window appears" program_find_window About
check "the main window is gone" not main_window_shown
check_eq "About is centred" "$PROGRAM_X,$PROGRAM_Y" "380,324"
check_eq "... with the same opacity" "$(opacity)" "$OPACITY"
window_shot "$SANDBOX_RUN/about.png"
check_eq "About's close glyph" "$(pixel 248 2)" $BLACK
program_move 222 102
check "over Close: highlighted" pixel_is $REMOVE_FILL $HOVER
program_move 50 50
check "the dedication text keeps it" pixel_stays $REMOVE_FILL $HOVER
program_move 200 110
check "the uncovered part of the rectangle clears it" pixel_is $REMOVE_FILL $WHITE
program_click 248 6
check "the close glyph's leftmost column is drag strip: About stays" not program_wait_end 1

# Between the two main windows the plug-in directory changes: the new main
# window must read it again, which the removal then shows.
mkdir -p "$SANDBOX_DRIVE_C/Moved"
printf 'moved plug-in\r\n' >"$SANDBOX_DRIVE_C/Moved/MsnScribbit.dll"
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ 'C:\Moved'
program_click 222 102
check "Close brings back a main window" program_find_window 'MSN Scribbit Removal'
check_eq "... centred" "$PROGRAM_X,$PROGRAM_Y" "380,324"
# It appears under the pointer, which may hover "Remove" at once; "About",
# highlighted when it was last clicked, starts afresh.
check "... with no highlight on About" pixel_stays $ABOUT_FILL $WHITE
program_move 130 92
check "... and none once the pointer is on the surface" pixel_is $REMOVE_FILL $WHITE
sandbox_start_watcher 1 30000
program_click 222 102
check "the removal runs and ends" program_wait_end 30
sandbox_wait_watcher
check "the library of the re-read directory is deleted" test ! -e "$SANDBOX_DRIVE_C/Moved/MsnScribbit.dll"
check "the one of the first directory is left" test -e "$SANDBOX_DLL"

echo "# glyphs"
check "a new copy starts" program_start
program_click 40 102
check "About appears" program_find_window About
program_click 252 6
check "About's close glyph ends the program" program_wait_end 10
check_eq "... normally" "$PROGRAM_RC" 0
check "a new copy starts" program_start
program_click 252 6
check "the main close glyph ends the program" program_wait_end 10
check_eq "... normally" "$PROGRAM_RC" 0

echo "# from outside"
check "a new copy starts" program_start
check_eq "SC_MINIMIZE from another program: minimised as by its glyph, with a taskbar button" \
  "$(probe window 'MSN Scribbit Removal' minimize | cut -d' ' -f1,2)" "iconic=1 taskbar=1"
check "a second start ends at once" eval '(cd "$PROGRAM_DIR" && timeout 30 wine ScribbitRemoval.exe &>/dev/null </dev/null)'
check_eq "... bringing the first one back, in front" "$(probe window 'MSN Scribbit Removal')" "iconic=0 taskbar=1 front=1"
program_click 40 102
check "About appears" program_find_window About
check_eq "SC_MINIMIZE to About, which has no minimise glyph: refused" "$(probe window About minimize | cut -c1-8)" iconic=0
check_eq "... minimised by ShowWindow: it restores itself" "$(probe window About showmin | cut -c1-8)" iconic=0
xdotool key Escape && program_find_window 'MSN Scribbit Removal' && program_move 224 102 && xdotool mousedown 1 &&
  probe window 'MSN Scribbit Removal' cancelmode >/dev/null && xdotool mouseup 1
check "WM_CANCELMODE between press and release on Remove: no click" not sandbox_wait_for '! main_window_shown' 2
program_move 252 6 && xdotool key Escape && program_wait_end 10

echo "# keyboard"
# Back to the first directory, whose library is still there.
sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$SANDBOX_PLUGIN_DIR_WIN"
check "a new copy starts" program_start
window_shot "$SANDBOX_RUN/keys-before.png"
xdotool key Return space
check "Enter and Space before any Tab press nothing" not program_wait_end 1
check "... and no focus rectangle shows" pixel_stays 9 97 $WHITE
xdotool key Tab
check "Tab: a focus rectangle inside About's outline" pixel_is 9 97 $BLACK
check "... About not highlighted" pixel_is $ABOUT_FILL $WHITE
window_shot "$SANDBOX_RUN/keys-after.png"
check "... and Remove's access key underlined: more black in its caption" \
  test "$(caption_black keys-after)" -gt "$(caption_black keys-before)"
xdotool key Return
check "Enter on About: the About window" program_find_window About
check_eq "its buttons as a screen reader reads them" \
  "$(accessible tree About | grep -o 'button "[A-Za-z]*"' | tr '\n' ' ')" 'button "Exit" button "Close" '
xdotool key Tab
check "Tab: Close focused" pixel_is 193 97 $BLACK
xdotool key Escape
check "Esc is About's Close: a main window again" program_find_window 'MSN Scribbit Removal'
xdotool key alt+a
check "Alt+A: About" program_find_window About
xdotool key alt+F4
check "Alt+F4 is About's close glyph: the program ends" program_wait_end 10
check "a new copy starts" program_start
xdotool key Escape
check "Esc on the main window ends the program" program_wait_end 10
check "a new copy starts" program_start
xdotool key alt+F4
check "so does Alt+F4" program_wait_end 10
remove_by "Tab, Tab, Enter" eval 'program_start && xdotool key Tab Tab Return'

echo "# screen readers"
printf 'MZ plug-in again\r\n' >"$SANDBOX_DLL"
# Saved beside the program under the accessibility library's name: a load by
# bare name would take it and the tree below would be empty.
printf 'MZ not a library\r\n' >"$PROGRAM_DIR/oleacc.dll"
check "a new copy starts" program_start
program_move 224 102
check_eq "the accessible tree in reading order, where the window shows it" \
  "$(accessible tree 'MSN Scribbit Removal' | sed 's/^\(1 .*\) [0-9]*x13$/\1 Wx13/')" \
  "0 client \"MSN Scribbit Removal\" focusable,focused $(at 0 0) 263x119
1 text \"MSN Scribbit Removal\" readonly $(at 10 2) Wx13
2 button \"Minimise\" normal $(at 233 2) 12x12 Press
3 button \"Close\" normal $(at 248 2) 12x12 Press
4 text \"This application will uninstall the Scribbit Plugin for Messenger Plus! as well as the Ink Redistributable and Info Pen for Outlook Express if they are installed.\" readonly $(at 8 24) 249x65
5 button \"About\" focusable $(at 8 96) 65x15 Press Alt+A
6 button \"Remove\" focusable,hot $(at 192 96) 65x15 Press Alt+R"
xdotool key Tab
check "Tab: About has the focus" grep -q '^5 button "About" focusable,focused ' <(accessible tree 'MSN Scribbit Removal')
remove_by "Press on Remove" accessible press 'MSN Scribbit Removal' Remove

echo "# a left-handed mouse"
accessible swap 1
check "a new copy starts" program_start
# Wine reports the primary button of swapped buttons as the left one.
x0=$PROGRAM_X y0=$PROGRAM_Y
xdotool mousemove $((x0 + 100)) $((y0 + 6)) mousedown 1 mousemove $((x0 + 130)) $((y0 + 26)) \
  mousemove $((x0 + 140)) $((y0 + 46)) mouseup 1
sandbox_wait_for 'program_window_position; ((PROGRAM_X != x0))' 3
program_window_position
check_eq "the primary button drags the window" "$((PROGRAM_X - x0)),$((PROGRAM_Y - y0))" "40,40"
x0=$PROGRAM_X y0=$PROGRAM_Y
xdotool mousemove $((x0 + 100)) $((y0 + 6)) mousedown 3 mousemove $((x0 + 130)) $((y0 + 26)) \
  mousemove $((x0 + 140)) $((y0 + 46)) mouseup 3
check "the other one does not" \
  not sandbox_wait_for 'program_window_position; ((PROGRAM_X != x0 || PROGRAM_Y != y0))' 1
accessible swap 0

echo "# at 144 DPI"
sandbox_reg_add 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD 144
wineserver -k; wineserver -w
check "the main window appears at 144 DPI" program_start
check_eq "the layout scales as twips do: 3945 x 1785 twips" "${PROGRAM_WIDTH}x${PROGRAM_HEIGHT}" "395x179"
check_eq "... centred" "$PROGRAM_X,$PROGRAM_Y" "314,294"
window_shot "$SANDBOX_RUN/main-144dpi.png"
check_eq "outline corner" "$(pixel 0 0)" $BLACK
check_eq "title strip" "$(pixel 6 12)" $STRIP
check_eq "white panel" "$(pixel 195 138)" $WHITE
# "Remove" lies at 2880..3835 x 1440..1635 twips: 288..384 x 144..164 pixels.
program_move 336 154
check "hover at 144 DPI" pixel_is 291 147 $HOVER
program_click 378 10
check "the close glyph at its scaled place ends the program" program_wait_end 10

finish windows
