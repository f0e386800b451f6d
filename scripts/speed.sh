#!/usr/bin/env bash
# How close each update comes to what the serial line allows: a full update
# of each target through RIdorez.exe under Wine, against the simulator in
# its paced mode at the device's own line speed, timed from the simulator's
# transcript and from the window driver. Not a test: it passes no judgement,
# it prints a table (build/speed/speed.md) and plots the T62's time against
# the image size (build/speed/t62-size.png).
#
#   scripts/speed.sh [CASE...]     CASE: t62-<bytes>, psoc, zq3, idle, and
#                                  native-t62-<bytes>, native-psoc, native-zq3:
#                                  the same updates by the core built natively
#                                  (tests/speed/native_update), without Wine;
#                                  native-ftdi<MS>-t62-<bytes>,
#                                  native-ftdi<MS>-psoc, native-ftdi<MS>-zq3:
#                                  those with the simulator behind a modelled
#                                  USB adapter (devsim --adapter
#                                  ftdi:latency=MS: 62-byte packets, sent when
#                                  full or at the latency timer's tick), as a
#                                  user's FTDI adapter at 16 ms (its default)
#                                  and at 1 ms (low latency);
#                                  cli-t62-<bytes>: the same T62 update by the
#                                  command line (ridorez, native), set beside
#                                  the Windows program's t62-<bytes>;
#                                  web-t62-<bytes>: the same T62 update by
#                                  the web page in headless Chromium, its
#                                  bytes through the navigator.serial
#                                  stand-in's bridge (tests/web/);
#                                  bench-t62-<boards>: one ridorez updating
#                                  that many T62s at once (64 KiB each), set
#                                  beside one board updated alone in the same
#                                  run
#
# Settings (environment):
#   SPEED_T62_SIZES  T62 image sizes in bytes (default 2, 16, 64, 128 and
#                    256 KiB; a full 256 KiB image programs the 1000 rows from
#                    0xC00 to the end of the T62's program memory at 0x1FFFF)
#   SPEED_REPEATS    runs of each case (default 2)
#   SPEED_OUT        where the results go (default build/speed)
#   SPEED_DEVSIM     the simulator's pacing options beyond --paced (default
#                    --catch-up: bytes after one it sent late keep the line's
#                    times; "" for plain --paced, where a late byte delays the
#                    rest of its reply; add "--paced-burst 8" to hand the
#                    device's bytes over 8 at a time, as from a UART's FIFO)
# and those of tests/e2e/lib.sh (E2E_NATIVE_BUILD, E2E_WIN_BUILD, ...).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${SPEED_OUT:-$root/build/speed}
sizes=${SPEED_T62_SIZES:-"2048 16384 65536 131072 262144"}
repeats=${SPEED_REPEATS:-2}
helper=$root/tools/speed/speed.py

if ! command -v gnuplot >/dev/null; then
  echo "speed: installing gnuplot-nox for the plot"
  { apt-get update && apt-get install -y --no-install-recommends gnuplot-nox; } >/dev/null 2>&1 ||
    { echo "speed: could not install gnuplot-nox"; exit 1; }
fi

. tests/e2e/lib.sh
. tests/web/lib.sh
export E2E_ARTIFACTS=$out/artifacts

cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
  cases=(idle)
  for s in $sizes; do cases+=("t62-$s"); done
  cases+=(psoc zq3 native-t62-65536 native-psoc native-zq3 cli-t62-65536 bench-t62-8)
  for ms in 16 1; do cases+=("native-ftdi$ms-t62-65536" "native-ftdi$ms-psoc" "native-ftdi$ms-zq3"); done
fi

# The timed part, in one driver run: "speed-start" just before the click on
# Update, "speed-final" as soon as the final text shows (Load comes back on
# with any final text, so a failed run ends the wait as well). The stamper takes
# the time of each line and the CPU time of the prefix's processes at the
# two marks.
timed_drive() {  # timed_drive STAMPS SCRIPT
  printf '%s\n' "$2" | python3 "$helper" stamp "$1" "$WINEPREFIX" "$E2E_WINE" "$E2E_DRIVER" \
    >"$E2E_WORK/timed.out" 2>>"$E2E_WORK/driver.err"
  local rc=${PIPESTATUS[1]}
  [ "$rc" -eq 0 ] || E2E_REASON=$(grep '^uidriver:' "$E2E_WORK/timed.out" | tail -n1)
  return "$rc"
}

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# speed_update NAME TARGET BAUD BYTES IMAGE: one update from probe to final text.
speed_update() {
  local name=$1 target=$2 baud=$3 bytes=$4 image=$5
  local probe title update final
  case $target in
    t62)
      probe="click $IDC_OPEN_T62
