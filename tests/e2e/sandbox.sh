# shellcheck shell=bash
# Conditions for sandbox_wait_for are single-quoted on purpose (evaluated
# later); Windows paths end in a backslash inside single quotes.
# shellcheck disable=SC2016,SC1003
# Sandbox for end-to-end tests under Wine: a private Wine prefix and a private
# X server per test, seeded with a Messenger Plus! 2 / MSN Messenger / Ink /
# InfoPen installation made of our test doubles (tests/fixtures).
#
#   source tests/e2e/sandbox.sh
#   trap sandbox_cleanup EXIT
#   sandbox_init "$work_dir"       # fresh prefix in $work_dir/prefix, Xvfb
#   sandbox_seed                   # registry, plug-in DLL, messenger, both MSIs
#   sandbox_start_messenger --windows 3
#   sandbox_start_listener
#   sandbox_start_watcher 1 20000
#   sandbox_run 120 "$SANDBOX_BIN/ScribbitRemoval.exe"
#   sandbox_wait_watcher
#
# Every function is bounded in time, prints "sandbox: ..." on stderr and
# returns non-zero when it fails; none of them exits the calling shell.
#
# Settings (set before calling, all optional):
#   SANDBOX_WORLD     the Windows the program runs on, and which build:
#                       x64        the x64 build on 64-bit Windows (default)
#                       x64-wine10 the same under Wine 10 (the script runs whole
#                                  in tools/wine-root where the Wine is another)
#                       x86-wow64  the x86 build on 64-bit Windows
#                       x86-xp     the x86 build on 32-bit Windows XP
#                       x86-2000   the x86 build on Windows 2000
#   SANDBOX_TIMEOUT   default bound in seconds for one Wine command (60)
#   SANDBOX_CACHE_DIR if set, a booted empty prefix is kept there and copied
#                     instead of running wineboot for every test
#   SANDBOX_SHOW      1: use the caller's DISPLAY instead of a private Xvfb
#
# Set by the functions (Unix paths unless the name ends in _WIN):
#   SANDBOX_FIXTURES (test instruments of the Windows's own width),
#   SANDBOX_FIXTURES_32 (stand-ins for the 32-bit products), SANDBOX_SLEEPER,
#   SANDBOX_TOKEN (full, limited or none: see below), SANDBOX_PROGRAM_BUILD,
#   SANDBOX_PROGRAM_SOFTWARE_KEY (where the program reads the products' values, as it logs it), SANDBOX_PROGRAM_SYSTEM_DIR (the
#   folder of drive C its System32 leads to), SANDBOX_TRANSLUCENT (1 where the
#   program's windows are translucent), SANDBOX_PROGRAM_FILES(_WIN),
#   SANDBOX_DIR, SANDBOX_RUN (scratch files, outside the Windows drive),
#   SANDBOX_DRIVE_C, WINEPREFIX, DISPLAY, SANDBOX_XVFB_PID,
#   SANDBOX_PLUGIN_DIR(_WIN), SANDBOX_DLL(_WIN), SANDBOX_MESSENGER_DIR(_WIN),
#   SANDBOX_MESSENGER_EXE(_WIN), SANDBOX_MESSENGER_LOG, SANDBOX_MESSENGER_PID,
#   SANDBOX_LISTENER_LOG, SANDBOX_LISTENER_PID, SANDBOX_WATCHER_LOG,
#   SANDBOX_WATCHER_PID, SANDBOX_REG_TYPE (type found by sandbox_reg_query)

SANDBOX_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$SANDBOX_REPO/tests/e2e/wine.sh"
: "${SANDBOX_WORLD:=x64}"
: "${SANDBOX_TIMEOUT:=60}"
SANDBOX_WINE_VERSION=$(wine --version 2>/dev/null)
if [[ $SANDBOX_WORLD == *-wine10 && $SANDBOX_WINE_VERSION != wine-10.* ]]; then
  [[ -z ${SANDBOX_IN_WINE_ROOT:-} ]] || { echo "sandbox: no Wine 10 in tools/wine-root" >&2; return 1; }
  # The script that sourced this file, from the start, with its arguments.
  SANDBOX_IN_WINE_ROOT=1 exec "$SANDBOX_REPO/tools/wine-root" "$0" "$@"
fi

