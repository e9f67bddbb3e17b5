#!/usr/bin/env bash
# Shows the rig's message isolation between tokens: a window of a process with
# the full token receives messages from a process with the limited half only
# when they are on the allowed list; with the switch off every one arrives, as
# in stock Wine. Needs the x86_64 test build (build/win64). Prints one line per
# case; exit code 0 when every case came out as expected.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
robot=$root/build/win64/testbin/robot.exe
[ -f "$robot" ] || { echo "uipi-demo: build build/win64 first" >&2; exit 2; }
source "$root/tools/wine-session.sh"
source "$root/tools/wine-rig/session.sh"
out=$(mktemp -d /tmp/tw-uipi.XXXXXX)
win() { winepath -w "$1" 2>/dev/null || echo "Z:${1//\//\\}"; }

r() {  # robot command; its first output line
  timeout 60 "$TW_WINE" "$robot" "$@" >"$out/r.txt" 2>&1
  head -1 "$out/r.txt" | tr -d '\r'
}

# One message from a limited copy of the robot (through cmd, whose redirection
# keeps the answer), then the same from a full one: "ok" or "error CODE".
send_as() {  # limited|full, post|send, window, message
  local who=$1 verb=$2 hwnd=$3 msg=$4
  rm -f "$out/lim.txt"
  if [ "$who" = limited ]; then
    local pid
    pid=$(r spawn 'C:\windows\system32\cmd.exe' \
      "cmd /c $(win "$robot") $verb $hwnd $msg 0 0 why > $(win "$out")\\lim.txt" limited)
    r wait-exit "$pid" 30000 >/dev/null
    cat "$out/lim.txt" 2>/dev/null | tr -d '\r' >"$out/r.txt"
  else
    timeout 60 "$TW_WINE" "$robot" "$verb" "$hwnd" "$msg" 0 0 why >"$out/r.txt" 2>&1
  fi
  grep -o 'error [0-9]*' "$out/r.txt" || echo ok
}

failed=0
for switch in "" 1; do
  export TW_RIG_UIPI=$switch
  tw_rig_session_start >/dev/null 2>&1
  echo "server $(readlink /proc/"$(pgrep -n -f "$WINESERVER")"/exe), TW_RIG_UIPI=${TW_RIG_UIPI:-off}"
  (timeout 120 "$TW_WINE" "$robot" idle 100000 >/dev/null 2>&1 &)
  hwnd=$(r wait Tapwise-Test-Idle - 20000)
  # message, expected from the limited copy with the switch on
  for c in "post 0x400 error 5" "post 0x111 error 5" "send 0x400 error 5" "postthread 0x400 error 5" \
           "post 0x0 ok" "send 0xE ok" "postthread 0x0 ok"; do
    set -- $c
    for who in limited full; do
      want=ok
      [ "$switch" = 1 ] && [ $who = limited ] && want="${*:3}"
      got=$(send_as $who "$1" "$hwnd" "$2")
      mark=ok; [ "$got" = "$want" ] || { mark=UNEXPECTED; failed=1; }
      echo "TW_RIG_UIPI=${switch:-off} $who $1 $2: $got ($mark)"
    done
  done
  tw_session_stop
done
[ -n "${TW_RIG_UIPI_LOG:-}" ] && echo "refusals logged: $(wc -l <"$TW_RIG_UIPI_LOG")"
rm -rf "$out"
exit $failed