expect-text $IDC_PORT_LINE \"F/W Loader v2.5 Connected\"
press $IDC_T62_UPDATE"
      title="T62 PIC Firmware Uploader" update=$IDC_T62_START final="Programing Completed Successfully" ;;
    psoc)
      probe="click $IDC_OPEN_PSOC
expect-text $IDC_PORT_LINE \"PSoC Boot Loader ver 7\"
press $IDC_PSOC_UPDATE"
      title="PSoC Firmware Uploader" update=$IDC_PSOC_START
      final="PSoC Programing Completed Successfully, Press Encoder to restart." ;;
    zq3)
      probe="click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE \"ZQ3 IC Test Passed\"
press $IDC_ZQ3_UPDATE"
      title="ZQ3 IC Firmware Uploader" update=$IDC_KEYER_START
      final="ZQ3 Programing Completed Successfully, Press Encoder to restart." ;;
  esac
  local device=$target
  [ "$target" = zq3 ] && device=keyer
  # shellcheck disable=SC2086 # SPEED_DEVSIM is a list of options
  sim_start 4 --device "$device" --paced --clock-note --late-note ${SPEED_DEVSIM---catch-up} || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
$probe
window "$title"
press $IDC_LOAD
open-file "$(winpath "$image")"
window "$title"
wait-enabled $update 1 60000
EOF
  local stamps=$out/$name.stamps
  timed_drive "$stamps" "window \"$title\"
echo speed-start
click $update 30000
echo speed-clicked
wait-enabled $IDC_LOAD 1 900000
wait-text $IDC_STATUS_LINE \"$final\" 1000
echo speed-final" || return 1
  drive "window \"$title\"" close closed "window \"$MAIN_TITLE\"" "press $IDC_EXIT" closed || return 1
  app_wait_exit 20 || return 1
  sims_stop
  cp "$E2E_WORK/com4.transcript" "$out/$name.transcript"
  python3 "$helper" run "$name" "$target" "$baud" "$bytes" "$out/$name.transcript" "$stamps" "$out/$name.json"
}

# What the driver's polling costs by itself: 10 s on an idle main window,
# polling a text that never comes, then 10 s without polling.
speed_idle() {
  app_start
  drive "window \"$MAIN_TITLE\" 20000" || return 1
  timed_drive "$out/idle-polling.stamps" "window \"$MAIN_TITLE\"
echo speed-start
wait-text $IDC_PORT_LINE \"(nothing)\" 10000"
  python3 "$helper" idle idle-polling "$out/idle-polling.stamps" "$out/idle-polling.json" || return 1
  timed_drive "$out/idle-quiet.stamps" "echo speed-start
sleep 10000
echo speed-final" || return 1
  python3 "$helper" idle idle-quiet "$out/idle-quiet.stamps" "$out/idle-quiet.json" || return 1
  drive "window \"$MAIN_TITLE\"" "press $IDC_EXIT" closed || return 1
  app_wait_exit 20
}

# speed_native NAME TARGET BAUD BYTES IMAGE [OPTION...]: the same update by
# the native core (tests/speed/native_update), for the simulator's and the
# pty's share; OPTIONs go to the simulator (--adapter ...).
speed_native() {
  local name=$1 target=$2 baud=$3 bytes=$4 image=$5 device=$2
  shift 5
  [ "$target" = zq3 ] && device=keyer
  # shellcheck disable=SC2086 # SPEED_DEVSIM is a list of options
  sim_start 4 --device "$device" --paced --clock-note --late-note ${SPEED_DEVSIM---catch-up} "$@" || return 1
  RIDOREZ_COM_DIR=$WINEPREFIX/dosdevices "$E2E_NATIVE_BUILD/tests/speed/native_update" \
    "$out/$name.stamps" "$target" "$image" >"$E2E_WORK/native.out" 2>&1 ||
    { E2E_REASON=$(cat "$E2E_WORK/native.out"); return 1; }
  sims_stop
  cp "$E2E_WORK/com4.transcript" "$out/$name.transcript"
  python3 "$helper" run "$name" "$target" "$baud" "$bytes" "$out/$name.transcript" "$out/$name.stamps" "$out/$name.json"
}