SANDBOX_INK_CODE='{9FCB2876-554D-491D-A2CD-58F8252D6C64}'
SANDBOX_INFOPEN_CODE='{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}'
SANDBOX_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
SANDBOX_PLUGIN_KEY='HKLM\Software\Vantrel\MsgPlus2'
SANDBOX_MESSENGER_KEY='HKLM\Software\Microsoft\MSNMessenger'
# Messenger, Messenger Plus! and both packages are 32-bit programs: on 64-bit
# Windows they live in the 32-bit program files folder and write their
# HKLM\Software values to the 32-bit registry view, which the sandbox_reg_*
# functions use for every HKLM\Software key. Their stand-ins are 32-bit in
# every world; the test instruments have the width of the Windows they run on.
SANDBOX_FIXTURES_32=$SANDBOX_REPO/build/win32/tests/fixtures
SANDBOX_SLEEPER=$SANDBOX_REPO/build/win32/tests/win/sleeper.exe
# Where no 32-bit code runs, the stand-ins are 64-bit: Windows Installer still
# puts the 32-bit packages where 32-bit Windows programs put their files and
# values, and the x64 build reads those places as before.
if ((WINE_RUNS_32BIT == 0)); then
  [[ $SANDBOX_WORLD == x64* ]] ||
    { echo "sandbox: this machine runs no 32-bit code, so no $SANDBOX_WORLD world" >&2; return 1; }
  SANDBOX_FIXTURES_32=$SANDBOX_REPO/build/win64/tests/fixtures
  SANDBOX_SLEEPER=$SANDBOX_REPO/build/win64/tests/win/sleeper.exe
fi
# The token programs start with: full (elevated) under Wine 8, limited under
# Wine 10; none has elevation on XP and 2000.
SANDBOX_TOKEN=full
[[ $SANDBOX_WINE_VERSION == wine-10.* ]] && SANDBOX_TOKEN=limited
case $SANDBOX_WORLD in
  x64 | x64-wine10 | x86-wow64)
    export WINEARCH=win64
    SANDBOX_WINDOWS_VERSION=
    SANDBOX_PROGRAM_FILES='Program Files (x86)'
    SANDBOX_FIXTURES=$SANDBOX_REPO/build/win64/tests/fixtures
    SANDBOX_TRANSLUCENT=0
    ;;
  x86-xp | x86-2000)
    export WINEARCH=win32
    SANDBOX_WINDOWS_VERSION=$([[ $SANDBOX_WORLD == x86-xp ]] && echo winxp || echo win2k)
    SANDBOX_PROGRAM_FILES='Program Files'
    SANDBOX_FIXTURES=$SANDBOX_FIXTURES_32
    SANDBOX_TRANSLUCENT=1
    SANDBOX_TOKEN=none
    ;;
  *) echo "sandbox: unknown SANDBOX_WORLD '$SANDBOX_WORLD'" >&2; return 1 ;;
esac
# On 64-bit Windows a 32-bit program's HKLM\Software is redirected to the
# 32-bit view, and its System32 to SysWOW64.
SANDBOX_PROGRAM_SYSTEM_DIR=windows/system32
if [[ $SANDBOX_WORLD == x64* ]]; then
  SANDBOX_PROGRAM_BUILD=$SANDBOX_REPO/build/win64/ScribbitRemoval.exe
  SANDBOX_PROGRAM_SOFTWARE_KEY='HKLM\Software\Wow6432Node\'
else
  SANDBOX_PROGRAM_BUILD=$SANDBOX_REPO/build/win32/ScribbitRemoval.exe
  SANDBOX_PROGRAM_SOFTWARE_KEY='HKLM\Software\'
  [[ $SANDBOX_WORLD == x86-wow64 ]] && SANDBOX_PROGRAM_SYSTEM_DIR=windows/syswow64
fi
SANDBOX_PROGRAM_FILES_WIN="C:\\$SANDBOX_PROGRAM_FILES"
export SANDBOX_WORLD SANDBOX_TOKEN SANDBOX_FIXTURES SANDBOX_FIXTURES_32 SANDBOX_SLEEPER SANDBOX_PROGRAM_BUILD \
  SANDBOX_PROGRAM_SOFTWARE_KEY SANDBOX_PROGRAM_SYSTEM_DIR SANDBOX_TRANSLUCENT SANDBOX_PROGRAM_FILES SANDBOX_PROGRAM_FILES_WIN

