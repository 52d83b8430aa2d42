# Sourced by test scripts: a private Wine prefix and a private X display.
# Nothing here touches ~/.wine.

export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
WINE_ENV_XVFB_PID=""

# wine_env_display: starts a private Xvfb and exports DISPLAY.
wine_env_display() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "wine_env: no X display could be started" >&2
  return 1
}

# wine_env_prefix DIR: a fresh prefix at DIR, crash dialog off.
wine_env_prefix() {
  export WINEPREFIX="$1"
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  timeout 120 wineboot -i >/dev/null 2>&1 || { echo "wine_env: wineboot failed" >&2; return 1; }
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  timeout 60 wineserver -w
}

# wine_env_cleanup: ends every Wine process of the prefix and the display.
wine_env_cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "$WINE_ENV_XVFB_PID" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    WINE_ENV_XVFB_PID=""
  fi
}