# speed_cli NAME BYTES IMAGE: the T62 update by the command line, as a
# script runs it (its output a pipe). Its own lines mark the run: the
# running line just before the worker starts, the final message once the
# worker is done. bash's time gives the whole process's CPU time.
speed_cli() {
  local name=$1 bytes=$2 image=$3
  # shellcheck disable=SC2086 # SPEED_DEVSIM is a list of options
  sim_start 4 --device t62 --paced --clock-note --late-note ${SPEED_DEVSIM---catch-up} || return 1
  python3 "$helper" stamp "$out/$name.stamps" "$WINEPREFIX" bash -c '
    TIMEFORMAT="%U %S"
    { time RIDOREZ_COM_DIR=$1 "$2" update t62 "$3" --port COM4 2>/dev/null; } 2>"$4" |
      sed -u -e "s/^Programming T62 PIC[.]*\$/speed-start/" -e "s/^Programing Completed Successfully\$/speed-final/"
    exit "${PIPESTATUS[0]}"' _ "$WINEPREFIX/dosdevices" "$E2E_NATIVE_BUILD/cli/ridorez" "$image" "$out/$name.cpu" \
    >"$E2E_WORK/cli.out" 2>&1 || { E2E_REASON="ridorez: $(tail -n3 "$E2E_WORK/cli.out")"; return 1; }
  sims_stop
  cp "$E2E_WORK/com4.transcript" "$out/$name.transcript"
  python3 "$helper" run "$name" t62 115200 "$bytes" "$out/$name.transcript" "$out/$name.stamps" "$out/$name.json" \
    "$out/$name.cpu"
}

# speed_web NAME BYTES IMAGE: the T62 update by the web page, through the
# bridge to the simulator, marked by the page driver's echo lines just
# before the press on Update and once the final text shows.
speed_web() {
  local name=$1 bytes=$2 image=$3
  # shellcheck disable=SC2086 # SPEED_DEVSIM is a list of options
  sim_start 4 --device t62 --paced --clock-note --late-note ${SPEED_DEVSIM---catch-up} || return 1
  bridge_start 4 || return 1
  python3 "$helper" stamp "$out/$name.stamps" "$WINEPREFIX" node "$root/tests/web/drive_page.mjs" "$WEB_PAGE" \
    "$E2E_ARTIFACTS/$name" "$BRIDGE_URL" >"$E2E_WORK/web.out" 2>&1 <<EOF || { E2E_REASON="page: $(tail -n3 "$E2E_WORK/web.out")"; return 1; }
open-page standin
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
  bridge_stop
  sims_stop
  cp "$E2E_WORK/com4.transcript" "$out/$name.transcript"
  cp "$E2E_WORK/bridge.log" "$out/$name.bridge.log"
  python3 "$helper" run "$name" t62 115200 "$bytes" "$out/$name.transcript" "$out/$name.stamps" "$out/$name.json" &&
    python3 "$helper" web-split "$out/$name.json" "$out/$name.bridge.log"
}

# speed_multi NAME BOARDS BYTES IMAGE: the command line's T62 update of one
# board alone, then of BOARDS boards at once (one command, a worker process
# per port), each board a paced simulator of its own. bash's time gives the
# wall time and the CPU time of the whole ridorez, its workers included; the
# simulators' CPU time comes from /proc.
speed_multi() {
  local name=$1 boards=$2 bytes=$3 image=$4 n ports=() pids=()
  for n in $(seq 1 "$boards"); do
    # shellcheck disable=SC2086 # SPEED_DEVSIM is a list of options
    sim_start $((n + 4)) --device t62 --paced ${SPEED_DEVSIM---catch-up} || return 1
    ports+=(--port "COM$((n + 4))")
    pids+=("${E2E_SIM_PIDS[-1]}")
  done
  local cli=$E2E_NATIVE_BUILD/cli/ridorez comdir=$WINEPREFIX/dosdevices
  local one=$out/$name.one.time all=$out/$name.all.time
  bash -c 'TIMEFORMAT="%R %U %S"; { time RIDOREZ_COM_DIR=$1 "${@:3}" >"$2.out" 2>&1; } 2>"$2"' _ \
    "$comdir" "$one" "$cli" update t62 "$image" --port COM5 || { E2E_REASON="one board: $(tail -n3 "$one.out")"; return 1; }
  local before=0 after=0 pid
  for pid in "${pids[@]}"; do before=$((before + $(cut -d' ' -f14,15 "/proc/$pid/stat" | tr ' ' '+'))); done
  bash -c 'TIMEFORMAT="%R %U %S"; { time RIDOREZ_COM_DIR=$1 "${@:3}" >"$2.out" 2>&1; } 2>"$2"' _ \
    "$comdir" "$all" "$cli" update t62 "$image" "${ports[@]}" ||
    { E2E_REASON="$boards boards: $(tail -n3 "$all.out")"; return 1; }
  for pid in "${pids[@]}"; do after=$((after + $(cut -d' ' -f14,15 "/proc/$pid/stat" | tr ' ' '+'))); done
  sims_stop
  python3 "$helper" multi "$name" "$boards" "$bytes" "$one" "$all" "$((after - before))" "$out/$name.json"
}