# Everything Wine runs here sees these. winemenubuilder is off so that
# nothing is written under $HOME; mscoree/mshtml off so that no Mono or Gecko
# installer is offered.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine maps non-ASCII file names only under a UTF-8 locale; the caller may
# have none at all.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

_sandbox_err() { echo "sandbox: $*" >&2; }

_sandbox_need_init() {
  if [[ -z ${SANDBOX_DIR:-} || -z ${WINEPREFIX:-} || ! -d ${WINEPREFIX:-/nonexistent} ]]; then
    _sandbox_err "${FUNCNAME[1]}: call sandbox_init first"
    return 1
  fi
}

# sandbox_wait_for COND_CMD TIMEOUT_S
# Evaluates COND_CMD (a shell command string) every 0.1 s until it succeeds.
# Returns 1, naming the condition, if it has not within TIMEOUT_S seconds.
sandbox_wait_for() {
  # Odd local names: the condition is evaluated here and may use the caller's
  # variables, which ordinary names would hide.
  local _sw_cond=$1 _sw_limit=${2:-$SANDBOX_TIMEOUT}
  local _sw_end=$((SECONDS + _sw_limit))
  # SECONDS counts whole seconds; checking once more after the end keeps a
  # condition met at the last moment from being reported as a timeout.
  while :; do
    if eval "$_sw_cond"; then return 0; fi
    if ((SECONDS > _sw_end)); then
      _sandbox_err "timed out after ${_sw_limit}s waiting for: $_sw_cond"
      return 1
    fi
    sleep 0.1
  done
}

