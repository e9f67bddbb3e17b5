#!/usr/bin/env bash
# Boots the emulated test machine made by tools/guest-image.sh and runs one
# script inside it:  tools/guest-run.sh SHARE SCRIPT [SECONDS]
# SHARE is a host folder the machine sees as /mnt/share (files in and out);
# SCRIPT is copied there and run by bash as root; its output comes back as
# SHARE/guest.log, its exit code as SHARE/guest.rc, the machine's console as
# SHARE/console.log. The disk image stays untouched (a throwaway overlay)
# unless TW_GUEST_WRITABLE=1. The whole run is bounded by SECONDS (default 600).
# TW_GUEST_IMAGE names the image folder (default: tools/guest-image.sh's);
# TW_GUEST_KERNEL_ARGS replaces "quiet" on the kernel command line.
# Exit code: the script's, or 90 and a message saying which step failed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
share=${1:?share folder}; script=${2:?script}; limit=${3:-600}

fail() { echo "guest-run: FAILED: $*" >&2; exit 90; }
image=${TW_GUEST_IMAGE:-}
if [ -z "$image" ]; then
  image=$("$here/guest-image.sh") || fail "no machine image"
fi
for f in root.ext4 vmlinuz initrd.img; do
  [ -f "$image/$f" ] || fail "$image/$f is missing"
done
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is not installed (tools/setup.sh)"

mkdir -p "$share"
share=$(cd "$share" && pwd)
[ "$(cd "$(dirname "$script")" && pwd)/$(basename "$script")" = "$share/guest.sh" ] || cp "$script" "$share/guest.sh"
basename "$script" >"$share/guest.name"
rm -f "$share/guest.rc" "$share/guest.log" "$share/console.log"

drive="file=$image/root.ext4,format=raw,if=virtio"
if [ "${TW_GUEST_WRITABLE:-0}" = 1 ]; then drive="$drive,cache=writeback"; else drive="$drive,cache=unsafe,snapshot=on"; fi
# tcg: no usable hardware virtualisation here. -smap off: with it, every
# 32-bit Wine process dies at an iret under the emulator.
# panic=: a kernel or initramfs that cannot go on restarts, which -no-reboot
# turns into qemu's end instead of a rescue shell waiting forever.
started=$(date +%s)
# In the background, so that a TERM from a time limit above us ends the machine too.
trap '[ -n "${qemu:-}" ] && kill "$qemu" 2>/dev/null; exit 143' TERM INT
timeout --kill-after=15 "$limit" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 4G \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
  -append "root=/dev/vda rw init=/sbin/tw-guest-init console=ttyS0 panic=5 ${TW_GUEST_KERNEL_ARGS:-quiet}" \
  -drive "$drive" \
  -fsdev local,id=share,path="$share",security_model=none \
  -device virtio-9p-pci,fsdev=share,mount_tag=share \
  -nic none -display none -monitor none -serial file:"$share/console.log" -no-reboot \
  </dev/null >"$share/qemu.log" 2>&1 &
qemu=$!
wait "$qemu"
qemu_rc=$?
qemu=
took=$(( $(date +%s) - started ))
echo "guest-run: machine ran ${took}s" >&2

if [ ! -f "$share/guest.rc" ]; then
  console=$share/console.log
  if [ "$qemu_rc" -eq 124 ] || [ "$qemu_rc" -eq 137 ]; then why="time limit of ${limit}s reached"; else why="qemu ended with $qemu_rc"; fi
  tail -5 "$share/qemu.log" >&2
  tail -15 "$console" >&2 2>/dev/null
  if grep -qE 'Gave up waiting for root|ALERT! .* does not exist|VFS: Unable to mount root' "$console" 2>/dev/null; then
    fail "the root disk was not found ($why)"
  elif ! grep -q 'tw-guest: running' "$console" 2>/dev/null; then
    grep -q 'shared folder did not mount' "$console" 2>/dev/null && fail "the shared folder did not mount"
    fail "the machine did not boot to the script ($why)"
  else
    tail -20 "$share/guest.log" >&2 2>/dev/null
    fail "the script did not finish ($why)"
  fi
fi
rc=$(cat "$share/guest.rc")
[ "$rc" = 0 ] || { tail -30 "$share/guest.log" >&2; echo "guest-run: the script failed with exit code $rc" >&2; }
exit "$rc"
