# The checks inside the emulated PC (run by init.sh as root; ridorez itself
# runs as the ordinary user "tester" of the group dialout). Two lines to the
# simulators on the host: the FT232 adapter through ftdi_sio (/dev/ttyUSB0)
# and the PC's second 16550 UART (/dev/ttyS1). Each result is a line
# "vm: ok: ..." or "vm: FAILED: ..."; lines "vm: host: ..." ask tests/vm/run.sh
# for a step of its own (unplug, plug back, a look at the adapter's modem
# lines) and "vm: host done: ..." comes back in the console's input.
passed=0
failed=0
serial=RZVM0001    # the adapter's serial number (run.sh gives it to QEMU)
latency=/sys/bus/usb-serial/devices/ttyUSB0/latency_timer

ok() { echo "vm: ok: $*"; passed=$((passed + 1)); }
fail() { echo "vm: FAILED: $*"; failed=$((failed + 1)); }

# ridorez as tester (busybox su passes no arguments on; none here has a space).
rz() { su -s /bin/sh -c "exec /bin/ridorez $*" tester; }

# expect NAME CODE LINE ARGS...: ridorez ARGS ends with CODE and a line of
# its standard output or error matches LINE (an extended regular expression).
expect() {
  local name=$1 code=$2 text=$3 out rc
  shift 3
  out=$(rz "$@" 2>&1); rc=$?
  if [ "$rc" -ne "$code" ]; then
    fail "$name: exit code $rc, not $code: $out"
  elif ! echo "$out" | grep -qxE -- "$text"; then
    fail "$name: no line \"$text\" in: $out"
  else
    ok "$name"
  fi
}

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s; 1 when it never held.
wait_until() {
  local tenths=$(($1 * 10)) i=0
  shift
  while ! "$@" 2>/dev/null; do
    i=$((i + 1))
    [ "$i" -ge "$tenths" ] && return 1
    sleep 0.1
  done
}

# at_least N PATTERN FILE: FILE has N lines or more that match PATTERN.
at_least() { [ "$(grep -c -- "$2" "$3")" -ge "$1" ]; }

# ask_host STEP: asks run.sh for STEP and waits (up to 20 s) for its answer,
# which it leaves in $answer (what follows "vm: host done: STEP").
ask_host() {
  local line
  echo "vm: host: $1"
  while read -r -t 20 line; do
    case $line in "vm: host done: $1"*) answer=${line#"vm: host done: $1"}; answer=${answer# }; return 0 ;; esac
  done </dev/console
  fail "the host did not answer \"$1\""
  return 1
}

port_ready() {  # port_ready DEVICE: its node is there and the group dialout may use it
  wait_until 15 test -c "$1" || { fail "$1 did not appear"; return 1; }
  chgrp dialout "$1" && chmod 660 "$1"
}

# uart_lines: DTR and RTS of ttyS1 as the 8250 driver has them (root only).
uart_lines() {
  local line
  line=$(grep '^1:' /proc/tty/driver/serial)
  case $line in *DTR*) printf 'DTR on' ;; *) printf 'DTR off' ;; esac
  case $line in *RTS*) printf ', RTS on' ;; *) printf ', RTS off' ;; esac
}

# modem_lines PATH WANT: the port's DTR and RTS are WANT ("DTR off, RTS off")
# while the update runs; the FT232's from QEMU's trace (run.sh), the UART's
# from the driver.
modem_lines() {
  local path=$1 want=$2 seen
  if [ "$path" = ftdi ]; then
    ask_host "modem lines" || return
    [ "$answer" = "$want" ] && ok "$path: the adapter's DTR and RTS during the update: $answer (QEMU's trace)" ||
      fail "$path: the adapter's DTR and RTS during the update: $answer, not $want (QEMU's trace)"
    return
  fi
  seen=$(uart_lines)
  [ "$seen" = "$want" ] && ok "$path: DTR and RTS during the update: $seen" ||
    fail "$path: DTR and RTS during the update: $seen, not $want"
}

# low_latency_noted PATH LOG: the line log says the driver took low latency.
low_latency_noted() {
  local note
  note=$(grep -m1 'note low latency' "$2")
  case $note in
    *": taken"*) ok "$1: the line log: ${note#* note }" ;;
    *) fail "$1: the line log has no low latency taken: ${note:-no note}" ;;
  esac
}

# background_update PATH TARGET FILE DEVICE: the update in the background,
# with its line log in /tmp/PATH-TARGET.log; $! is its process.
background_update() {
  rm -f "/tmp/$1-$2.log"
  rz update "$2" "$3" --port "$4" --quiet --log "/tmp/$1-$2.log" >"/tmp/$1-$2.out" 2>&1 &
}

