#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Boots a Debian kernel with the ALSA sequencer in an emulated machine and runs a check program
# there, for a host whose own kernel has no sequencer. The kernel package is downloaded (not
# installed) once into WORK; the initramfs holds busybox, the program with its libraries, the
# sound modules and ALSA's configuration.
#   run_in_guest.sh PROGRAM WORK
set -euo pipefail
program="$1"
work="$2"
modules=(soundcore snd snd-timer snd-seq-device snd-seq snd-seq-dummy)

mkdir -p "$work/kernel"
kernel_dir="$work/kernel"
if [ ! -f "$kernel_dir/ready" ]; then
  package="$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')"
  rm -rf "$kernel_dir" && mkdir -p "$kernel_dir"
  if ! (cd "$kernel_dir" && apt-get download -q "$package" >/dev/null 2>&1); then
    echo "run_in_guest: cannot download the kernel package '$package' (apt-get update first?)" >&2
    exit 1
  fi
  (cd "$kernel_dir" && dpkg-deb -x ./*.deb unpacked && rm -f ./*.deb)
  touch "$kernel_dir/ready"
fi
vmlinuz="$(ls "$kernel_dir"/unpacked/boot/vmlinuz-*)"
sound="$(ls -d "$kernel_dir"/unpacked/lib/modules/*/kernel/sound)"

root="$work/root"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules,usr/share}
cp /bin/busybox "$root/bin/"
for applet in sh mount insmod poweroff sleep cat; do ln -s busybox "$root/bin/$applet"; done
cp "$program" "$root/bin/check"
ldd "$program" | awk '$3 ~ /^\// {print $3} $1 ~ /^\// {print $1}' | while read -r lib; do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
for module in "${modules[@]}"; do
  cp "$(find "$sound" -name "$module.ko")" "$root/modules/"
done
cp -r /usr/share/alsa "$root/usr/share/"
cat >"$root/init" <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for module in MODULES; do insmod /modules/$module.ko || echo "guest: insmod $module failed"; done
HOME=/tmp JACK_NO_START_SERVER=1 /bin/check
echo "guest: exit $?"
poweroff -f
INIT
sed -i "s/MODULES/${modules[*]}/" "$root/init"
chmod +x "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"

# Full emulation: the boot takes seconds, and KVM inside a virtual machine can hang.
timeout 600 qemu-system-x86_64 -accel tcg -cpu max -m 1024 -nographic -no-reboot \
  -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 loglevel=3 rdinit=/init panic=-1" </dev/null >"$work/console.log" 2>&1 || true
tr -d '\r' <"$work/console.log" | grep -E '^(PASS|FAIL|device|expected|received|guest:|[0-9]+ passed)' || true
grep -q "guest: exit 0" "$work/console.log"
