#!/usr/bin/env bash
# The web page's T62 update of a 64 KiB image through the browser's own Web
# Serial, timed on this machine against the simulator in its paced mode, set
# beside the same update through the tests' navigator.serial stand-in and
# its WebSocket bridge (scripts/speed.sh's web-t62-65536). Not a test: it
# prints, for each run, the time on the line against the wire limit, per
# exchange and in all, and checks what the simulated T62 holds.
#
# Chromium lists no pseudo-terminal as a serial port and a pseudo-terminal
# has no modem lines, so the browser runs with pty_port_shim (LD_PRELOAD,
# built beside this script): its port listing shows the simulator's
# pseudo-terminal as a USB adapter 0403:6001, and its modem-line requests on
# it succeed. A managed policy grants the page's origin that adapter, with
# no chooser; the policy lives in a private mount namespace (unshare, as
# root), so the machine's own browser policy is untouched.
#
#   tools/browser-speed/run.sh [RUNS]     RUNS of each (default 2)
#
# Settings: BROWSER_SPEED_OUT (default build/browser-speed), SPEED_DEVSIM
# (the simulator's pacing beyond --paced, default --catch-up, as the
# benchmark's). Needs build/native (devsim, pty_port_shim) and build/web/page.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
root=$(pwd)
runs=${1:-2}
out=${BROWSER_SPEED_OUT:-$root/build/browser-speed}
devsim=$root/build/native/tools/devsim/devsim
shim=$root/build/native/tools/browser-speed/libpty_port_shim.so
page=$root/build/web/page
speed=$root/tools/speed/speed.py
export WEB_TOOLS_DIR=${WEB_TOOLS_DIR:-$root/build/web-tools}
. tests/e2e/lib.sh  # the control ids

die() { echo "browser-speed: $*"; exit 1; }
[ -x "$devsim" ] && [ -f "$shim" ] || die "no devsim or pty_port_shim (cmake --build build/native --target devsim pty_port_shim)"
[ -f "$page/ridorez.wasm" ] || die "no page in $page (bash scripts/build_web.sh)"
[ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null || die "needs root and unshare -m, for the browser policy's own /etc/chromium"

rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d /tmp/ridorez-browser-speed.XXXXXX)
pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
}
trap 'stop; rm -rf "$work"' EXIT

python3 "$speed" images "$work/images" 65536 || die "the image could not be made"
image=$work/images/t62-65536.hex
srec_cat "$image" -intel -fill 0xFF 0 0x10000 -o "$work/t62.flat" -binary >/dev/null || die "srec_cat failed"

# The page's origin, which the policy names with its port.
page_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

steps() {  # steps MODE: the timed T62 update, as the benchmark's
  cat <<EOF
open-page $1
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "F/W Loader v2.5 Connected" 10000
click $IDD_MAIN $IDC_T62_UPDATE
load $IDD_T62_UPLOADER $image
wait-enabled $IDD_T62_UPLOADER $IDC_T62_START 1 60000
echo speed-start
click $IDD_T62_UPLOADER $IDC_T62_START
wait-enabled $IDD_T62_UPLOADER $IDC_LOAD 1 900000
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programing Completed Successfully" 1000
echo speed-final
EOF
}

# The real browser's run, inside its own mount namespace: the policy in a
# private /etc/chromium, the browser started through the shim.
cat >"$work/chromium" <<EOF
#!/bin/sh
LD_PRELOAD=$shim PTY_PORT_PATH=$work/port PTY_PORT_LOG=$work/port.log exec /usr/lib/chromium/chromium "\$@"
EOF
chmod +x "$work/chromium"
cat >"$work/in-namespace.sh" <<EOF
set -e
[ -d /etc/chromium ] && cp -a /etc/chromium/. "$work/etc-chromium/" 2>/dev/null || true
mkdir -p /etc/chromium
mount -t tmpfs tmpfs /etc/chromium
cp -a "$work/etc-chromium/." /etc/chromium/
mkdir -p /etc/chromium/policies/managed
printf '%s\n' '{"SerialAllowUsbDevicesForUrls": [{"devices": [{"vendor_id": 1027, "product_id": 24577}], "urls": ["http://127.0.0.1:$page_port"]}]}' \
  >/etc/chromium/policies/managed/ridorez-speed.json
exec "\$@"
EOF
mkdir -p "$work/etc-chromium"

failed=0
run_one() {  # run_one MODE N
  local mode=$1 name="$1-$2" bridge=""
  rm -f "$work/port" "$work/port.log"
  # shellcheck disable=SC2086 # SPEED_DEVSIM is a list of options
  "$devsim" --link "$work/port" --device t62 --paced --clock-note --late-note ${SPEED_DEVSIM---catch-up} \
    --transcript "$out/$name.transcript" --memory "$out/$name.memory" >"$work/$name.devsim.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done
  [ -e "$work/port" ] || { echo "browser-speed: $name: the simulator did not start"; return 1; }
  local command=(env PAGE_PORT="$page_port")
  if [ "$mode" = standin ]; then
    /usr/bin/python3 tests/web/serial_bridge.py --device "$work/port" --log "$out/$name.bridge.log" >"$work/bridge.out" 2>&1 &
    pids+=($!)
    for _ in $(seq 200); do
      bridge=$(sed -n 's/^listening \([0-9]*\)$/ws:\/\/127.0.0.1:\1/p' "$work/bridge.out")
      [ -n "$bridge" ] && break
      sleep 0.05
    done
    [ -n "$bridge" ] || { echo "browser-speed: $name: the bridge did not start"; return 1; }
  else
    command=(unshare -m sh "$work/in-namespace.sh" "${command[@]}" CHROMIUM="$work/chromium")
  fi
  steps "$mode" | python3 "$speed" stamp "$out/$name.stamps" none "${command[@]}" \
    node tests/web/drive_page.mjs "$page" "$work/shots-$name" "$bridge" >"$work/$name.drive.out" 2>&1 ||
    { echo "browser-speed: $name: the page's run failed: $(tail -n 3 "$work/$name.drive.out" | tr '\n' ' ')"; return 1; }
  stop
  [ "$mode" = real ] && cp "$work/port.log" "$out/$name.port.log"
  local held erases=(erase:0) u
  for u in $(seq 6144 2048 69632); do erases+=("erase:$u"); done
  # The loader's own rows (image bytes 0x400 to 0x17ff) stay as they were; the
  # erases go in blocks of four units, the last past the image.
  held=$(python3 tests/e2e/check_device.py t62-memory "$out/$name.memory" "$work/t62.flat" 0x00 \
    "${erases[@]}" write:0:0x400 write:0x1800:0xe800) ||
    { echo "browser-speed: $name: the T62 does not hold the image: $held"; return 1; }
  python3 "$speed" run "$name" t62 115200 65536 "$out/$name.transcript" "$out/$name.stamps" "$out/$name.json" ||
    return 1
  [ "$mode" = standin ] && { python3 "$speed" web-split "$out/$name.json" "$out/$name.bridge.log" || return 1; }
  return 0
}

echo "browser-speed: load at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq "$runs"); do
  for mode in real standin; do
    run_one "$mode" "$r" || failed=1
    stop
  done
done
echo "browser-speed: load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 "$root/tools/browser-speed/report.py" "$out" | tee "$out/browser-speed.md"
exit "$failed"
