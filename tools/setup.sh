#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again:
# it only calls apt-get when something is missing.
set -euo pipefail

pkgs=(cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest
      wine wine64 xvfb xdotool imagemagick python3-pefile
      liblnk-utils icoutils fonts-wine x11-utils
      python3-unicorn qemu-user g++-i686-linux-gnu clang-format osslsigncode openssl)
# The emulated 32-bit machine (tools/guest-image.sh, tools/guest-run.sh).
pkgs+=(qemu-system-x86 debootstrap e2fsprogs)
# The Wine rig (tools/wine-rig.sh): Wine's server and win32u.so built from
# Debian's source package, with FreeType and fontconfig as Debian builds them.
pkgs+=(dpkg-dev gcc make patch perl pkg-config libfreetype-dev libfontconfig-dev)

need_root() { if [ "$(id -u)" -ne 0 ]; then echo sudo; fi; }
SUDO=$(need_root)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
