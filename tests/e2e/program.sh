# shellcheck shell=bash
# Drives the real ScribbitRemoval.exe in a sandbox (tests/e2e/sandbox.sh):
# starts it, finds its window on the private X display, clicks it with
# xdotool and waits for it to end.

: "${PROGRAM_BUILD:=$SANDBOX_PROGRAM_BUILD}"

# program_install [DIR_WIN]: copies the program into the prefix, by default
# into C:\Downloads as a user would have it. Sets PROGRAM_EXE(_WIN), PROGRAM_DIR.
program_install() {
  PROGRAM_DIR=$SANDBOX_DRIVE_C/Downloads
  mkdir -p "$PROGRAM_DIR" && cp "$PROGRAM_BUILD" "$PROGRAM_DIR/ScribbitRemoval.exe" || return 1
  PROGRAM_EXE=$PROGRAM_DIR/ScribbitRemoval.exe
  PROGRAM_EXE_WIN='C:\Downloads\ScribbitRemoval.exe'
}

# program_start: starts the program from its folder and waits for its main
# window. Sets PROGRAM_PID (the wine process), PROGRAM_WINDOW, PROGRAM_X/Y.
program_start() {
  (cd "$PROGRAM_DIR" && exec wine ScribbitRemoval.exe "$@" </dev/null >"$SANDBOX_RUN/program.out" 2>&1) &
  PROGRAM_PID=$!
  program_find_window 'MSN Scribbit Removal'
}

# program_find_window TITLE: waits for a visible window with that exact title
# (a start takes seconds when the worlds run side by side on two cores).
program_find_window() {
  PROGRAM_WINDOW=$(timeout 40 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
  if [[ -z $PROGRAM_WINDOW ]]; then
    echo "program: no window titled '$1' appeared" >&2
    return 1
  fi
  program_window_position
}

program_window_position() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$PROGRAM_WINDOW")"
  PROGRAM_X=$X PROGRAM_Y=$Y PROGRAM_WIDTH=$WIDTH PROGRAM_HEIGHT=$HEIGHT
}

# program_click X Y: a left click at a point of the window's client area.
program_click() {
  xdotool mousemove $((PROGRAM_X + $1)) $((PROGRAM_Y + $2)) click 1
}

# program_press_remove: presses "Remove" as a person does, the pointer on it
# first and the click once its rectangle shows the hover highlight, unlike
# About's (or after 10 s): a window just shown on a busy machine may not take
# input at once.
program_press_remove() {
  local end=$((SECONDS + 10))
  program_move 222 102 || return 1
  while [[ $(pixel 194 98) == "$(pixel 10 98)" ]] && ((SECONDS < end)); do sleep 0.1; done
  xdotool click 1
}

# program_move X Y: moves the pointer to a point of the window's client area.
program_move() {
  xdotool mousemove $((PROGRAM_X + $1)) $((PROGRAM_Y + $2))
}

# program_wait_end TIMEOUT_S: waits for the program to end; sets PROGRAM_RC
# (its exit code) and PROGRAM_SECONDS (time waited). Fails on timeout.
program_wait_end() {
  local limit=$1 start=$SECONDS
  if ! sandbox_wait_for '! kill -0 "$PROGRAM_PID" 2>/dev/null' "$limit"; then
    PROGRAM_RC=timeout
    return 1
  fi
  PROGRAM_RC=0
  wait "$PROGRAM_PID" || PROGRAM_RC=$?
  PROGRAM_SECONDS=$((SECONDS - start))
}

# pixel X Y: the colour of a screen pixel of the window's client area, as
# RRGGBB in upper case.
pixel() {
  import -display "$DISPLAY" -window root -crop "1x1+$((PROGRAM_X + $1))+$((PROGRAM_Y + $2))" \
    -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -n1 | tr -d '#'
}

# pixel_is X Y EXPECTED: true once the pixel shows EXPECTED (polled for up to
# 3 s, as painting follows the input asynchronously); prints what it saw.
pixel_is() {
  local seen end=$((SECONDS + 3))
  while :; do
    seen=$(pixel "$1" "$2")
    [[ $seen == "$3" ]] && return 0
    ((SECONDS >= end)) && break
    sleep 0.05
  done
  echo "    pixel ($1, $2) is $seen, not $3" >&2
  return 1
}

# pixel_stays X Y EXPECTED: the pixel shows EXPECTED in every one of ten
# samples over half a second.
pixel_stays() {
  local seen i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    seen=$(pixel "$1" "$2")
    if [[ $seen != "$3" ]]; then
      echo "    pixel ($1, $2) became $seen, not $3" >&2
      return 1
    fi
    sleep 0.05
  done
}

# program_run ARGS...: runs the installed program with ARGS through the
# launcher fixture, which reads its whole exit code (a Linux exit status keeps
# only the low 8 bits), into PROGRAM_CODE. Meanwhile it samples the screen for
# a window titled "MSN Scribbit Removal" (the main window or the failure
# report): PROGRAM_WINDOWS_SEEN counts the samples that found one. With
# PROGRAM_DESKTOP set (STATION\DESKTOP), the program runs there, as a service would.
program_run() {
  local out=$SANDBOX_RUN/program_run.out pid
  PROGRAM_WINDOWS_SEEN=0
  (cd "$PROGRAM_DIR" && exec timeout 330 wine "$SANDBOX_FIXTURES/fixture_probe.exe" run \
    ${PROGRAM_DESKTOP:+--desktop "$PROGRAM_DESKTOP"} "$PROGRAM_EXE_WIN" "$@" </dev/null >"$out" 2>&1) &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    xdotool search --onlyvisible --name '^MSN Scribbit Removal$' >/dev/null 2>&1 &&
      PROGRAM_WINDOWS_SEEN=$((PROGRAM_WINDOWS_SEEN + 1))
    sleep 0.1
  done
  wait "$pid"
  PROGRAM_CODE=$(tr -d '\r' <"$out" | sed -n 's/^exit=//p')
}