run_case() {  # run_case CASE RUN
  local c=$1 r=$2
  case $c in
    idle) speed_idle ;;
    t62-*) speed_update "t62-$(printf '%06d' "${c#t62-}")-$r" t62 115200 "${c#t62-}" "$E2E_WORK/images/t62-${c#t62-}.hex" ;;
    psoc) speed_update "psoc-$r" psoc 19200 13824 "$E2E_WORK/images/psoc.hex" ;;
    zq3) speed_update "zq3-$r" zq3 9600 1016 "$E2E_WORK/images/zq3.bin" ;;
    bench-t62-*) speed_multi "bench-t62-${c#bench-t62-}-$r" "${c#bench-t62-}" 65536 "$E2E_WORK/images/t62-65536.hex" ;;
    cli-t62-*)
      local n=${c#cli-t62-}
      speed_cli "cli-t62-$(printf '%06d' "$n")-$r" "$n" "$E2E_WORK/images/t62-$n.hex" ;;
    web-t62-*)
      local n=${c#web-t62-}
      speed_web "web-t62-$(printf '%06d' "$n")-$r" "$n" "$E2E_WORK/images/t62-$n.hex" ;;
    native-ftdi*-*)
      # native-ftdi<MS>-<target>: the simulator behind an adapter of MS ms
      local ms=${c#native-ftdi} what
      what=${ms#*-}
      ms=${ms%%-*}
      local adapter=(--adapter "ftdi:latency=$ms")
      case $what in
        t62-*) speed_native "native-ftdi$ms-t62-$(printf '%06d' "${what#t62-}")-$r" t62 115200 "${what#t62-}" \
          "$E2E_WORK/images/t62-${what#t62-}.hex" "${adapter[@]}" ;;
        psoc) speed_native "native-ftdi$ms-psoc-$r" psoc 19200 13824 "$E2E_WORK/images/psoc.hex" "${adapter[@]}" ;;
        zq3) speed_native "native-ftdi$ms-zq3-$r" zq3 9600 1016 "$E2E_WORK/images/zq3.bin" "${adapter[@]}" ;;
        *) E2E_REASON="unknown case $c"; return 1 ;;
      esac ;;
    native-t62-*)
      local n=${c#native-t62-}
      speed_native "native-t62-$(printf '%06d' "$n")-$r" t62 115200 "$n" "$E2E_WORK/images/t62-$n.hex" ;;
    native-psoc) speed_native "native-psoc-$r" psoc 19200 13824 "$E2E_WORK/images/psoc.hex" ;;
    native-zq3) speed_native "native-zq3-$r" zq3 9600 1016 "$E2E_WORK/images/zq3.bin" ;;
    *) E2E_REASON="unknown case $c"; return 1 ;;
  esac
}

main() {
  rm -rf "$out"
  mkdir -p "$out"
  { e2e_build && cmake --build "$E2E_NATIVE_BUILD" -j2 --target native_update ridorez >/dev/null; } ||
    { echo "speed: the programs did not build"; return 1; }
  case " ${cases[*]}" in
    *" web-"*) bash scripts/build_web.sh >/dev/null || { echo "speed: the web page did not build"; return 1; } ;;
  esac
  e2e_setup || { echo "speed: no Wine prefix or display: ${E2E_REASON:-}"; return 1; }
  local t62sizes=()
  for c in "${cases[@]}"; do
    case $c in
      t62-* | native-t62-* | native-ftdi*-t62-* | cli-t62-* | web-t62-*) t62sizes+=("${c##*t62-}") ;;
      bench-t62-*) t62sizes+=(65536) ;;
    esac
  done
  python3 "$helper" images "$E2E_WORK/images" "${t62sizes[@]}" || return 1
  echo "speed: load at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "devsim --paced ${SPEED_DEVSIM---catch-up}" >"$out/simulator.txt"
  local failed=0 c r
  for r in $(seq "$repeats"); do
    for c in "${cases[@]}"; do
      [ "$c" = idle ] && [ "$r" -gt 1 ] && continue
      E2E_REASON=""
      if ! run_case "$c" "$r"; then
        echo "speed: $c run $r failed: ${E2E_REASON:-see $E2E_WORK}"
        screenshot "FAIL-$c-$r" || true
        failed=1
      fi
      app_stop
      bridge_stop
      sims_stop
    done
  done
  echo "speed: load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
  python3 "$helper" report "$out" || return 1
  echo "speed: table in $out/speed.md"
  [ -f "$out/t62-size.png" ] && echo "speed: the T62's time against image size in $out/t62-size.png"
  return "$failed"
}

main
