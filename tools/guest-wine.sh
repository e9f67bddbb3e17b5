# Sourced inside the emulated test machine: its X display and the 32-bit Wine
# prefix kept in the image (made at the image's first boot).
#   tw_wine_prefix   starts the display, makes the prefix if it is missing, starts wineserver
#   tw_wine_stop     ends wineserver and the display
export WINEARCH=win32 WINEPREFIX=/opt/tw-prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
# The 32-bit loader, named directly: this is what the shipped program runs on.
export TW_WINE=/usr/lib/wine/wine WINELOADER=/usr/lib/wine/wine
export WINESERVER=/usr/lib/wine/wineserver32
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver64
export DISPLAY=:7

tw_wine_prefix() {
  if [ ! -e /tmp/.X11-unix/X7 ]; then
    Xvfb :7 -screen 0 1024x768x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
    TW_XVFB_PID=$!
    for _ in $(seq 100); do [ -e /tmp/.X11-unix/X7 ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 600 "$TW_WINE" wineboot -i >/tmp/wineboot.log 2>&1 || echo "wineboot -i ended with $?"
    timeout 120 "$WINESERVER" -w || true
    # A virtual desktop: without it every hidden window costs seconds.
    timeout 60 "$TW_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    timeout 60 "$TW_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # Classic dialogs want "MS Sans Serif", which Wine ships only as a package.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    local d
    for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
      [ -L "$d" ] && rm -f "$d" && mkdir -p "$d"
    done
    timeout 120 "$WINESERVER" -w || true
  fi
  "$WINESERVER" -p >/dev/null 2>&1
}

tw_wine_stop() {
  timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${TW_XVFB_PID:-}" ] && kill "$TW_XVFB_PID" 2>/dev/null && wait "$TW_XVFB_PID" 2>/dev/null
  return 0
}
