#!/usr/bin/env bash
# Builds Tapwise and runs its installer under Wine. On your X display when
# $DISPLAY is set (the installer, the tray icon and the statistics window
# appear there; the script waits until the program ends), otherwise on a
# virtual display, leaving screenshots to look at in build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tools/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2
# The same sources for 64-bit Wine: this script runs what the machine can
# execute (some kernels run no 32-bit code at all).
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DTW_BUILD_TESTS=ON >/dev/null
cmake --build build/win64 -j2 --target Tapwise robot
echo "Windows program: $root/build/bin/Tapwise.exe (32-bit, with Tapwise.dll beside it)"

source tools/wine-session.sh
[ -n "${DISPLAY:-}" ] && export TW_USE_DISPLAY=1
tw_session_start "$root/build/wine-prefix"
trap tw_session_stop EXIT
shots=$root/build/screenshots
mkdir -p "$shots"

setup_dir=$WINEPREFIX/drive_c/TapwiseSetup
mkdir -p "$setup_dir"
cp build/win64/bin/Tapwise.exe "$setup_dir/Tapwise.exe"
robot() { timeout 60 "$TW_WINE" "$root/build/win64/testbin/robot.exe" "$@" >"$root/build/robot.out" 2>&1 </dev/null; cat "$root/build/robot.out"; }

timeout 600 "$TW_WINE" 'C:\TapwiseSetup\Tapwise.exe' >"$root/build/installer.log" 2>&1 </dev/null &
installer=$!
if [ -z "$TW_XVFB_PID" ]; then
  echo "Tapwise is installing on $DISPLAY. Close the message, then use the tray icon; Terminate ends it."
  wait "$installer" || true
  "$WINESERVER" -w
  exit 0
fi

title='Tapwise for (Your Company) by Orrinwood Media'
robot wait '#32770' "$title" 30000 visible >/dev/null
sleep 1
import -display "$DISPLAY" -window root "$shots/run-1-installed.png"
robot answer "$title" IDOK 5000 >/dev/null
wait "$installer" || true
main=$(robot wait Orrinwood-Tapwise - 15000 | tr -d '\r')
robot post "$main" 0x111 40002 0 >/dev/null
sleep 3
import -display "$DISPLAY" -window root "$shots/run-2-statistics.png"
echo "Tapwise ran on the virtual display $DISPLAY. Screenshots:"
echo "  $shots/run-1-installed.png   (installer's message, tray icon)"
echo "  $shots/run-2-statistics.png  (statistics window)"
