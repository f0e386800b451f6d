#!/usr/bin/env bash
# The static x86_64 Linux ridorez (scripts/build_cross.sh x86_64-linux)
# through real kernel drivers: an emulated PC (qemu-system-x86_64, TCG) boots
# Debian's kernel (build/vm/kernel, which scripts/setup.sh fetches) with an
# initramfs of busybox-static, init.sh and guest.sh. Two serial lines lead to
# simulators on this machine's pseudo-terminals: QEMU's FT232 adapter on its
# xHCI controller, driven by ftdi_sio (/dev/ttyUSB0), and the PC's second
# 16550 UART, driven by 8250 (/dev/ttyS1). guest.sh runs the checks inside;
# this script answers its requests (the adapter unplugged and plugged back
# with the monitor's device_del and device_add, the adapter's DTR and RTS
# from QEMU's trace of its control requests), then checks what each
# simulated device holds. Ends with "vm: N passed, M failed".
#   tests/vm/run.sh
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
devsim=$root/build/native/tools/devsim/devsim
check=$root/tests/e2e/check_device.py
ridorez=$root/build/zig-x86_64-linux/cli/ridorez
kernel=$root/build/vm/kernel
serial=RZVM0001      # the adapter's serial number, as guest.sh expects it
limit=110            # seconds the emulated PC may run
work=$(mktemp -d /tmp/ridorez-vm.XXXXXX)
pids=()
passed=0
failed=0

cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
}
trap 'cleanup; [ -n "${VM_KEEP:-}" ] && echo "vm: kept $work" || rm -rf "$work"' EXIT

ok() { echo "vm: ok: $*"; passed=$((passed + 1)); }
fail() { echo "vm: FAILED: $*"; failed=$((failed + 1)); }
finish() {
  echo "vm: $passed passed, $failed failed ($SECONDS s)"
  [ "$failed" -eq 0 ] && exit 0
  exit 1
}

