#!/usr/bin/env bash
# The web page in a real browser's Web Serial, through a real kernel driver:
# Debian's chromium inside the emulated PC of tests/vm (qemu-system-x86_64,
# TCG, Debian's kernel booted unpacked), on this machine's own root shared
# read-only over 9p, through QEMU's FT232 adapter and the kernel's ftdi_sio
# to the simulator on this machine's pseudo-terminal. The page
# (build/web/page), served inside the PC (browser_guest.sh), is driven in
# one Chromium there by tests/web/drive_page.mjs here on this machine, over
# Chromium's DevTools pipe on a virtio port, through the steps below: a port
# another program holds (the page's advice says busy), the T62 and PSoC
# updates, a ZQ3 update from the IC's firmware (its speed changed to the
# loader's) pulled out (device_del) mid-update, whose failure must show at
# once, and plugged back (device_add), after which the page picks the
# adapter up again with no chooser and the update runs in recovery mode to
# its end (the speed changed back). Then what the simulated devices hold.
# Ends with
# "vm-browser: N passed, M failed".
#   tests/vm/browser.sh        (VM_KEEP=1 keeps the work folder; VM_DUMPIO=1
#                               shows all the PC's and Chromium's output)
set -uo pipefail
. "$(dirname "$0")/../e2e/lib.sh"
root=$E2E_ROOT
cd "$root"
devsim=$root/build/native/tools/devsim/devsim
check=$root/tests/e2e/check_device.py
kernel=$root/build/vm/kernel
serial=RZVM0001      # the adapter's serial number
limit=${VM_LIMIT:-420}  # seconds the emulated PC may run (a busy machine)
page_port=8765       # the page's origin, as the policy names it
prompt_ms=2500       # from the unplug to the failure shown
work=$(mktemp -d /tmp/ridorez-vmweb.XXXXXX)
chmod 755 "$work"
pids=()
passed=0
failed=0

cleanup() {
  local pid
  [ -e "$work/driver.pid" ] && pids+=($(cat "$work/driver.pid"))
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
}
trap 'cleanup; [ -n "${VM_KEEP:-}" ] && echo "vm-browser: kept $work" || rm -rf "$work"' EXIT

ok() { echo "vm-browser: ok: $*"; passed=$((passed + 1)); }
fail() { echo "vm-browser: FAILED: $*"; failed=$((failed + 1)); }
finish() {
  echo "vm-browser: $passed passed, $failed failed ($SECONDS s)"
  [ "$failed" -eq 0 ] && exit 0
  exit 1
}

# The one thing a machine may lack that set-up cannot give it: a QEMU built
# without folder sharing (the PC's root is this machine's over 9p).
if ! qemu-system-x86_64 -device help 2>/dev/null | grep -q '"virtio-9p-pci"'; then
  echo "vm-browser: skipped: this machine's qemu-system-x86_64 has no 9p folder sharing (virtio-9p-pci);" \
    "Debian's qemu-system-x86 has it"
  exit 0