# finished PATH TARGET PID CODE LINE: the background update ended with CODE
# and LINE.
finished() {
  local rc
  wait "$3"; rc=$?
  if [ "$rc" -ne "$4" ]; then
    fail "$1: update $2: exit code $rc, not $4: $(cat "/tmp/$1-$2.out")"
  elif ! grep -qxE -- "$5" "/tmp/$1-$2.out"; then
    fail "$1: update $2: no line \"$5\" in: $(cat "/tmp/$1-$2.out")"
  else
    ok "$1: update $2: exit code $4, $(tail -n 1 "/tmp/$1-$2.out")"
  fi
}

t62_write='H>D 115200 55 55 02 01'
keyer_record='H>D 9600 1b'

# check_path PATH DEVICE PORTS-LINE: everything on one line to a simulator
# of all three devices, which stalls the 3rd T62 row write for 1 s and the
# 5th keyer record for 3 s (each within the update's time-out): the moments
# when the checks look at the line during an update, and on the adapter
# the moment it is pulled out.
check_path() {
  local path=$1 dev=$2 listed=$3 pid before
  port_ready "$dev" || return
  expect "$path: ports" 0 "$listed" ports
  if [ "$path" = ftdi ]; then
    expect "$path: probe t62 (serial=$serial)" 0 "F/W Loader v2.5 Connected" probe t62 --port "serial=$serial"
  else
    expect "$path: probe t62" 0 "F/W Loader v2.5 Connected" probe t62 --port "$dev"
  fi
  background_update "$path" t62 /images/t62.hex "$dev"; pid=$!
  wait_until 30 at_least 3 "$t62_write" "/tmp/$path-t62.log" || fail "$path: the T62 update wrote no 3rd row"
  modem_lines "$path" "DTR off, RTS off"
  low_latency_noted "$path" "/tmp/$path-t62.log"
  finished "$path" t62 "$pid" 0 "Programing Completed Successfully"
  expect "$path: verify t62" 0 "Verify OK: .*" verify t62 /images/t62.hex --port "$dev"
  expect "$path: probe psoc" 0 "PSoC Boot Loader ver 7" probe psoc --port "$dev"
  expect "$path: update psoc" 0 "PSoC Programing Completed Successfully, Press Encoder to restart." \
    update psoc /images/psoc.hex --port "$dev" --quiet
  expect "$path: probe zq3" 0 "ZQ IC: AMBER" probe zq3 --port "$dev"
  [ "$path" = ftdi ] && before=$(cat $latency)
  background_update "$path" zq3 /images/zq3.bin "$dev"; pid=$!
  wait_until 60 at_least 5 "$keyer_record" "/tmp/$path-zq3.log" || fail "$path: the ZQ3 update sent no 5th record"
  modem_lines "$path" "DTR on, RTS off"
  if [ "$path" = ftdi ]; then
    # The driver's latency timer (QEMU's adapter starts at 0 ms, a real FT232
    # at 16), its own file in sysfs.
    [ "$before" != 1 ] && [ "$(cat $latency)" = 1 ] && ok "$path: latency timer $before ms, 1 ms during the update" ||
      fail "$path: latency timer $before ms before the update, $(cat $latency) ms during it, not 1"
    expect "$path: a second program while the port is taken" 4 ".*busy: another program has it open" \
      probe zq3 --port "$dev"
    ask_host unplug
    finished "$path" zq3 "$pid" 4 ".*the port stopped working \(unplugged\?\).*"
    ask_host "plug back"
    port_ready "$dev" || return
    expect "$path: update zq3 again after plugging back, in recovery mode" 0 \
      "Programming ZQ3 in Recovery mode\.\.\.\." update zq3 /images/zq3.bin --port "$dev"
    [ "$(cat $latency)" = "$before" ] && ok "$path: latency timer back to $before ms after the run" ||
      fail "$path: latency timer $(cat $latency) ms after the run, not $before"
  else
    finished "$path" zq3 "$pid" 0 "ZQ3 Programing Completed Successfully, Press Encoder to restart."
  fi
  grep -q 'note speed 9600' "/tmp/$path-zq3.log" && ok "$path: the ZQ3 update's speed change to 9600" ||
    fail "$path: the ZQ3 update's line log has no speed change to 9600"
}

chmod 1777 /tmp
echo "root:x:0:0:root:/root:/bin/sh" >/etc/passwd
echo "tester:x:1000:1000:tester:/tmp:/bin/sh" >>/etc/passwd
printf 'root:x:0:\ndialout:x:20:tester\ntester:x:1000:\n' >/etc/group

check_path ftdi /dev/ttyUSB0 "/dev/ttyUSB0 +ftdi_sio, QEMU QEMU USB SERIAL, USB 0403:6001, serial $serial"
check_path uart /dev/ttyS1 "/dev/ttyS1 +16550A at 0x2F8"
echo "vm: guest: $passed passed, $failed failed"
