#!/usr/bin/env bash
# Builds the wall-clock shifting preload (tests/preload/timeshift.c) for the
# 64-bit Wine loader: build/timeshift.so, or the file named by $1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/timeshift.so}
mkdir -p "$(dirname "$out")"
src=$root/tests/preload/timeshift.c
# Rebuilt only when the source is newer, so every test run may call this.
if [ -f "$out" ] && [ "$out" -nt "$src" ]; then
  exit 0
fi
tmp=$out.tmp.$$
gcc -shared -fPIC -O2 -Wall -Wextra -o "$tmp" "$src" -ldl
mv -f "$tmp" "$out"