vmlinuz=$(ls "$kernel"/boot/vmlinuz-* 2>/dev/null | head -1)
modules=$(ls -d "$kernel"/lib/modules/* 2>/dev/null | head -1)
[ -n "$vmlinuz" ] && [ -n "$modules" ] || { fail "no kernel in $kernel (bash scripts/setup.sh)"; finish; }
[ -x "$ridorez" ] || { fail "$ridorez is missing (scripts/build_cross.sh x86_64-linux)"; finish; }
[ -x "$devsim" ] || { fail "$devsim is missing (scripts/build.sh)"; finish; }

# The images: T62 and PSoC HEX files of pseudo-random bytes, and a ZQ3 image
# for the simulated AMBER, with the record log it should leave.
img=$work/root/images
mkdir -p "$img"
python3 "$check" bytes vm-t62.1 1024 >"$work/t62.1" &&
  python3 "$check" bytes vm-t62.2 3976 >"$work/t62.2" &&
  srec_cat "$work/t62.1" -binary "$work/t62.2" -binary -offset 0x1800 -o "$img/t62.hex" -intel >/dev/null &&
  srec_cat "$img/t62.hex" -intel -fill 0xFF 0 0x40000 -o "$work/t62.flat" -binary >/dev/null &&
  python3 "$check" bytes vm-psoc 13824 >"$work/psoc.flat" &&
  srec_cat "$work/psoc.flat" -binary -o "$img/psoc.hex" -intel >/dev/null &&
  python3 tests/e2e/keyer_image.py "$img/zq3.bin" --version 31 --variant 3 --expect "$work/zq3.expect" >/dev/null ||
  { fail "the images could not be made"; finish; }

# The initramfs: busybox, ridorez, the scripts, the USB serial modules.
mkdir -p "$work/root/bin" "$work/root/lib/modules" "$work/root/etc" "$work/root/proc" "$work/root/sys" \
  "$work/root/dev" "$work/root/tmp"
cp /bin/busybox "$work/root/bin/busybox"
cp "$ridorez" "$work/root/bin/ridorez"
cp tests/vm/init.sh "$work/root/init"
cp tests/vm/guest.sh "$work/root/guest.sh"
chmod +x "$work/root/init"
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  path=$(find "$modules/kernel" -name "$module.ko" | head -1)
  [ -n "$path" ] || { fail "the kernel has no module $module"; finish; }
  cp "$path" "$work/root/lib/modules/"
done
(cd "$work/root" && find . | cpio -o -H newc --quiet) >"$work/initrd" || { fail "no initramfs"; finish; }

# The two simulators, each holding all three devices. Each stalls the 3rd T62
# row write for 1 s and the 5th keyer record for 3 s, within the update's
# time-outs: the moments when the guest looks at the line during an update
# (and pulls the adapter out).
for path in ftdi uart; do
  "$devsim" --link "$work/$path" --device t62,psoc,keyer --transcript "$work/$path.transcript" \
    --memory "$work/$path.memory" --fault late:t62.write:3:1000 --fault late:keyer.record:5:3000 \
    >"$work/$path.devsim.log" 2>&1 &
  pids+=($!)
done
for _ in $(seq 100); do [ -e "$work/ftdi" ] && [ -e "$work/uart" ] && break; sleep 0.1; done
[ -e "$work/ftdi" ] && [ -e "$work/uart" ] || { fail "the simulators did not start"; finish; }

# The console: guest to host in console.out, host to guest in console.in.
mkfifo "$work/console.in" "$work/console.out"
qemu-system-x86_64 -machine pc -accel tcg -m 256 -display none -no-reboot \
  -kernel "$vmlinuz" -initrd "$work/initrd" -append "console=ttyS0 quiet panic=-1" \
  -chardev pipe,id=console,path="$work/console" -serial chardev:console \
  -chardev serial,id=uart,path="$work/uart" -serial chardev:uart \
  -device qemu-xhci,id=xhci \
  -chardev serial,id=ftdi,path="$work/ftdi" -device usb-serial,id=adapter,chardev=ftdi,serial=$serial \
  -monitor unix:"$work/monitor",server,nowait \
  -trace usb_serial_handle_control -msg timestamp=on -D "$work/trace.log" >"$work/qemu.log" 2>&1 &
qemu=$!
pids+=($qemu)
# Both ends opened read-write, which never waits for the other side: a QEMU
# that did not start leaves nothing to wait for.
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
# What came between the echoed command and the next prompt.
answer = upto_prompt().decode(errors='replace').replace('\r', '')[:-len('(qemu) ')]
print('\n'.join(line for line in answer.split('\n')[1:] if line.strip()), end='')
PY
  )
  [ -z "$answer" ] || fail "QEMU's monitor, to \"$1\": $(tr '\n' '|' <<<"$answer")"
}

# adapter_lines: the FT232's DTR and RTS as the driver last set them, from the
# modem-control requests (0x4001: bit 8 says DTR is set to bit 0, bit 9 RTS
# to bit 1) in QEMU's trace so far.
adapter_lines() {
  local dtr=0 rts=0 v
  while read -r v; do
    v=$((v))
    if ((v & 0x100)); then dtr=$((v & 1)); fi
    if ((v & 0x200)); then rts=$(((v >> 1) & 1)); fi
  done < <(sed -n 's/.*got control 0x4001, value \(0x[0-9a-f]*\)$/\1/p' "$work/trace.log")
  printf 'DTR %s, RTS %s' "$( ((dtr)) && echo on || echo off)" "$( ((rts)) && echo on || echo off)"
}

# transcript_has PATH PATTERN: waits up to 10 s for a line in PATH's transcript.
transcript_has() {
  local i
  for i in $(seq 100); do
    grep -q -- "$2" "$work/$1.transcript" && return 0
    sleep 0.1
  done
  return 1
}

# The guest's console, line by line, until it says it is done, QEMU ends or
# the time is up.
deadline=$((SECONDS + limit))
partial=""
while [ "$SECONDS" -lt "$deadline" ]; do
  if ! IFS= read -r -t 1 line <&4; then
    partial+=$line  # a line not yet whole when the second was up
    kill -0 "$qemu" 2>/dev/null || break
    continue
  fi
  line=$partial$line
  partial=""
  line=${line%$'\r'}
  printf '%s\n' "$line" >>"$work/console.log"
  case $line in
    "vm: ok: "*) echo "$line"; passed=$((passed + 1)) ;;
    "vm: FAILED: "*) echo "$line"; failed=$((failed + 1)) ;;
    "vm: guest: "*) echo "$line" ;;
    "vm: host: unplug")
      echo "vm: unplugging the adapter (device_del)"
      monitor "device_del adapter"
      echo "vm: host done: unplug" >&3 ;;
    "vm: host: plug back")
      # The reply the simulator held back goes out before the new adapter is
      # there, as it would to an adapter that has been pulled out.
      transcript_has ftdi "keyer replies 3000 ms late" || fail "the simulator's late keyer reply never went"
      echo "vm: plugging the adapter back (device_add)"
      monitor "device_add usb-serial,id=adapter,chardev=ftdi,serial=$serial"
      echo "vm: host done: plug back" >&3 ;;
    "vm: host: modem lines")
      echo "vm: host done: modem lines $(adapter_lines)" >&3 ;;
    "vm: guest done") break ;;
  esac
done
exec 3>&- 4<&-
if ! grep -q '^vm: guest done' "$work/console.log" 2>/dev/null; then
  fail "the emulated PC did not finish in $limit s: $(tail -n 5 "$work/console.log" "$work/qemu.log" 2>&1 | tr '\n' '|')"
  finish
fi
for _ in $(seq 50); do kill -0 "$qemu" 2>/dev/null || break; sleep 0.1; done

# The latency timer through the driver: QEMU saw the request for 1 ms.
grep -q 'got control 0x4009, value 0x1$' "$work/trace.log" &&
  ok "ftdi: the driver asked the adapter for a 1 ms latency timer (QEMU's trace: control 0x4009, value 0x1)" ||
  fail "ftdi: QEMU's trace has no latency timer request of 1 ms"

# What each simulated device holds, once the simulators have stopped.
cleanup
for path in ftdi uart; do
  out=$(python3 "$check" t62-memory "$work/$path.memory.t62" "$work/t62.flat" 0x00 \
    erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 write:0x1800:0x1800 erase:0 write:0:0x400) &&
    ok "$path: the T62 holds the image" || fail "$path: the T62's memory: $out"
  out=$(python3 "$check" psoc-memory "$work/$path.memory.psoc" "$work/psoc.flat" 0x00 216) &&
    ok "$path: the PSoC holds the image" || fail "$path: the PSoC's memory: $out"
  # The adapter's keyer took the first records of the upload it was pulled
  # out of too: the last upload's records must be the image's.
  records=$(wc -l <"$work/zq3.expect")
  tail -n "$records" "$work/$path.memory.keyer" 2>/dev/null | cmp -s - "$work/zq3.expect" &&
    ok "$path: the keyer took the image's $records records" ||
    fail "$path: the keyer's last $records records are not the image's ($(wc -l <"$work/$path.memory.keyer") in all)"
done
finish
