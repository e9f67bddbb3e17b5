#!/usr/bin/env bash
# Shows the rig's virtualization shim at work: shim/selftest.c, built and made
# a shim copy, lays out a key under HKLM\Software and a file in Program Files
# with the full token, then checks each emulated rule with the limited half of
# the token (registry, files, the message filter's atoms, "runas" starting the
# full half); last, what the machine's side and the person's virtual store
# hold afterwards. Needs the x86_64 test build (build/win64) for the robot.
# Prints one line per failed check; exit code 0 when every check held.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
robot=$root/build/win64/testbin/robot.exe
[ -f "$robot" ] || { echo "shim-demo: build build/win64 first" >&2; exit 2; }
source "$root/tools/wine-session.sh"
source "$root/tools/wine-rig/session.sh"
out=$(mktemp -d /tmp/tw-shim.XXXXXX)
trap 'tw_session_stop; rm -rf "$out"' EXIT
x86_64-w64-mingw32-gcc -O1 -o "$out/check.exe" "$root/tools/wine-rig/shim/selftest.c" -ladvapi32 -lshell32 -luser32 ||
  exit 2
tw_rig_session_start >/dev/null 2>&1 && tw_rig_install_shim || exit 2
"$TW_RIG_SHIM_COPY" "$out/check.exe" "$WINEPREFIX/drive_c/shimcheck.exe" || exit 2

r() {  # robot command; its first output line
  timeout 60 "$TW_WINE" "$robot" "$@" >"$out/r.txt" 2>&1
  head -1 "$out/r.txt" | tr -d '\r'
}
timeout 60 "$TW_WINE" 'C:\shimcheck.exe' seed >/dev/null 2>&1
pid=$(r spawn 'C:\shimcheck.exe' 'shimcheck.exe limited C:\shimcheck.txt' limited)
r wait-exit "$pid" 60000 >/dev/null
tr -d '\r' <"$WINEPREFIX/drive_c/shimcheck.txt" >"$out/result.txt" 2>/dev/null
cat "$out/result.txt"
failed=0
grep -qx '0 failures' "$out/result.txt" || { failed=1; echo "the limited check did not end with 0 failures"; }
expect() {  # what, expected, found
  local mark=ok
  [ "$2" = "$3" ] || { mark=UNEXPECTED; failed=1; }
  echo "$1: $3 ($mark)"
}
expect "machine's value written by the limited copy" NOVALUE "$(r regget 'Software\TwShimCheck' Person)"
expect "person's copy of it" "4 4 30" \
  "$(r regget 'HKCU\Software\Classes\VirtualStore\MACHINE\SOFTWARE\TwShimCheck' Person)"
expect "machine's file" machine "$(cat "$WINEPREFIX/drive_c/Program Files/TwShimCheck/data.txt")"
exit $failed
