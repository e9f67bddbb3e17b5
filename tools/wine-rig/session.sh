# Sourced after tools/wine-session.sh: one throwaway session whose wineserver
# is the rig's. The prefix is booted by stock Wine, then the stock server
# makes way for the rig's, which every later Wine call of the session reaches.
#   tw_rig_session_start [prefix]   as tw_session_start; TW_RIG_UIPI as set by the caller
#   tw_session_stop                 unchanged
tw_rig_session_start() {
  local uipi=${TW_RIG_UIPI:-} rig
  rig=$("$(dirname "${BASH_SOURCE[0]}")/../wine-rig.sh") || return 1
  tw_session_start "$@"
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
  source "$rig/env.sh"
  export TW_WINE=$rig/bin/wine WINELOADER=/usr/lib/wine/wine64 WINESERVER=$rig/bin/wineserver
  # The server reads its switches once, from its own environment.
  if [ -n "$uipi" ]; then
    export TW_RIG_UIPI=$uipi
    "$WINESERVER" -p >/dev/null 2>&1
  else
    unset TW_RIG_UIPI
    env -u TW_RIG_UIPI "$WINESERVER" -p >/dev/null 2>&1
  fi
}

# The virtualization shim where every program of the session finds it: test
# copies written by shim-copy import TWRIG.dll, and setup copies itself into
# Program Files. Call after tw_rig_session_start.
tw_rig_install_shim() {
  [ -f "${TW_RIG_SHIM:-}" ] || { echo "tw_rig_install_shim: no shim at TW_RIG_SHIM='${TW_RIG_SHIM:-}'" >&2; return 1; }
  cp "$TW_RIG_SHIM" "$WINEPREFIX/drive_c/windows/system32/TWRIG.dll"
}