fi
modules=$(ls -d "$kernel"/lib/modules/* 2>/dev/null | head -1)
[ -f "$kernel/vmlinux" ] && [ -n "$modules" ] || { fail "no kernel in $kernel (bash scripts/setup.sh)"; finish; }
[ -x build/vm/udev/bin/udevadm ] || { fail "no udev in build/vm/udev (bash scripts/setup.sh)"; finish; }
[ -f build/web/page/ridorez.wasm ] || { fail "no page in build/web/page (bash scripts/build_web.sh)"; finish; }
[ -x "$devsim" ] || { fail "$devsim is missing (scripts/build.sh)"; finish; }

# The images: T62 and PSoC HEX files of pseudo-random bytes, and a ZQ3 image
# for the simulated AMBER, with the record log it should leave. The T62's
# fills its vector rows and one erase unit of 8 rows, the least that runs
# its row loop through an erase; the PSoC's 216 blocks and the keyer's 956
# records are sent whatever the image holds.
img=$work/images
mkdir -p "$img"
python3 "$check" bytes vmweb-t62.1 1024 >"$work/t62.1" &&
  python3 "$check" bytes vmweb-t62.2 1000 >"$work/t62.2" &&
  srec_cat "$work/t62.1" -binary "$work/t62.2" -binary -offset 0x1800 -o "$img/t62.hex" -intel >/dev/null &&
  srec_cat "$img/t62.hex" -intel -fill 0xFF 0 0x40000 -o "$work/t62.flat" -binary >/dev/null &&
  python3 "$check" bytes vmweb-psoc 13824 >"$work/psoc.flat" &&
  srec_cat "$work/psoc.flat" -binary -o "$img/psoc.hex" -intel >/dev/null &&
  records=$(python3 tests/e2e/keyer_image.py "$img/zq3.bin" --version 31 --variant 3 --expect "$work/zq3.expect") ||
  { fail "the images could not be made"; finish; }
lines=$(wc -l <"$work/zq3.expect")
stalled=5

# The initramfs: busybox, the first process, the drivers for the shared
# folders (virtio 9p) and the adapter (ftdi_sio), the latter loaded while
# the PC goes on (modules.usb), and where this tree is.
initramfs=$work/initramfs
mkdir -p "$initramfs/bin" "$initramfs/lib/modules" "$initramfs/proc" "$initramfs/sys" "$initramfs/dev"
cp /bin/busybox "$initramfs/bin/busybox"
cp tests/vm/browser_init.sh "$initramfs/init"
echo "$root" >"$initramfs/tree"
first=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p
       virtio_console)
usb=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)
wanted=("${first[@]}" "${usb[@]}")
find "$modules/kernel" -name '*.ko' >"$work/modules"
for module in "${wanted[@]}"; do
  path=$(grep -m1 "/$module\.ko\$" "$work/modules")
  [ -n "$path" ] || { fail "the kernel has no module $module"; finish; }
  cp "$path" "$initramfs/lib/modules/"
done
echo "${first[*]}" >"$initramfs/modules"
echo "${usb[*]}" >"$initramfs/modules.usb"
(cd "$initramfs" && find . | cpio -o -H newc --quiet) >"$work/initrd" || { fail "no initramfs"; finish; }

# The simulator of all three devices. It stalls the 5th keyer record for
# 3 s, within the update's time-out: the moment the adapter is pulled out.
# A block of the PSoC's comes from the emulated PC in USB packets, which a
# busy machine may hand over further apart than the boot loader's 50 ms.
"$devsim" --link "$work/ftdi" --device t62,psoc,keyer --transcript "$work/ftdi.transcript" \
  --memory "$work/ftdi.memory" --fault late:keyer.record:$stalled:3000 --psoc-block-gap 2000 >"$work/devsim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/ftdi" ] && break; sleep 0.1; done
[ -e "$work/ftdi" ] || { fail "the simulator did not start"; finish; }

# What the page's driver does (drive_page.mjs's steps), the run's folder
# being /tmp/work in the PC (what Chromium loads from it). "echo vm: host: X"
# asks this script for X, and "echo vm: guest: X" browser_guest.sh (through
# the file X in the run's folder); each then writes done-X there.
g=/tmp/work
keyer_note="#d$IDD_KEYER_UPLOADER .page-note"
busy_advice="The port is busy: another program, or this page in another tab, has it open. Close it there, then probe again."
# The guest's settings: the page's port; VM_DUMPIO=1 shows Chromium's output.
{
  echo "port=$page_port"
  echo "dumpio=${VM_DUMPIO:-0}"
} >"$work/settings"
mkdir -m 777 "$work/shots"
cat >"$work/steps" <<STEPS
wait-file $work/udev-settled settled 120000
open-page real
echo vm: page: the page is open
# The adapter that the policy allows, taken at load: no chooser.
expect-js "navigator.serial.getPorts().then(function (p) { return p.map(function (x) { var i = x.getInfo(); return i.usbVendorId + ':' + i.usbProductId; }).join(); })" "1027:24577"
expect-js "window.__events = []; ['connect', 'disconnect'].forEach(function (t) { navigator.serial.addEventListener(t, function () { window.__events.push(t); }); }); 1" 1
# Another program holds the port.
echo vm: guest: hold
wait-file $work/done-hold held 10000
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "Comm port open error" 30000
expect-js "document.querySelector('#d$IDD_MAIN .page-advice').textContent" "$busy_advice"
expect-visible "#d$IDD_MAIN .page-advice" 1
shot 01-busy
echo vm: guest: release
wait-file $work/done-release released 10000
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "F/W Loader v2.5 Connected" 20000
expect-text $IDD_MAIN $IDC_PORT_LABEL "USB 0403:6001"
click $IDD_MAIN $IDC_T62_UPDATE
load $IDD_T62_UPLOADER $g/images/t62.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 2024 Bytes"
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programing Completed Successfully" 60000
shot 02-t62-updated
click $IDD_T62_UPLOADER $IDC_UPLOADER_EXIT
wait-text $IDD_MAIN $IDC_RESULT_LINE "T62 PIC Update Completed"
echo vm: page: T62 updated
click $IDD_MAIN $IDC_OPEN_PSOC
wait-text $IDD_MAIN $IDC_PORT_LINE "PSoC Boot Loader ver 7" 20000
click $IDD_MAIN $IDC_PSOC_UPDATE
load $IDD_PSOC_UPLOADER $g/images/psoc.hex
wait-text $IDD_PSOC_UPLOADER $IDC_STATUS_LINE "PSoC Image Loaded, 13824 Bytes"
click $IDD_PSOC_UPLOADER $IDC_PSOC_START
wait-text $IDD_PSOC_UPLOADER $IDC_STATUS_LINE "PSoC Programing Completed Successfully, Press Encoder to restart." 60000
shot 03-psoc-updated
click $IDD_PSOC_UPLOADER $IDC_UPLOADER_EXIT
wait-text $IDD_MAIN $IDC_RESULT_LINE "PSOC Update Completed"
echo vm: page: PSoC updated
click $IDD_MAIN $IDC_OPEN_ZQ3
wait-text $IDD_MAIN $IDC_RESULT_LINE "ZQ3 IC Test Passed" 30000
click $IDD_MAIN $IDC_ZQ3_UPDATE
# An update from the IC's operating firmware, its speed changed to the
# loader's, pulled out (by this script, as soon as the simulator notes it)
# while the IC holds back its answer to the 5th record: the page ends the
# run as the browser tells it, well before the update's own time-out.
load $IDD_KEYER_UPLOADER $g/images/zq3.bin
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 IC Version: 31.03 Loaded, $records Records"
click $IDD_KEYER_UPLOADER $IDC_KEYER_START
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "Programming ZQ3 IC...." 30000
wait-file $work/done-unplug unplugged 60000
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "Error: VIDUD Timeout !" 30000
echo vm: page: failure shown
wait-enabled $IDD_KEYER_UPLOADER $IDC_LOAD 1 10000
expect-visible "$keyer_note" 1
expect-js "window.__events.join()" "disconnect"
shot 04-zq3-unplugged
echo vm: host: plug back
wait-file $work/done-plug-back plugged 10000
expect-js "window.__events.join()" "disconnect,connect" 30000
# As the page's note says: the file again, then the update, which finds the
# IC in its loader.
load $IDD_KEYER_UPLOADER $g/images/zq3.bin
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 IC Version: 31.03 Loaded, $records Records" 10000
click $IDD_KEYER_UPLOADER $IDC_KEYER_START
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...." 30000
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 Programing Completed Successfully, Press Encoder to restart." 90000
expect-visible "$keyer_note" 0
shot 05-zq3-updated
click $IDD_KEYER_UPLOADER $IDC_UPLOADER_EXIT
wait-text $IDD_MAIN $IDC_RESULT_LINE "ZQ3 IC Update Completed"
echo vm: page: ZQ3 recovered
STEPS

# The console: guest to host in console.out, host to guest in console.in.
echo "vm-browser: $SECONDS s: the emulated PC starts"
mkfifo "$work/console.in" "$work/console.out"
qemu-system-x86_64 -machine pc -accel tcg -cpu max -smp 2 -m 1536 -display none -no-reboot \
  -kernel "$kernel/vmlinux" -initrd "$work/initrd" -append "console=ttyS0 quiet panic=-1" \
  -chardev pipe,id=console,path="$work/console" -serial chardev:console \
  -virtfs local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$work",mount_tag=work,security_model=none,multidevs=remap \
  -device qemu-xhci,id=xhci \
  -chardev serial,id=ftdi,path="$work/ftdi" -device usb-serial,id=adapter,chardev=ftdi,serial=$serial \
  -device virtio-serial-pci -chardev socket,id=cdp,path="$work/cdp",server=on,wait=off \
  -device virtserialport,chardev=cdp,name=cdp \
  -monitor unix:"$work/monitor",server,nowait \
  -trace usb_serial_handle_control -msg timestamp=on -D "$work/trace.log" >"$work/qemu.log" 2>&1 &
qemu=$!
pids+=($qemu)
exec 3<>"$work/console.in" 4<>"$work/console.out"

# monitor COMMAND: one command to QEMU's monitor, which answers nothing when
# it is done; what it did answer is the failure.
monitor() {
  local answer
  answer=$(python3 - "$work/monitor" "$1" 2>&1 <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.settimeout(5)
def upto_prompt():
    data = b''
    while not data.endswith(b'(qemu) '):
        data += s.recv(4096)
    return data
upto_prompt()
s.sendall(sys.argv[2].encode() + b'\n')
answer = upto_prompt().decode(errors='replace').replace('\r', '')[:-len('(qemu) ')]
print('\n'.join(line for line in answer.split('\n')[1:] if line.strip()), end='')
PY
  )
  [ -z "$answer" ] || { echo "\"$1\": $(tr '\n' '|' <<<"$answer")" >>"$work/monitor-failed"; return 1; }
}

# The adapter pulled out as soon as the simulator holds back the stalled
# keyer record; when, on this machine's clock, for the page's failure.
unplug() {
  until grep -q "fault late:keyer.record:$stalled:" "$work/ftdi.transcript" 2>/dev/null; do
    kill -0 "$qemu" 2>/dev/null || return
    sleep 0.05
  done
  echo "vm-browser: $SECONDS s: unplugging the adapter (device_del)"
  monitor "device_del adapter"
  date +%s%3N >"$work/unplugged-ms"
  echo unplugged >"$work/done-unplug"
}
unplug &
pids+=($!)

# The page's driver, here (node and the DevTools work it does cost the
# emulated PC nothing), once QEMU has made the pipe's socket. Chromium in one
# process, and the page's WebAssembly left in its first compiler: optimising
# it again in the background took the emulated processors from the update.
# VM_CHROMIUM_ARGS stands for these arguments. What the driver asks of this
# script or the PC is done as it says so.
for _ in $(seq 100); do [ -S "$work/cdp" ] && break; sleep 0.1; done
driver() {
  PAGE_URL="http://127.0.0.1:$page_port/" BROWSER_PIPE="$work/cdp" BROWSER_ARGS_FILE="$work/chromium-args" \
    CHROMIUM_ARGS="${VM_CHROMIUM_ARGS---single-process --js-flags=--no-wasm-tier-up}" BROWSER_START_MS=300000 WEB_TOOLS_DIR="$root/build/web-tools" \
    node tests/web/drive_page.mjs "$root/build/web/page" "$work/shots" "" <"$work/steps" 2>&1 &
  echo $! >"$work/driver.pid"
  wait $!
  echo "vm: page: drive_page ended with $?"
}
driver | while IFS= read -r line; do
  printf '%s\n' "$line" >>"$work/driver.log"
  case $line in
    "vm: guest: hold") touch "$work/hold" ;;
    "vm: guest: release") touch "$work/release" ;;
    "vm: page: failure shown") date +%s%3N >"$work/failure-shown-ms" ;;
    "vm: host: plug back")
      echo "vm-browser: $SECONDS s: plugging the adapter back (device_add)"
      monitor "device_add usb-serial,id=adapter,chardev=ftdi,serial=$serial"
      echo plugged >"$work/done-plug-back" ;;
  esac
  case $line in
    "vm: "* | "text "* | "time: "* | "drive_page: "*) echo "vm-browser: $SECONDS s: $line" ;;
    *) [ "${VM_DUMPIO:-0}" = 1 ] && echo "vm-browser: $SECONDS s: $line" ;;
  esac
done &
driver_pid=$!
pids+=($driver_pid)

deadline=$((SECONDS + limit))
partial=""
while [ "$SECONDS" -lt "$deadline" ]; do
  # Once the page's driver has ended, Chromium's shutdown and the PC's
  # power-off tell nothing more.
  kill -0 "$driver_pid" 2>/dev/null || break
  if ! IFS= read -r -t 1 line <&4; then
    partial+=$line
    kill -0 "$qemu" 2>/dev/null || break
    continue
  fi
  line=$partial$line
  partial=""
  line=${line%$'\r'}
  printf '%s\n' "$line" >>"$work/console.log"
  case $line in
    "vm: FAILED: "*) echo "$line"; failed=$((failed + 1)) ;;
    "vm: guest: "* | "Starting "*) echo "vm-browser: $SECONDS s: $line" ;;
    "vm: guest done") break ;;
    *) [ "${VM_DUMPIO:-0}" = 1 ] && echo "vm-browser: $SECONDS s: $line" ;;
  esac
done
exec 3>&- 4<&-
if kill -0 "$driver_pid" 2>/dev/null && ! grep -q '^vm: guest done' "$work/console.log" 2>/dev/null; then
  fail "the emulated PC did not finish in $limit s: $(tail -n 5 "$work/console.log" "$work/qemu.log" 2>&1 | tr '\n' '|')"
  finish
fi
for _ in $(seq 100); do kill -0 "$driver_pid" 2>/dev/null || break; sleep 0.1; done
[ ! -e "$work/monitor-failed" ] || fail "QEMU's monitor refused: $(cat "$work/monitor-failed")"
grep -q '^vm: page: drive_page ended with 0' "$work/driver.log" && ok "the page's steps in Chromium" ||
  fail "the page's steps in Chromium: $(grep -m1 '^drive_page: ' "$work/driver.log")"

# The run the adapter was pulled out of ends as the browser tells the page
# so, not at the update's time-out (the IC's answer would have come 3 s
# after the record, the update waits 4 s for it).
if [ -s "$work/unplugged-ms" ] && [ -s "$work/failure-shown-ms" ]; then
  shown=$(($(cat "$work/failure-shown-ms") - $(cat "$work/unplugged-ms")))
  echo "vm-browser: the failure shown $shown ms after the unplug"
  [ "$shown" -le "$prompt_ms" ] && ok "the unplugged update ended within $prompt_ms ms" ||
    fail "the unplugged update ended $shown ms after the unplug, not within $prompt_ms ms"
fi

# What each simulated device holds, once the simulator has stopped.
cleanup
out=$(python3 "$check" t62-memory "$work/ftdi.memory.t62" "$work/t62.flat" 0x00 \
  erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 write:0:0x400) &&
  ok "the T62 holds the image" || fail "the T62's memory: $out"
out=$(python3 "$check" psoc-memory "$work/ftdi.memory.psoc" "$work/psoc.flat" 0x00 216) &&
  ok "the PSoC holds the image" || fail "the PSoC's memory: $out"
# The keyer's record log: the first records of the update it was pulled
# out of, from its firmware at the loader's speed, then the whole image in
# recovery mode.
taken=$(wc -l <"$work/ftdi.memory.keyer" 2>/dev/null || echo 0)
first=$((taken - lines))
[ "$first" -ge 4 ] && head -n "$first" "$work/ftdi.memory.keyer" | cmp -s - <(head -n "$first" "$work/zq3.expect") &&
  ok "the keyer took the image's first $first records in the update from its firmware" ||
  fail "the keyer's first $first records are not the image's ($taken in all)"
tail -n "$lines" "$work/ftdi.memory.keyer" 2>/dev/null | cmp -s - "$work/zq3.expect" &&
  ok "the keyer took the image's $lines records in recovery mode" ||
  fail "the keyer's last $lines records are not the image's ($taken in all)"
finish
