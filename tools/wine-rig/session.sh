# Sourced after tools/wine-session.sh: sessions whose wineserver is the rig's.
#   TW_RIG=1 tw_session_start [prefix]   a session on the rig, every switch on
#   tw_rig_session_start [prefix]        the same, with only the switches the
#                                        caller exported (TW_RIG_UIPI, TW_RIG_XHOOK)
#                                        and test copies not made shim copies
#   tw_session_stop                      unchanged

# The booted prefix's stock server makes way for the rig's, which every later
# Wine call of the session reaches. The server reads its switches once, from
# its own environment. Argument "chosen": keep the caller's switches.
tw_rig_take_over() {
  local rig chosen switch
  chosen=$(for switch in TW_RIG_UIPI TW_RIG_XHOOK; do
             [ "$1" = chosen ] && printf '%s=%q\n' "$switch" "${!switch:-}"; done)
  rig=$("$(dirname "${BASH_SOURCE[0]}")/../wine-rig.sh") || return 1
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
  source "$rig/env.sh"
  export TW_WINE=$rig/bin/wine
  if [ -n "$chosen" ]; then
    eval "$chosen"
    for switch in TW_RIG_UIPI TW_RIG_XHOOK; do
      if [ -n "${!switch}" ]; then export "$switch"; else unset "$switch"; fi
    done
    # Test copies stay plain: shim-copy writes a shim copy on request.
    unset TW_RIG_SHIM_COPY
  fi
  if declare -F tw_rig_install_shim >/dev/null; then tw_rig_install_shim || return 1; fi
  "$WINESERVER" -p >/dev/null 2>&1
}

tw_rig_session_start() {
  TW_RIG=0 tw_session_start "$@" || return 1
  tw_rig_take_over chosen
}

# The virtualization shim where every program of the session finds it: test
# copies written by shim-copy import TWRIG.dll, and setup copies itself into
# Program Files. Call after tw_rig_session_start.
tw_rig_install_shim() {
  [ -f "${TW_RIG_SHIM:-}" ] || { echo "tw_rig_install_shim: no shim at TW_RIG_SHIM='${TW_RIG_SHIM:-}'" >&2; return 1; }
  cp "$TW_RIG_SHIM" "$WINEPREFIX/drive_c/windows/system32/TWRIG.dll"
}
