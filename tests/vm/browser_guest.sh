# Inside the emulated PC, on this machine's own root (browser_init.sh): a
# managed policy that lets the page's origin use the FT232 adapter, so that
# the page finds it with no chooser; Chromium first, its start being the
# longest, as an ordinary user (a port another program holds refuses it, as
# root it would not), its DevTools pipe on the PC's virtio port "cdp",
# driven from the host by tests/web/drive_page.mjs (browser.sh); while it
# starts, the page served at that origin, and udevd, as Chromium lists a
# serial port only from udev's database. Every line this prints goes to the
# host.
tree=$(cd "$(dirname "$0")/../.." && pwd)
work=/tmp/work
udev=$tree/build/vm/udev
. $work/settings

mkdir -p /etc/chromium/policies/managed
cat >/etc/chromium/policies/managed/ridorez-vm.json <<POLICY
{"SerialAllowUsbDevicesForUrls": [{"devices": [{"vendor_id": 1027, "product_id": 24577}],
  "urls": ["http://127.0.0.1:$port"]}]}
POLICY

# Chromium with the arguments the driver on the host gives, its DevTools
# pipe (descriptors 3 and 4) on the virtio port named "cdp".
pipe=
for p in /sys/class/virtio-ports/*; do
  [ "$(cat "$p/name" 2>/dev/null)" = cdp ] && pipe=/dev/${p##*/}
done
[ -n "$pipe" ] || echo "vm: FAILED: no virtio port cdp"
for _ in $(seq 600); do [ -e $work/chromium-args ] && break; sleep 0.1; done
mapfile -t args <$work/chromium-args
mkdir -m 777 /tmp/home
out=/dev/null
[ "$dumpio" = 1 ] && out=/dev/console
echo "vm: guest: Chromium starts at $(cut -d' ' -f1 /proc/uptime) s"
setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/tmp/home \
  /usr/lib/chromium/chromium "${args[@]}" 3<>"$pipe" 4>&3 >$out 2>&1 &
chromium=$!

# The page as a static host serves it, at the origin the policy names.
echo '.wasm:application/wasm' >/run/httpd.conf
busybox httpd -p "127.0.0.1:$port" -h "$tree/build/web/page" -c /run/httpd.conf -u nobody:nogroup ||
  echo "vm: FAILED: the page's server did not start"

# Another program takes the port (with TIOCEXCL, as ridorez does) when the
# host asks (the file "hold" in the run's folder) until it says "release".
python3 - "$work" <<'HOLD' &
import fcntl, os, sys, termios, time
work = sys.argv[1]
def wait(name):
    while not os.path.exists(os.path.join(work, name)):
        time.sleep(0.05)
wait('hold')
fd = os.open('/dev/ttyUSB0', os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
fcntl.ioctl(fd, termios.TIOCEXCL)
open(work + '/done-hold', 'w').write('held\n')
wait('release')
os.close(fd)
open(work + '/done-release', 'w').write('released\n')
HOLD

# udev while Chromium starts (it asks udev for ports only when the page
# does, which waits for the file "udev-settled"), once the adapter's
# driver has its port.
export SYSTEMD_IGNORE_CHROOT=1
mkdir -p /run/udev/rules.d
cp "$udev/lib/udev/rules.d/60-serial.rules" /run/udev/rules.d/
# The adapter's node for the ordinary user.
echo 'SUBSYSTEM=="tty", KERNEL=="ttyUSB[0-9]*", MODE="0666"' >/run/udev/rules.d/70-ridorez-vm.rules
(exec -a systemd-udevd "$udev/bin/udevadm" --daemon) || echo "vm: FAILED: udevd did not start"
for _ in $(seq 300); do [ -e /dev/ttyUSB0 ] && break; sleep 0.1; done
"$udev/bin/udevadm" trigger --action=add --subsystem-match=tty --subsystem-match=usb
"$udev/bin/udevadm" settle --timeout=30 || echo "vm: FAILED: udev did not settle in 30 s"
echo "vm: guest: udev settled at $(cut -d' ' -f1 /proc/uptime) s: $("$udev/bin/udevadm" info -q property /dev/ttyUSB0 2>&1 | grep '^ID_\(VENDOR_ID\|MODEL_ID\|SERIAL_SHORT\)=' | tr '\n' ' ')"
echo settled >$work/udev-settled
wait $chromium
echo "vm: guest: Chromium ended with $? at $(cut -d' ' -f1 /proc/uptime) s"
