#!/usr/bin/env bash
# The shipped 32-bit Tapwise.exe and Tapwise.dll through a user's whole
# journey (tests/e2e/guest_journey.py) in 32-bit Wine, on the emulated machine
# of tools/guest-image.sh, driven by the 32-bit robot:
#   tools/guest-journey.sh [BUILD_DIR]     (default: build, the 32-bit build)
# Screenshots come back as BUILD_DIR/screenshots/i686-*.png. When tools/test.sh
# builds the machine image in the background, this waits for that build
# (bounded) and fails at once if it failed. TW_GUEST_IMAGE names an image
# folder to use instead of the one of the current recipe.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=$(cd "${1:-$src/build}" && pwd)
fail() { echo "FAIL: $*"; exit 1; }
for f in bin/Tapwise.exe bin/Tapwise.dll testbin32/robot.exe; do
  [ -f "$build/$f" ] || fail "$build/$f is missing (build the 32-bit build first)"
done

t0=$(date +%s)
bg=$build/guest-image
if [ -f "$bg.pid" ] && [ ! -f "$bg.rc" ]; then
  echo "waiting for the machine image being built in the background ($bg.log)"
  limit=${TW_GUEST_WAIT:-1800}
  while [ ! -f "$bg.rc" ] && kill -0 "$(cat "$bg.pid")" 2>/dev/null; do
    [ $(( $(date +%s) - t0 )) -lt "$limit" ] || fail "the machine image was not ready after ${limit}s (see $bg.log)"
    sleep 5
  done
fi
if [ -f "$bg.rc" ] && [ "$(cat "$bg.rc")" != 0 ]; then
  tail -30 "$bg.log"
  fail "the machine image could not be built (see $bg.log)"
fi
image=${TW_GUEST_IMAGE:-}
if [ -z "$image" ]; then
  image=$(timeout 2400 "$here/guest-image.sh" 2>>"$bg.log") || { tail -30 "$bg.log"; fail "the machine image could not be built"; }
fi
export TW_GUEST_IMAGE=$image
echo "machine image $image, ready after $(( $(date +%s) - t0 ))s"

share=$(mktemp -d /tmp/tw-guest.XXXXXX)
trap 'rm -rf "$share"' EXIT
mkdir -p "$share/bin" "$share/e2e" "$share/shots"
cp "$build/bin/Tapwise.exe" "$build/bin/Tapwise.dll" "$build/testbin32/robot.exe" "$share/bin/"
cp "$src"/tests/e2e/{twlib,tapwise_ui,test_journey,guest_journey}.py "$share/e2e/"
cp "$here/guest-wine.sh" "$share/"
cat >"$share/journey.sh" <<'EOF'
# Inside the machine: the journey in the prefix kept in the image, programs
# run from a local copy (Wine maps them; the shared folder is only for transfer).
. /mnt/share/guest-wine.sh
mkdir -p /tmp/tw && cp -r /mnt/share/bin /mnt/share/e2e /tmp/tw/
t0=$(date +%s)
tw_wine_prefix
echo "prefix and display ready in $(( $(date +%s) - t0 ))s"
TW_BIN=/tmp/tw/bin TW_TEST_BIN=/tmp/tw/bin TW_SOURCE=/tmp/tw TW_SCREENSHOTS=/mnt/share/shots TW_SETTLE=3 \
  timeout 900 python3 /tmp/tw/e2e/guest_journey.py
rc=$?
echo "journey ran $(( $(date +%s) - t0 ))s"
tw_wine_stop
exit $rc
EOF

"$here/guest-run.sh" "$share" "$share/journey.sh" "${TW_GUEST_LIMIT:-1200}"
rc=$?
cat "$share/guest.log" 2>/dev/null
mkdir -p "$build/screenshots"
rm -f "$build"/screenshots/i686-*.png
for f in "$share"/shots/*.png; do
  [ -f "$f" ] || continue
  name=$(basename "$f")
  case $name in i686-*) ;; *) name=i686-$name ;; esac
  cp "$f" "$build/screenshots/$name"
done
echo "screenshots: $(cd "$build/screenshots" && ls i686-*.png 2>/dev/null | tr '\n' ' ')"
echo "whole run $(( $(date +%s) - t0 ))s"
[ "$rc" = 0 ] || fail "the journey in the 32-bit machine (exit code $rc)"
echo "PASS"
