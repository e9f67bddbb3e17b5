#!/usr/bin/env bash
# Builds the virtualization shim into OUT_DIR: TWRIG.dll, its generated
# export list and shimtool.py (shim-copy's worker). Needs x86_64-w64-mingw32
# and Wine's own PE libraries, whose export tables the forwarders follow.
#   build.sh OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
windlls=${TW_RIG_WINE_PE:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
mkdir -p "$out"
python3 "$here/shimtool.py" def "$out/TWRIG.def" "$here" \
  "$windlls/kernel32.dll" "$windlls/advapi32.dll" "$windlls/shell32.dll"
x86_64-w64-mingw32-gcc -std=c11 -O2 -Wall -Wextra -Wno-cast-function-type -shared -nostdlib \
  -o "$out/TWRIG.dll" "$here"/shim.c "$here"/registry.c "$here"/files.c "$here"/filter.c "$out/TWRIG.def" \
  -Wl,--enable-stdcall-fixup -Wl,-e,DllMain -Wl,--exclude-all-symbols \
  -lkernel32 -ladvapi32 -lshell32 -luser32 -lmsvcrt -lgcc
x86_64-w64-mingw32-strip "$out/TWRIG.dll"
cp "$here/shimtool.py" "$out/shimtool.py"
