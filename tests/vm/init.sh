#!/bin/busybox sh
# The emulated PC's first process: busybox's tools, the kernel's file
# systems, the USB serial drivers, then the checks (guest.sh), and off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  insmod "/lib/modules/$module.ko" || echo "vm: FAILED: insmod $module"
done
sh /guest.sh
echo "vm: guest done"
poweroff -f
