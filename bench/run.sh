#!/usr/bin/env bash
# The benchmarks in one command: installs what the build needs, builds the
# shipped 32-bit program (for its sizes and disassembly) and the 64-bit build
# with the benchmark programs, runs them all in a Wine session of their own
# and writes bench/RESULTS.md, which it prints. Not part of the test suite.
# Arguments go on to bench.py: --answer runs only the hook thread's answer
# time and prints its rows, --memory only the memory rows, --history only
# the History page's opening; RESULTS.md stays.
# TW_BENCH_BEFORE=DIR adds the hook cost of an earlier revision: DIR holds its
# x86_64 benchbin/hook_cost.exe and bin/Tapwise.dll, and its i686 Tapwise.dll
# as Tapwise-i686.dll; TW_BENCH_BEFORE_LABEL names it in the report.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)
bash tools/setup.sh

build() {  # dir, log name, cmake args...; then the targets after "--"
  local dir=$1 name=$2; shift 2
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  for t in "$@"; do targets+=(--target "$t"); done
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >"build/bench-$name.configure.log" 2>&1 \
    || { cat "build/bench-$name.configure.log"; exit 1; }
  cmake --build "$dir" -j2 "${targets[@]}"
}
mkdir -p build
echo "[bench] building the shipped 32-bit program (build/)"
build build i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
echo "[bench] building the 64-bit program and the benchmarks (build/win64)"
build build/win64 x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DTW_BUILD_TESTS=ON \
  -- Tapwise robot bench

echo "[bench] starting a Wine session"
source tools/wine-session.sh
tw_session_start
trap tw_session_stop EXIT

export TW_BIN=$root/build/win64/bin TW_TEST_BIN=$root/build/win64/testbin
export TW_BENCH_BIN=$root/build/win64/benchbin TW_I686_BIN=$root/build/bin
# Bounded as a whole; every Wine call inside has its own limit too.
timeout 1800 /usr/bin/python3 bench/bench.py "$root/bench/RESULTS.md" "$@"

echo
cat bench/RESULTS.md
echo
echo "[bench] whole run: $(( $(date +%s) - started )) s"
