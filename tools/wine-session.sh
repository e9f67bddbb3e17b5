# Sourced by the run and test scripts: one throwaway Wine prefix on its own
# X display for the length of a run.
#   tw_session_start [prefix]   sets WINEPREFIX, DISPLAY and friends, boots the prefix
#   tw_session_stop             ends wineserver and Xvfb, removes the prefix
# A display already in $DISPLAY is used when TW_USE_DISPLAY=1. With TW_RIG=1
# the session runs on the test rig (tools/wine-rig.sh) with all its switches
# on: the prefix is booted, then the rig's server takes over.

tw_session_start() {
  # The 64-bit loader, named directly: /usr/bin/wine would pick a 32-bit
  # loader if one is installed, and this machine cannot run 32-bit code.
  export TW_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver64
  export WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  export WINEPREFIX=${1:-$(mktemp -d /tmp/tapwise-wine.XXXXXX)}
  TW_OWN_PREFIX=${1:+0}; TW_OWN_PREFIX=${TW_OWN_PREFIX:-1}
  TW_XVFB_PID=
  if [ "${TW_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    local n=$(( 90 + RANDOM % 400 ))
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    TW_XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 180 "$TW_WINE" wineboot -i >/dev/null 2>&1 || true
    timeout 60 "$WINESERVER" -w || true
    # A virtual desktop: without it every hidden window costs seconds.
    timeout 30 "$TW_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    timeout 30 "$TW_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # Classic dialogs want "MS Sans Serif", which Wine ships only as a package.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # The desktop folders point into $HOME otherwise.
    local d
    for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
      [ -L "$d" ] && rm -f "$d" && mkdir -p "$d"
    done
    timeout 60 "$WINESERVER" -w || true
  fi
  if [ "${TW_RIG:-0}" = 1 ]; then
    source "$(dirname "${BASH_SOURCE[0]}")/wine-rig/session.sh"
    tw_rig_take_over all || return 1
  else
    "$WINESERVER" -p >/dev/null 2>&1
  fi
}

tw_session_stop() {
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${TW_XVFB_PID:-}" ] && kill "$TW_XVFB_PID" 2>/dev/null && wait "$TW_XVFB_PID" 2>/dev/null
  if [ "${TW_OWN_PREFIX:-0}" = 1 ] && [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    rm -rf "$WINEPREFIX"
  fi
  return 0
}