# sandbox_winpath UNIX_PATH: the Windows path of a file, C:\ inside the
# prefix's drive, Z:\ (Wine's view of /) anywhere else.
sandbox_winpath() {
  local path
  path=$(realpath -m -- "$1") || return 1
  if [[ -n ${SANDBOX_DRIVE_C:-} && ( $path == "$SANDBOX_DRIVE_C" || $path == "$SANDBOX_DRIVE_C"/* ) ]]; then
    path=${path#"$SANDBOX_DRIVE_C"}
    path=${path//\//\\}
    printf 'C:%s\n' "${path:-\\}"
  else
    printf 'Z:%s\n' "${path//\//\\}"
  fi
}

# sandbox_unixpath WINDOWS_PATH: the Unix path of a C:\ or Z:\ path.
sandbox_unixpath() {
  local path=$1
  case ${path:0:2} in
    [Cc]:) path=${path:2}; printf '%s%s\n' "$SANDBOX_DRIVE_C" "${path//\\//}" ;;
    [Zz]:) path=${path:2}; printf '%s\n' "${path//\\//}" ;;
    *) _sandbox_err "sandbox_unixpath: not a C: or Z: path: $path"; return 1 ;;
  esac
}

# sandbox_wine [--timeout S] ARGS...: runs `wine ARGS` in the foreground,
# bounded; returns the program's exit code (124 on timeout, with a message).
sandbox_wine() {
  local limit=$SANDBOX_TIMEOUT
  if [[ ${1:-} == --timeout ]]; then limit=$2; shift 2; fi
  _sandbox_need_init || return 1
  local rc=0
  timeout --kill-after=5 "$limit" wine "$@" </dev/null || rc=$?
  if ((rc == 124 || rc == 137)); then
    _sandbox_err "wine $* did not finish within ${limit}s"
  fi
  return "$rc"
}

# sandbox_run TIMEOUT_S PROGRAM ARGS...: runs a Windows program (Unix or
# Windows path) in the foreground from its own folder, bounded. Its output
# goes to $SANDBOX_RUN/<name>.out and .err. Returns its exit code, 124 on
# timeout.
sandbox_run() {
  local limit=$1 program=$2
  shift 2
  _sandbox_need_init || return 1
  local unix=$program
  [[ $program == [A-Za-z]:* ]] && { unix=$(sandbox_unixpath "$program") || return 1; }
  if [[ ! -f $unix ]]; then
    _sandbox_err "sandbox_run: no such program: $program"
    return 1
  fi
  local name rc=0
  name=$(basename "$unix")
  (cd "$(dirname "$unix")" && timeout --kill-after=5 "$limit" wine "./$name" "$@" \
    </dev/null >"$SANDBOX_RUN/$name.out" 2>"$SANDBOX_RUN/$name.err") || rc=$?
  if ((rc == 124 || rc == 137)); then
    _sandbox_err "$name did not finish within ${limit}s"
  fi
  return "$rc"
}

# Starts Xvfb on a display it picks itself (-displayfd), so that parallel
# tests never race for a display number.
_sandbox_start_xvfb() {
  local dispfile=$SANDBOX_RUN/xvfb.display
  : >"$dispfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$dispfile" </dev/null >"$SANDBOX_RUN/xvfb.log" 2>&1 &
  SANDBOX_XVFB_PID=$!
  if ! sandbox_wait_for '[[ -s $dispfile ]] || ! kill -0 "$SANDBOX_XVFB_PID" 2>/dev/null' 10 ||
    ! kill -0 "$SANDBOX_XVFB_PID" 2>/dev/null || [[ ! -s $dispfile ]]; then
    _sandbox_err "Xvfb did not start; see $SANDBOX_RUN/xvfb.log"
    return 1
  fi
  DISPLAY=":$(tr -dc 0-9 <"$dispfile")"
  export DISPLAY SANDBOX_XVFB_PID
}

# The prefix settings every test relies on.
_sandbox_configure_prefix() {
  # A crash must fail the test, not wait for someone to close a dialog.
  sandbox_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null || return 1
  # There is no window manager on Xvfb: with managed windows, Wine waits 2 s for
  # one each time a window is hidden or destroyed.
  sandbox_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >/dev/null || return 1
  if [[ -n $SANDBOX_WINDOWS_VERSION ]]; then
    sandbox_wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$SANDBOX_WINDOWS_VERSION" /f \
      >/dev/null || return 1
  fi
}

_sandbox_boot_prefix() {
  if ! timeout 180 wineboot -i </dev/null >"$SANDBOX_RUN/wineboot.log" 2>&1; then
    _sandbox_err "wineboot -i failed or took over 180 s; see $SANDBOX_RUN/wineboot.log"
    return 1
  fi
  _sandbox_configure_prefix || return 1
  # The registry reaches the disk when the server exits.
  if ! timeout 60 wineserver -w; then
    _sandbox_err "the Wine server of the new prefix did not exit"
    return 1
  fi
}

# _sandbox_copy_prefix FROM TO: a copy of a booted prefix. Wine's own
# programs and libraries (1.3 GB in a 64-bit prefix, once per scenario and
# world) are never changed in place, so they are hard links to the cached
# ones; a test that replaces one of them removes it first. Everything else
# (registry, settings) is copied.
_sandbox_copy_prefix() {
  cp -al "$1" "$2" &&
    find "$2" -type f -links +1 ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \) \
      -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || exit 1; done' sh {} +
}

# sandbox_init DIR: a fresh prefix in DIR/prefix (anything there before is
# removed), scratch files in DIR/run, and a private Xvfb.
sandbox_init() {
  local dir=${1:?usage: sandbox_init DIR}
  if [[ -n ${SANDBOX_XVFB_PID:-} ]]; then sandbox_cleanup; fi
  mkdir -p "$dir" || return 1
  SANDBOX_DIR=$(realpath "$dir")
  SANDBOX_RUN=$SANDBOX_DIR/run
  export WINEPREFIX=$SANDBOX_DIR/prefix
  SANDBOX_DRIVE_C=$WINEPREFIX/drive_c
  # A server left over from an earlier run in the same folder must go first.
  [[ -d $WINEPREFIX ]] && timeout 30 wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX" "$SANDBOX_RUN" || return 1
  mkdir -p "$SANDBOX_RUN" || return 1
  export SANDBOX_DIR SANDBOX_RUN SANDBOX_DRIVE_C

  # SANDBOX_SHOW=1 keeps the caller's own display, for a person to watch.
  if [[ ${SANDBOX_SHOW:-0} == 1 && -n ${DISPLAY:-} ]]; then
    SANDBOX_XVFB_PID=
  else
    _sandbox_start_xvfb || return 1
  fi

  if [[ -n ${SANDBOX_CACHE_DIR:-} ]]; then
    # The cache is keyed by Wine's version and by this file, which holds the
    # settings applied to it.
    local key cached
    key=$( (wine --version; echo "$WINEARCH $SANDBOX_WINDOWS_VERSION $WINE_RUNS_32BIT"; cat "${BASH_SOURCE[0]}") 2>/dev/null | sha256sum | cut -c1-16)
    cached=$SANDBOX_CACHE_DIR/prefix-$key
    if [[ ! -d $cached ]]; then
      _sandbox_boot_prefix || return 1
      mkdir -p "$SANDBOX_CACHE_DIR" && rm -rf "$cached.tmp.$$" &&
        cp -a "$WINEPREFIX" "$cached.tmp.$$" && mv -T "$cached.tmp.$$" "$cached" 2>/dev/null
      rm -rf "$cached.tmp.$$"
    else
      _sandbox_copy_prefix "$cached" "$WINEPREFIX" || { _sandbox_err "cannot copy $cached"; return 1; }
    fi
  else
    _sandbox_boot_prefix || return 1
  fi
  if [[ ! -d $SANDBOX_DRIVE_C/windows ]]; then
    _sandbox_err "the prefix $WINEPREFIX has no drive_c/windows"
    return 1
  fi
}

# _sandbox_reg_view KEY: the reg.exe option for the view that 32-bit programs
# use, for keys under HKLM\Software; nothing for other keys.
_sandbox_reg_view() {
  local key=${1,,}
  [[ $key == 'hklm\software\'* || $key == 'hkey_local_machine\software\'* ]] && echo /reg:32
}

# sandbox_reg_query KEY VALUE: prints the value's data exactly as stored
# (trailing blanks kept) and sets SANDBOX_REG_TYPE; prints nothing and returns
# 1 when the key or value does not exist. An empty VALUE means the default one.
sandbox_reg_query() {
  local key=$1 value=$2 out line prefix view
  _sandbox_need_init || return 1
  SANDBOX_REG_TYPE=
  view=$(_sandbox_reg_view "$key")
  if [[ -z $value ]]; then
    out=$(sandbox_wine reg query "$key" /ve $view 2>/dev/null) || return 1
    value='(Default)'
  else
    out=$(sandbox_wine reg query "$key" /v "$value" $view 2>/dev/null) || return 1
  fi
  while IFS= read -r line; do
    line=${line%$'\r'}
    prefix="    $value    "
    [[ ${line:0:${#prefix}} == "$prefix" ]] || continue
    line=${line:${#prefix}}
    SANDBOX_REG_TYPE=${line%%    *}
    [[ $SANDBOX_REG_TYPE == REG_* ]] || continue
    printf '%s\n' "${line:$((${#SANDBOX_REG_TYPE} + 4))}"
    return 0
  done <<<"$out"
  return 1
}

# sandbox_reg_add KEY VALUE TYPE DATA (the data is passed as is, a trailing
# backslash included).
sandbox_reg_add() {
  # shellcheck disable=SC2046
  sandbox_wine reg add "$1" /v "$2" /t "$3" /d "$4" /f $(_sandbox_reg_view "$1") >/dev/null ||
    { _sandbox_err "reg add $1 /v $2 failed"; return 1; }
}

# sandbox_reg_delete KEY [VALUE]: deletes a value, or the whole key.
sandbox_reg_delete() {
  # shellcheck disable=SC2046
  if [[ $# -ge 2 ]]; then
    sandbox_wine reg delete "$1" /v "$2" /f $(_sandbox_reg_view "$1") >/dev/null
  else
    sandbox_wine reg delete "$1" /f $(_sandbox_reg_view "$1") >/dev/null
  fi
}

# _sandbox_fixture NAME: a built fixture; the stand-ins for the 32-bit
# products come from the 32-bit build.
_sandbox_fixture() {
  local file=$SANDBOX_FIXTURES/$1
  case $1 in fake_msnmsgr.exe | listener.exe | plugin_stub.dll | *.msi) file=$SANDBOX_FIXTURES_32/$1 ;; esac
  if [[ ! -f $file ]]; then
    _sandbox_err "missing fixture $file (build the 'fixtures' target of the win64 and win32 presets)"
    return 1
  fi
  printf '%s\n' "$file"
}

# sandbox_seed_plugin: the Messenger Plus! 2 plug-in folder value and
# MsnScribbit.dll in it.
sandbox_seed_plugin() {
  _sandbox_need_init || return 1
  SANDBOX_PLUGIN_DIR_WIN=$SANDBOX_PROGRAM_FILES_WIN'\Messenger Plus! 2\Plugins'
  SANDBOX_PLUGIN_DIR=$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_FILES/Messenger\ Plus!\ 2/Plugins
  SANDBOX_DLL_WIN=$SANDBOX_PLUGIN_DIR_WIN'\MsnScribbit.dll'
  SANDBOX_DLL=$SANDBOX_PLUGIN_DIR/MsnScribbit.dll
  export SANDBOX_PLUGIN_DIR SANDBOX_PLUGIN_DIR_WIN SANDBOX_DLL SANDBOX_DLL_WIN
  mkdir -p "$SANDBOX_PLUGIN_DIR" || return 1
  sandbox_put_library || return 1
  sandbox_reg_add "$SANDBOX_PLUGIN_KEY" PluginDir REG_SZ "$SANDBOX_PLUGIN_DIR_WIN"
}

# sandbox_put_library: a real (32-bit) library at the plug-in's path, which
# the stand-ins can load as Messenger Plus! does.
sandbox_put_library() {
  local dll
  dll=$(_sandbox_fixture plugin_stub.dll) || return 1
  cp "$dll" "$SANDBOX_DLL"
}

# sandbox_seed_messenger: the MSN Messenger folder value (with its trailing
# backslash) and the fake messenger installed there as msnmsgr.exe.
sandbox_seed_messenger() {
  _sandbox_need_init || return 1
  local exe
  exe=$(_sandbox_fixture fake_msnmsgr.exe) || return 1
  SANDBOX_MESSENGER_DIR_WIN=$SANDBOX_PROGRAM_FILES_WIN'\MSN Messenger\'
  SANDBOX_MESSENGER_DIR=$SANDBOX_DRIVE_C/$SANDBOX_PROGRAM_FILES/MSN\ Messenger
  SANDBOX_MESSENGER_EXE_WIN=${SANDBOX_MESSENGER_DIR_WIN}msnmsgr.exe
  SANDBOX_MESSENGER_EXE=$SANDBOX_MESSENGER_DIR/msnmsgr.exe
  SANDBOX_MESSENGER_LOG=$SANDBOX_MESSENGER_DIR/messenger.log
  export SANDBOX_MESSENGER_DIR SANDBOX_MESSENGER_DIR_WIN SANDBOX_MESSENGER_EXE \
    SANDBOX_MESSENGER_EXE_WIN SANDBOX_MESSENGER_LOG
  mkdir -p "$SANDBOX_MESSENGER_DIR" && cp "$exe" "$SANDBOX_MESSENGER_EXE" || return 1
  sandbox_reg_add "$SANDBOX_MESSENGER_KEY" InstallationDirectory REG_SZ "$SANDBOX_MESSENGER_DIR_WIN"
}

# sandbox_msi_installed CODE: true when the package's uninstall entry exists.
sandbox_msi_installed() {
  sandbox_reg_query "$SANDBOX_UNINSTALL_KEY\\$1" DisplayName >/dev/null
}

# sandbox_install_msi ink|infopen: installs the package silently and checks
# that its uninstall entry appeared.
sandbox_install_msi() {
  _sandbox_need_init || return 1
  local name=$1 code msi rc=0
  case $name in
    ink) code=$SANDBOX_INK_CODE ;;
    infopen) code=$SANDBOX_INFOPEN_CODE ;;
    *) _sandbox_err "sandbox_install_msi: unknown package $name"; return 1 ;;
  esac
  msi=$(_sandbox_fixture "$name.msi") || return 1
  cp "$msi" "$SANDBOX_RUN/$name.msi" || return 1
  # msiexec returns once the installation has finished.
  sandbox_wine --timeout 120 msiexec /i "$(sandbox_winpath "$SANDBOX_RUN/$name.msi")" /qn \
    >"$SANDBOX_RUN/msiexec-$name.log" 2>&1 || rc=$?
  if ((rc != 0)); then
    _sandbox_err "msiexec /i $name.msi failed with $rc; see $SANDBOX_RUN/msiexec-$name.log"
    return 1
  fi
  # The entry can lag behind msiexec's exit a little when Wine is busy.
  if ! sandbox_wait_for 'sandbox_msi_installed "$code"' 30; then
    _sandbox_err "$name.msi installed but $SANDBOX_UNINSTALL_KEY\\$code is missing"
    return 1
  fi
}

# sandbox_seed: the whole installation the uninstaller expects.
sandbox_seed() {
  sandbox_seed_plugin && sandbox_seed_messenger &&
    sandbox_install_msi ink && sandbox_install_msi infopen
}

# _sandbox_start_background NAME READY_FILE DIR ARGS...: starts `wine ARGS` in
# DIR in the background and waits until READY_FILE exists; fails early if the
# program ends first. Sets _SANDBOX_BG_PID (a child of the calling shell).
_sandbox_start_background() {
  local name=$1 ready=$2 dir=$3
  shift 3
  rm -f "$ready"
  (cd "$dir" && exec wine "$@" </dev/null >"$SANDBOX_RUN/$name.out" 2>"$SANDBOX_RUN/$name.err") &
  local pid=$!
  _SANDBOX_BG_PID=$pid
  if ! sandbox_wait_for '[[ -e $ready ]] || ! kill -0 "$pid" 2>/dev/null' "$SANDBOX_TIMEOUT" ||
    [[ ! -e $ready ]]; then
    local rc=running
    if ! kill -0 "$pid" 2>/dev/null; then
      rc=0
      wait "$pid" || rc=$?
    fi
    _sandbox_err "$name did not get ready (exit: $rc); see $SANDBOX_RUN/$name.err"
    return 1
  fi
}

# sandbox_start_messenger ARGS...: starts the installed msnmsgr.exe from its
# folder with ARGS (see tests/fixtures/fake_messenger.cpp) and waits until all
# its windows exist. Sets SANDBOX_MESSENGER_PID.
sandbox_start_messenger() {
  _sandbox_need_init || return 1
  if [[ -z ${SANDBOX_MESSENGER_EXE:-} || ! -f $SANDBOX_MESSENGER_EXE ]]; then
    _sandbox_err "sandbox_start_messenger: the messenger is not installed (sandbox_seed_messenger)"
    return 1
  fi
  local ready=$SANDBOX_RUN/messenger.ready
  _sandbox_start_background messenger "$ready" "$SANDBOX_MESSENGER_DIR" \
    msnmsgr.exe "$@" --ready "$(sandbox_winpath "$ready")" || return 1
  export SANDBOX_MESSENGER_PID=$_SANDBOX_BG_PID
}

# sandbox_start_listener: starts listener.exe, which logs each
# MessengerPlus_PluginChange broadcast to $SANDBOX_LISTENER_LOG (created empty
# here). Sets SANDBOX_LISTENER_PID.
sandbox_start_listener() {
  _sandbox_need_init || return 1
  local exe ready=$SANDBOX_RUN/listener.ready
  exe=$(_sandbox_fixture listener.exe) || return 1
  export SANDBOX_LISTENER_LOG=$SANDBOX_RUN/listener.log
  : >"$SANDBOX_LISTENER_LOG"
  _sandbox_start_background listener "$ready" "$SANDBOX_RUN" "$exe" \
    --log "$(sandbox_winpath "$SANDBOX_LISTENER_LOG")" --ready "$(sandbox_winpath "$ready")" ||
    return 1
  export SANDBOX_LISTENER_PID=$_SANDBOX_BG_PID
}

# sandbox_start_watcher COUNT TIMEOUT_MS [PROCESS] [--icon-kind]: starts
# msgbox_watcher.exe in the background; it logs and dismisses message boxes of
# PROCESS (default ScribbitRemoval.exe) into $SANDBOX_WATCHER_LOG (created
# empty here). Sets SANDBOX_WATCHER_PID; see sandbox_wait_watcher.
sandbox_start_watcher() {
  _sandbox_need_init || return 1
  local count=$1 timeout_ms=$2 process=ScribbitRemoval.exe exe
  shift 2
  if [[ $# -gt 0 && $1 != --* ]]; then
    process=$1
    shift
  fi
  exe=$(_sandbox_fixture msgbox_watcher.exe) || return 1
  export SANDBOX_WATCHER_LOG=$SANDBOX_RUN/watcher.log
  : >"$SANDBOX_WATCHER_LOG"
  SANDBOX_WATCHER_TIMEOUT_MS=$timeout_ms
  (cd "$SANDBOX_RUN" && exec wine "$exe" --log "$(sandbox_winpath "$SANDBOX_WATCHER_LOG")" \
    --count "$count" --timeout-ms "$timeout_ms" --process "$process" "$@" \
    </dev/null >"$SANDBOX_RUN/watcher.out" 2>"$SANDBOX_RUN/watcher.err") &
  export SANDBOX_WATCHER_PID=$!
}

# sandbox_wait_watcher: waits for the watcher to end and returns its exit code
# (0: the expected number of boxes came; 1: its own timeout passed first).
sandbox_wait_watcher() {
  local pid=${SANDBOX_WATCHER_PID:?sandbox_start_watcher first}
  local limit=$(((${SANDBOX_WATCHER_TIMEOUT_MS:-0} + 999) / 1000 + 30))
  if ! sandbox_wait_for '! kill -0 "$pid" 2>/dev/null' "$limit"; then
    _sandbox_err "msgbox_watcher outlived its own timeout; killing it"
    kill "$pid" 2>/dev/null
  fi
  local rc=0
  wait "$pid" || rc=$?
  SANDBOX_WATCHER_PID=
  return "$rc"
}

# sandbox_pids [NAME]: Linux pids of the Wine processes of THIS prefix whose
# Windows executable is NAME (case-insensitive); all of them (the wineserver
# included) without NAME.
# Wine 8's tasklist prints nothing, so /proc is read: a Wine process carries
# WINEPREFIX in its environment (children inherit it) and its Windows path as
# argv[0]. Processes of other prefixes, e.g. parallel tests', do not count.
sandbox_pids() {
  local name=${1:-} proc exe
  name=${name,,}
  [[ -n ${WINEPREFIX:-} ]] || return 0
  for proc in /proc/[0-9]*; do
    [[ -r $proc/environ ]] || continue
    # environ is NUL-separated, hence -z.
    grep -qzxF "WINEPREFIX=$WINEPREFIX" "$proc/environ" 2>/dev/null || continue
    # The test's own shell and tools carry WINEPREFIX too: keep Wine's.
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    [[ ${exe##*/} == wine* ]] || continue
    if [[ -n $name ]]; then
      exe=$(tr '\0' '\n' <"$proc/cmdline" 2>/dev/null | head -n1)
      exe=${exe//\"/}
      exe=${exe##*\\}
      exe=${exe##*/}
      [[ ${exe,,} == "$name" ]] || continue
    fi
    printf '%s\n' "${proc#/proc/}"
  done
  return 0
}

# sandbox_process_running NAME: true if a process of this prefix runs NAME.
sandbox_process_running() {
  [[ -n $(sandbox_pids "$1") ]]
}

# sandbox_listing: every directory (with a trailing /) and file under the
# prefix's C: drive, sorted, one relative path a line. Left out: windows/
# (Wine's own files and logs) and the users' Temp folders, where msiexec
# leaves and removes files by itself; nothing else changes unless something
# changes it. The fake messenger adds "Program Files (x86)/MSN Messenger/
# messenger.log" the first time it starts.
sandbox_listing() {
  _sandbox_need_init || return 1
  (cd "$SANDBOX_DRIVE_C" &&
    find . -mindepth 1 \( -path ./windows -o -path './users/*/Temp' \) -prune -o \
      \( -type d -printf '%P/\n' \) -o -printf '%P\n') | LC_ALL=C sort
}

# sandbox_screenshot FILE: a PNG of the whole private screen.
sandbox_screenshot() {
  timeout 30 import -display "$DISPLAY" -window root "$1" ||
    { _sandbox_err "screenshot to $1 failed"; return 1; }
}

# sandbox_cleanup: ends every Wine process of the prefix and the private X
# server. Safe to call more than once; keeps the files for inspection.
sandbox_cleanup() {
  if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
    timeout 30 wineserver -k 2>/dev/null
    # -k signals; -w waits until the server has really gone.
    timeout 30 wineserver -w 2>/dev/null
  fi
  if [[ -n ${SANDBOX_XVFB_PID:-} ]]; then
    kill "$SANDBOX_XVFB_PID" 2>/dev/null
    local end=$((SECONDS + 10))
    while kill -0 "$SANDBOX_XVFB_PID" 2>/dev/null && ((SECONDS < end)); do sleep 0.1; done
    kill -9 "$SANDBOX_XVFB_PID" 2>/dev/null
    wait "$SANDBOX_XVFB_PID" 2>/dev/null
    SANDBOX_XVFB_PID=
  fi
  return 0
}
