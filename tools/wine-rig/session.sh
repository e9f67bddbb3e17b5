# Sourced after tools/wine-session.sh: one throwaway session whose wineserver
# is the rig's. The prefix is booted by stock Wine, then the stock server
# makes way for the rig's, which every later Wine call of the session reaches.
#   tw_rig_session_start [prefix]   as tw_session_start; TW_RIG_UIPI and TW_RIG_XHOOK as set by the caller
#   tw_session_stop                 unchanged
tw_rig_session_start() {
  local uipi=${TW_RIG_UIPI:-} xhook=${TW_RIG_XHOOK:-} rig
  rig=$("$(dirname "${BASH_SOURCE[0]}")/../wine-rig.sh") || return 1
  tw_session_start "$@"
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
  source "$rig/env.sh"
  export TW_WINE=$rig/bin/wine WINELOADER=/usr/lib/wine/wine64 WINESERVER=$rig/bin/wineserver
  # The server reads its switches once, from its own environment.
  if [ -n "$xhook" ]; then export TW_RIG_XHOOK=$xhook; else unset TW_RIG_XHOOK; fi
  if [ -n "$uipi" ]; then
    export TW_RIG_UIPI=$uipi
    "$WINESERVER" -p >/dev/null 2>&1
  else
    unset TW_RIG_UIPI
    env -u TW_RIG_UIPI "$WINESERVER" -p >/dev/null 2>&1
  fi
}
