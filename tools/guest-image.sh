#!/usr/bin/env bash
# Builds the emulated test machine: a Debian bookworm amd64 system whose kernel
# runs 32-bit code, with 32-bit Wine, Xvfb and ImageMagick, as an ext4 image
# plus its kernel and initrd, in a cache folder outside the work tree:
#   ${TW_GUEST_CACHE:-/var/cache/tapwise-guest}/<recipe hash>/{root.ext4,vmlinuz,initrd.img}
# The recipe hash covers this script, the guest's init and its Wine set-up; an unchanged recipe
# is built once. Packages come from the mirror in this machine's apt setup.
# Prints the image folder on success. Every step is bounded in time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${TW_GUEST_CACHE:-/var/cache/tapwise-guest}

# The guest's packages. wine32 is the i386 half; its setup runs in the chroot.
base_pkgs=(linux-image-amd64 initramfs-tools udev kmod xvfb x11-utils xdotool imagemagick procps python3)
wine_pkgs=(wine wine32:i386 wine64 fonts-wine)

recipe=$(cat "$0" "$here/guest-init" "$here/guest-wine.sh" | sha256sum | cut -c1-16)
out=$cache/$recipe
if [ -f "$out/ready" ]; then echo "$out"; exit 0; fi

fail() { echo "guest-image: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
for tool in debootstrap mkfs.ext4 qemu-system-x86_64 flock; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (tools/setup.sh installs it)"
done

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock -w 3600 9 || fail "another image build holds $cache/.lock"
if [ -f "$out/ready" ]; then echo "$out"; exit 0; fi

source "$here/apt-mirror.sh"
mirror=$(apt_mirror)
[ -n "$mirror" ] || fail "no Debian mirror found in the apt configuration"

work=$(mktemp -d "$cache/build.XXXXXX")
root=$work/root
log=$work/build.log
step() { echo "guest-image: $(date +%T) $*" >&2; }
unmount_all() {
  local m
  for m in dev/pts dev proc sys; do mountpoint -q "$root/$m" 2>/dev/null && umount -l "$root/$m"; done
  return 0
}
# Long steps run in the background so that a TERM (a time limit above us)
# reaches this script at once; it ends the step and cleans up.
child=
bounded() {  # seconds, command...
  local secs=$1; shift
  timeout "$secs" "$@" &
  child=$!
  wait "$child"
  local rc=$?
  child=
  return $rc
}
on_exit() {
  [ -n "$child" ] && kill "$child" 2>/dev/null && wait "$child"
  unmount_all
  rm -rf "$work"
}
trap on_exit EXIT
trap 'exit 143' TERM INT

step "debootstrap bookworm from $mirror (log: $log)"
include=$(IFS=,; echo "${base_pkgs[*]}")
bounded 1500 debootstrap --variant=minbase --include="$include" bookworm "$root" "$mirror" >"$log" 2>&1 \
  || { tail -20 "$log" >&2; fail "debootstrap (see above)"; }

step "wine (i386 and amd64) into the chroot"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
chroot "$root" dpkg --add-architecture i386
chroot "$root" apt-get update -qq >>"$log" 2>&1 || fail "apt-get update in the chroot"
# An i386 maintainer script that runs an i386 program fails here with "Exec
# format error" when the build machine's kernel runs no 32-bit code; such a
# package is configured for real at the guest's first boot.
DEBIAN_FRONTEND=noninteractive bounded 1500 chroot "$root" \
  apt-get install -y -q --no-install-recommends "${wine_pkgs[@]}" >>"$log" 2>&1 || true
chroot "$root" dpkg -s wine32:i386 wine64 fonts-wine >/dev/null 2>&1 \
  || { tail -30 "$log" >&2; fail "wine did not unpack in the chroot"; }
chroot "$root" apt-get clean
unmount_all

step "guest set-up"
install -m 755 "$here/guest-init" "$root/sbin/tw-guest-init"
echo tapwise-guest >"$root/etc/hostname"
printf '/dev/vda / ext4 rw 0 1\n' >"$root/etc/fstab"
cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
cp "$root"/boot/initrd.img-* "$work/initrd.img"

step "ext4 image"
bounded 600 mkfs.ext4 -q -F -L tapwise-guest -d "$root" "$work/root.ext4" 6G >>"$log" 2>&1 \
  || { tail -5 "$log" >&2; fail "mkfs.ext4 -d"; }
rm -rf "$root"

# First boot, writing into the image: finishes the i386 package set-up and
# keeps a ready 32-bit Wine prefix, so that test runs start from it.
step "first boot: package set-up and the 32-bit prefix"
mkdir -p "$work/share"
cat >"$work/share/prepare.sh" <<'PREPARE'
set -x
dpkg --configure -a
dpkg --audit && echo "packages: all configured"
. /mnt/share/guest-wine.sh
tw_wine_prefix
tw_wine_stop
test -f "$WINEPREFIX/system.reg" && test -d "$WINEPREFIX/drive_c/windows/syswow64" && exit 1
test -f "$WINEPREFIX/system.reg"
PREPARE
cp "$here/guest-wine.sh" "$work/share/"
TW_GUEST_IMAGE=$work TW_GUEST_WRITABLE=1 bounded 1200 "$here/guest-run.sh" "$work/share" "$work/share/prepare.sh" 1100 \
  >>"$log" 2>&1 || { tail -30 "$log" "$work/share/guest.log" >&2; fail "the first boot"; }

rm -rf "$work/share" "$work/root"
mv "$log" "$work/build.log.kept"
touch "$work/ready"
rm -rf "$out"
mv "$work" "$out"
trap - EXIT
# Older recipes' images are no longer needed.
for old in "$cache"/*/; do
  [ "${old%/}" = "$out" ] || rm -rf "$old"
done
step "ready: $out"
echo "$out"
