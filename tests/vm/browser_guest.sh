# Inside the emulated PC, on this machine's own root (browser_init.sh):
# udevd, as Chromium lists a serial port only from udev's database; a
# managed policy that lets the page's origin use the FT232 adapter, so that
# the page finds it with no chooser; then the page in Chromium, driven by
# tests/web/drive_page.mjs through the steps that browser.sh wrote, as an
# ordinary user (a port another program holds refuses it, as root it
# would not). Every line it prints goes to the host.
tree=$(cd "$(dirname "$0")/../.." && pwd)
work=/tmp/work
udev=$tree/build/vm/udev
. $work/settings

export SYSTEMD_IGNORE_CHROOT=1
mkdir -p /run/udev/rules.d
cp "$udev/lib/udev/rules.d/60-serial.rules" /run/udev/rules.d/
# The adapter's node for the ordinary user.
echo 'SUBSYSTEM=="tty", KERNEL=="ttyUSB[0-9]*", MODE="0666"' >/run/udev/rules.d/70-ridorez-vm.rules
(exec -a systemd-udevd "$udev/bin/udevadm" --daemon) || echo "vm: FAILED: udevd did not start"
"$udev/bin/udevadm" trigger --action=add --subsystem-match=tty --subsystem-match=usb
"$udev/bin/udevadm" settle --timeout=30 || echo "vm: FAILED: udev did not settle in 30 s"
echo "vm: guest: udev settled at $(cut -d' ' -f1 /proc/uptime) s: $("$udev/bin/udevadm" info -q property /dev/ttyUSB0 2>&1 | grep '^ID_\(VENDOR_ID\|MODEL_ID\|SERIAL_SHORT\)=' | tr '\n' ' ')"

mkdir -p /etc/chromium/policies/managed
cat >/etc/chromium/policies/managed/ridorez-vm.json <<POLICY
{"SerialAllowUsbDevicesForUrls": [{"devices": [{"vendor_id": 1027, "product_id": 24577}],
  "urls": ["http://127.0.0.1:$port"]}]}
POLICY

# "vm: guest: hold" from the driver: another program takes the port (with
# TIOCEXCL, as ridorez does) until "vm: guest: release".
hold() {
  python3 - "$work" <<'PY' &
import fcntl, os, sys, termios, time
work = sys.argv[1]
fd = os.open('/dev/ttyUSB0', os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
fcntl.ioctl(fd, termios.TIOCEXCL)
open(work + '/done-hold', 'w').write('held\n')
while not os.path.exists('/tmp/release'):
    time.sleep(0.05)
os.close(fd)
open(work + '/done-release', 'w').write('released\n')
PY
}

mkdir -m 777 /tmp/home
echo "vm: guest: the page's driver starts at $(cut -d' ' -f1 /proc/uptime) s"
[ "$dumpio" = 1 ] && echo "vm: guest: node and puppeteer: $( { time -p node -e "require('$tree/build/web-tools/node_modules/puppeteer-core')"; } 2>&1 | tr '\n' ' ')"
setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env HOME=/tmp/home PAGE_PORT="$port" CHROMIUM_ARGS="$chromium_args" CHROMIUM_DUMPIO="$dumpio" BROWSER_START_MS=300000 CHROMIUM=/usr/lib/chromium/chromium WEB_TOOLS_DIR="$tree/build/web-tools" \
  node "$tree/tests/web/drive_page.mjs" "$tree/build/web/page" $work/shots "" <$work/steps 2>&1 |
  while IFS= read -r line; do
    echo "$line"
    case $line in
      "vm: guest: hold") hold ;;
      "vm: guest: release")
        touch /tmp/release ;;
    esac
  done
echo "vm: page: drive_page ended with ${PIPESTATUS[0]}"
