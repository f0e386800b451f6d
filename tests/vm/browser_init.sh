#!/bin/busybox sh
# The emulated PC's first process for the page's test: the kernel's file
# systems, the drivers, then this machine's own root (shared read-only over
# 9p as "root") with the PC's own /proc, /sys, /dev, /run, /tmp and
# /etc/chromium over it, and the run's folder (shared as "work", writable)
# in /tmp/work; browser_guest.sh runs in it, and the PC is off. The USB
# drivers load meanwhile: nothing asks for the adapter before udev does.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /modules); do
  insmod "/lib/modules/$module.ko" || echo "vm: FAILED: insmod $module"
done
ip link set lo up
r=/host
mkdir -p $r
nine="trans=virtio,version=9p2000.L,msize=512000"
tree=$(cat /tree)
if mount -t 9p -o "$nine,ro,cache=loose" root $r; then
  # The tree, held here before the PC's own /tmp or /run hides it (a clone
  # under /tmp), and put back in its place below.
  mkdir -p /tree.d
  mount -o bind "$r$tree" /tree.d
  mount -t proc proc $r/proc
  mount -t sysfs sysfs $r/sys
  mount -t devtmpfs devtmpfs $r/dev
  mkdir -p $r/dev/pts $r/dev/shm
  mount -t devpts devpts $r/dev/pts
  mount -t tmpfs tmpfs $r/dev/shm
  mount -t tmpfs tmpfs $r/run
  mount -t tmpfs -o mode=1777 tmpfs $r/tmp
  mount -t tmpfs tmpfs $r/etc/chromium
  mkdir -p $r/tmp/work
  mount -t 9p -o "$nine" work $r/tmp/work
  if [ ! -e "$r$tree/tests/vm/browser_guest.sh" ]; then
    mkdir -p "$r$tree"
    mount -o move /tree.d "$r$tree"
  fi
  (
    for module in $(cat /modules.usb); do
      insmod "/lib/modules/$module.ko" || echo "vm: FAILED: insmod $module"
    done
  ) &
  echo "vm: guest: the root is mounted at $(cut -d' ' -f1 /proc/uptime) s"
  chroot $r /bin/bash "$tree/tests/vm/browser_guest.sh"
else
  echo "vm: FAILED: the machine's root over 9p did not mount"
fi
echo "vm: guest done"
poweroff -f
