#!/usr/bin/env bash
# Builds everything and runs every test: the platform-free code natively under
# ASan+UBSan (and the shared counters under TSan), the shipped 32-bit build's
# binary checks and its code executed (the hook library on an emulated CPU, the
# platform-free code built for i686 Linux under qemu-i386), then the Win32 and
# end-to-end tests under Wine on a virtual display with a throwaway prefix.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tools/setup.sh || exit 1

# --- emulated 32-bit machine (ctest label i686vm) -------------------------------
# Its image (tools/guest-image.sh, cached outside the work tree) builds in the
# background, at low priority, while the other tests run; the journey test
# waits for it at the end and fails clearly if it could not be built.
mkdir -p build
rm -f build/guest-image.rc build/guest-image.pid
setsid bash -c 'nice -n 19 tools/guest-image.sh >build/guest-image.log 2>&1; echo $? >build/guest-image.rc' &
echo $! >build/guest-image.pid
# --- the Wine test rig (ctest label rig) -----------------------------------------
# Built in the background too (tools/wine-rig.sh, cached like the image); the
# rig's scenarios run last, in a session of their own on it.
rm -f build/wine-rig.rc
setsid bash -c 'nice -n 10 tools/wine-rig.sh >build/wine-rig.log 2>&1; echo $? >build/wine-rig.rc' &
# --------------------------------------------------------------------------------

results=()
run_ctest() {  # name, build dir, extra ctest args...
  local name=$1 dir=$2; shift 2
  local log=$dir/ctest.log
  ctest --test-dir "$dir" --output-on-failure "$@" 2>&1 | tee "$log"
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -1)
  local failed total
  failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  [ -n "$summary" ] || { failed=1; total=1; echo "$name: no test summary" >&2; }
  results+=("$name $((total - failed)) $failed")
}

build() {  # dir, cmake args...
  local dir=$1; shift
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
  cmake --build "$dir" -j2 || return 1
}

mkdir -p build
build build/native -DTW_SANITIZE=address && run_ctest native build/native -j2 || results+=("native 0 1")
build build/native-tsan -DTW_SANITIZE=thread && run_ctest native-tsan build/native-tsan -R 'Thread' || results+=("native-tsan 0 1")
build build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  && run_ctest win32-binary build -LE '^i686vm$' || results+=("win32-binary 0 1")

if build build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DTW_BUILD_TESTS=ON; then
  source tools/wine-session.sh
  tw_session_start
  trap tw_session_stop EXIT
  export TW_SCREENSHOTS=$root/build/screenshots
  mkdir -p "$TW_SCREENSHOTS"
  run_ctest wine build/win64 --timeout 600 -LE '^rig$'
  tw_session_stop
  trap - EXIT
  # tools/wine-rig.sh waits for the background build through its lock.
  if TW_RIG=1 tw_session_start; then
    trap tw_session_stop EXIT
    run_ctest rig build/win64 --timeout 600 -L '^rig$'
    tw_session_stop
    trap - EXIT
  else
    tw_session_stop
    cat build/wine-rig.log
    results+=("rig 0 1")
  fi
else
  results+=("wine 0 1" "rig 0 1")
fi

# --- emulated 32-bit machine: the shipped build's journey in 32-bit Wine --------
if [ -f build/build.ninja ]; then
  run_ctest i686vm build -L '^i686vm$'
else
  results+=("i686vm 0 1")
fi
guest_pid=$(cat build/guest-image.pid 2>/dev/null)
if [ -n "$guest_pid" ] && kill -0 "$guest_pid" 2>/dev/null; then
  echo "ending the unfinished machine image build"
  kill -- "-$guest_pid" 2>/dev/null
fi
# --------------------------------------------------------------------------------

passed=0; failed=0
echo
for r in "${results[@]}"; do
  set -- $r
  printf '%-14s %4d passed, %d failed\n' "$1" "$2" "$3"
  passed=$((passed + $2)); failed=$((failed + $3))
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
