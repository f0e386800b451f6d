#!/usr/bin/env bash
# The fault table (docs/faults.md): for each target and each fault of the
# line or the device, what the user sees, how long until it shows, what the
# device holds afterwards, and which next step completes the update. Every
# row is a run of RIdorez.exe under Wine, driven through its windows by the
# window driver, against the simulator with one fault; then the next steps
# are tried in turn (the update again, a new probe and the update, a power
# cycle, a new probe and the update) until one completes. Then power is cut
# at every exchange of a small T62 update and at evenly spread exchanges of
# a PSoC and a ZQ3 update. Not a test: it passes no judgement, it writes the
# table.
#
#   scripts/faults.sh [PART...]    PART: t62, psoc, zq3 (the rows of a
#                                  target), sweep-t62, sweep-psoc, sweep-zq3
#                                  (default: all of them)
#
# Settings (environment):
#   FAULTS_OUT       raw results, stamps, transcripts (default build/faults)
#   FAULTS_DOC       the table (default docs/faults.md)
#   FAULTS_POWER_MS  how long a power loss lasts (default 2000)
#   FAULTS_POINTS    moments of the PSoC and ZQ3 power sweeps (default 25)
#   FAULTS_ONLY      only the rows whose names match this pattern (grep -E),
#                    for trying one out; the table then holds only those
# and those of tests/e2e/lib.sh (E2E_NATIVE_BUILD, E2E_WIN_BUILD, ...).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${FAULTS_OUT:-$root/build/faults}
doc=${FAULTS_DOC:-$root/docs/faults.md}
power_ms=${FAULTS_POWER_MS:-2000}
points=${FAULTS_POINTS:-25}
helper=$root/tools/faults/fault_table.py
stamper=$root/tools/speed/speed.py
results=$out/results.jsonl

. tests/e2e/lib.sh
. tests/e2e/uploads.sh
export E2E_ARTIFACTS=$out/artifacts

faults_log() { echo "faults: $*" >&2; }
PROBE_SEEN="" UPDATE_SEEN="" SEEN="" SECS="" TRAIL="" ADVICE="" FINAL=""

# ---- Targets ----

T62_FILL=0x3c   # the old firmware in the T62's memory
PSOC_FILL=0x00

# use_target t62|psoc|zq3: the windows, buttons and texts of one target.
use_target() {
  TARGET=$1
  case $1 in
    t62)
      DEVICE=t62 TITLE="T62 PIC Firmware Uploader" PROBE=$IDC_OPEN_T62 OPEN=$IDC_T62_UPDATE
      START=$IDC_T62_START DONE="Programing Completed Successfully" RUN_WAIT=60000
      IMAGE=t62 FILL_ARGS=(--t62-fill $T62_FILL) ;;
    psoc)
      DEVICE=psoc TITLE="PSoC Firmware Uploader" PROBE=$IDC_OPEN_PSOC OPEN=$IDC_PSOC_UPDATE
      START=$IDC_PSOC_START DONE="PSoC Programing Completed Successfully, Press Encoder to restart."
      RUN_WAIT=90000 IMAGE=psoc FILL_ARGS=(--psoc-fill $PSOC_FILL) ;;
    zq3)
      DEVICE=keyer TITLE="ZQ3 IC Firmware Uploader" PROBE=$IDC_OPEN_ZQ3 OPEN=$IDC_ZQ3_UPDATE
      START=$IDC_KEYER_START DONE="ZQ3 Programing Completed Successfully, Press Encoder to restart."
      RUN_WAIT=120000 IMAGE=zq3 FILL_ARGS=() ;;
  esac
}

# The images: a 2 KiB T62 image (1 KiB of vectors and 1 KiB of application,
# one erase unit), a whole PSoC image, a ZQ3 image for an AMBER IC with its
# first phase.
make_images() {
  hex_image t62 0:1024 0x1800:1024 || return 1
  hex_image psoc 0:0x3600 || return 1
  ZQ3_RECORDS=$(python3 tests/e2e/keyer_image.py "$E2E_WORK/images/zq3.hex" --expect "$E2E_WORK/images/zq3.expect" \
    --version 31 --variant 3 --phase1) || return 1
}

# ---- One program, one simulator ----

# Driver lines: the probe of the current target from the main window.
probe_lines() {
  cat <<EOF
window "$MAIN_TITLE" 20000
click $PROBE 30000
EOF
}

# probe_passed: after probe_lines, whether the probe found the device (the
# target's update button is on); PROBE_SEEN gets the main window's lines.
probe_passed() {
  drive "window \"$MAIN_TITLE\"" "text $IDC_PORT_LINE" "text $IDC_HW_LINE" "text $IDC_RESULT_LINE"
  PROBE_SEEN=$(printf '%s\n' "$DRIVE_OUT" | grep -v '^$' | sed 's/.*/"&"/' | paste -sd, | sed 's/","/", "/g')
  drive "window \"$MAIN_TITLE\"" "expect-enabled $OPEN 1"
}

# Driver lines: open the uploader from the main window and load the image.
open_and_load_lines() {
  cat <<EOF
window "$MAIN_TITLE"
press $OPEN
window "$TITLE" 10000
$(load_lines)
EOF
}

load_lines() {
  cat <<EOF
window "$TITLE"
press $IDC_LOAD
open-file "$(image_path "$IMAGE")"
gone "Open" 10000
window "$TITLE"
wait-enabled $START 1 10000
EOF
}

# timed_update NAME: presses the uploader's Update and waits for the outcome:
# the status line changes (a run starts, or the update is refused) or the
# "ZQ not connected" box shows; then the Load button back on (the run is
# over, or never began) or the box.
# SEEN gets what the user sees, SECS the seconds from the press, DONE_OK is
# 1 when the update completed.
timed_update() {
  local name=$1 stamps=$out/stamps/$1.stamps
  mkdir -p "$out/stamps"
  SEEN="" SECS="" DONE_OK=0
  drive "window \"$TITLE\"" "text $IDC_STATUS_LINE" || return 1
  local before=$DRIVE_OUT
  printf '%s\n' "window \"$TITLE\"" "echo t-start" "press $START" \
    "wait-any 20000 \"not-text:$IDC_STATUS_LINE:$before\" \"message:ZQ not connected\"" "window \"$TITLE\"" \
    "wait-any $RUN_WAIT enabled:$IDC_LOAD:1 \"message:ZQ not connected\"" "echo t-final" |
    python3 "$stamper" stamp "$stamps" "$WINEPREFIX" "$E2E_WINE" "$E2E_DRIVER" \
      >"$E2E_WORK/timed.out" 2>>"$E2E_WORK/driver.err"
  SECS=$(python3 "$helper" elapsed "$stamps")
  local outcome
  outcome=$(tr -d '\r' <"$E2E_WORK/timed.out")
  if ! grep -qx 't-final' <<<"$outcome"; then
    SEEN="nothing within $((RUN_WAIT / 1000)) s: $(grep '^uidriver:' <<<"$outcome" | tail -n1)"
    drive "window \"$TITLE\"" "text $IDC_STATUS_LINE" && SEEN="$SEEN (status line: \"$DRIVE_OUT\")"
    return 1
  fi
  if [ "$(grep -x '[12]' <<<"$outcome" | head -n1)" = 2 ]; then
    SEEN='message box "ZQ not connected"'
    drive 'message "ZQ not connected"' "press 1" "closed" "window \"$TITLE\""
    return 1
  fi
  drive "window \"$TITLE\"" "text $IDC_STATUS_LINE" || { SEEN="(no answer from the uploader)"; return 1; }
  SEEN="\"$DRIVE_OUT\""
  [ "$DRIVE_OUT" = "$DONE" ] && DONE_OK=1
  [ "$DONE_OK" = 1 ]
}

# timed_probe NAME: the probe of the current target, timed; SEEN gets the
# main window's lines, SECS the seconds the click took.
timed_probe() {
  local stamps=$out/stamps/$1.stamps
  mkdir -p "$out/stamps"
  printf '%s\n' "window \"$MAIN_TITLE\" 20000" "echo t-start" "click $PROBE 30000" "echo t-final" |
    python3 "$stamper" stamp "$stamps" "$WINEPREFIX" "$E2E_WINE" "$E2E_DRIVER" \
      >"$E2E_WORK/timed.out" 2>>"$E2E_WORK/driver.err"
  SECS=$(python3 "$helper" elapsed "$stamps")
  probe_passed
  local rc=$?
  SEEN=$PROBE_SEEN
  return $rc
}

sim_pid() { echo "${E2E_SIM_PIDS[0]}"; }

# device_state: what the simulated device on COM4 holds now, in STATE
# (WHOLE=1 when it holds the whole image); the simulator writes its memory
# on SIGUSR2 and goes on.
device_state() {
  local memory=$E2E_WORK/com4.memory flat=$E2E_WORK/images/$IMAGE.flat
  sim_memory_now 4
  WHOLE=0
  case $TARGET in
    t62) STATE=$(python3 "$helper" t62-state "$memory" "$flat" 8 $T62_FILL) && WHOLE=1 ;;
    psoc) STATE=$(python3 "$helper" psoc-state "$memory" "$flat" $PSOC_FILL) && WHOLE=1 ;;
    zq3)
      STATE=$(python3 "$helper" keyer-state "$memory" "$E2E_WORK/images/zq3.expect") && WHOLE=1
      local ic
      ic=$(grep ' note keyer state: ' "$E2E_WORK/com4.transcript" | tail -n1 | sed 's/.*keyer state: //')
      case $ic in
        "loader at "*", O/S gone") ic=${ic#loader at }; STATE="$STATE; the IC runs its loader at ${ic%%,*} baud, its O/S is gone" ;;
        "loader at "*) ic=${ic#loader at }; STATE="$STATE; the IC runs its loader at ${ic%%,*} baud, its O/S whole (it starts at the next power-up)" ;;
        "O/S at "*) STATE="$STATE; the IC runs its O/S at ${ic#O/S at } baud" ;;
      esac ;;
  esac
  [ -n "$STATE" ] || STATE="(no memory file)"
}

# ---- The next steps ----

# plugged_back: after an unplugged line, the user plugs the adapter back in
# before trying anything: wait until the simulator has linked the new line.
plugged_back() {
  grep -q ' note unplugged for ' "$E2E_WORK/com4.transcript" || return 0
  local i
  for i in $(seq 200); do
    grep -q ' note plugged in again' "$E2E_WORK/com4.transcript" && return 0
    sleep 0.05
  done
}

# next_steps NAME: from the uploader after a failed run, the steps a user
# would try, in order, until one completes: the update again from the same
# dialog; Exit, a new probe and the update; a power cycle of the device, a
# new probe and the update. TRAIL gets what each step showed, ADVICE the
# step that completed, FINAL what the device then holds.
next_steps() {
  local name=$1
  TRAIL="" ADVICE="" FINAL=""
  local first=${2:-again}
  plugged_back
  if [ "$first" = again ]; then
    if drive <<<"$(load_lines)" && timed_update "$name-again"; then
      TRAIL="again: completed"
      ADVICE="run the update again"
      device_state; FINAL=$STATE
      return 0
    fi
    TRAIL="again: ${SEEN:-(${E2E_REASON})}"
    drive "window \"$TITLE\"" "click $IDC_UPLOADER_EXIT 30000" "closed 30000" ||
      { TRAIL="$TRAIL; Exit: ${E2E_REASON}"; return 1; }
  fi
  if reprobe_and_update "$name-reprobe"; then
    TRAIL="$TRAIL${TRAIL:+; }re-probe: $PROBE_SEEN, update: completed"
    ADVICE="Exit, probe again, then the update"
    [ "$RECOVERY" = 1 ] && ADVICE="Exit, probe again (\"Click FW Update\"), then the recovery update"
    device_state; FINAL=$STATE
    return 0
  fi
  TRAIL="$TRAIL${TRAIL:+; }re-probe: $PROBE_SEEN${UPDATE_SEEN:+, update: $UPDATE_SEEN}"
  kill -USR1 "$(sim_pid)" 2>/dev/null
  sleep 0.2
  if reprobe_and_update "$name-powercycle"; then
    TRAIL="$TRAIL; power cycle, re-probe: $PROBE_SEEN, update: completed"
    ADVICE="power-cycle the device, probe again, then the update"
    [ "$RECOVERY" = 1 ] && ADVICE="power-cycle the device, probe again (\"Click FW Update\"), then the recovery update"
    device_state; FINAL=$STATE
    return 0
  fi
  TRAIL="$TRAIL; power cycle, re-probe: $PROBE_SEEN${UPDATE_SEEN:+, update: $UPDATE_SEEN}"
  ADVICE="none of these completes"
  device_state; FINAL=$STATE
  return 1
}

# reprobe_and_update NAME: from the main window, the probe, and when it
# passes, the uploader, the load and the update. PROBE_SEEN, UPDATE_SEEN,
# RECOVERY (the ZQ3 probe found no O/S).
reprobe_and_update() {
  UPDATE_SEEN="" RECOVERY=0
  drive <<<"$(probe_lines)" || { PROBE_SEEN="(${E2E_REASON})"; return 1; }
  probe_passed || return 1
  case $PROBE_SEEN in *"Click FW Update"*) RECOVERY=1 ;; esac
  drive <<<"$(open_and_load_lines)" || { UPDATE_SEEN="(${E2E_REASON})"; return 1; }
  local rc=0
  timed_update "$1" || rc=1
  UPDATE_SEEN=$SEEN
  [ $rc -eq 0 ] && return 0
  drive "window \"$TITLE\"" "click $IDC_UPLOADER_EXIT 30000" "closed 30000"
  return 1
}

# ---- Rows ----

record() { python3 "$helper" row "$results" "$@"; }

# finish_run: stops the program and the simulators, keeps the transcript.
finish_run() {
  local name=$1
  app_stop
  sims_stop
  mkdir -p "$out/transcripts"
  cp "$E2E_WORK/com4.transcript" "$out/transcripts/$name.transcript" 2>/dev/null
  rm -f "$E2E_WORK"/*.transcript "$E2E_WORK"/*.memory*
  rm -f "$WINEPREFIX"/dosdevices/com[2-9]
}

# update_row NAME FAULT DEVSIM-ARGS...: one update with the fault, then the
# next steps; one row.
update_row() {
  local name=$1 fault=$2; shift 2
  wanted "$name" || return 0
  local how="$*"
  faults_log "$TARGET: $fault"
  : >"$E2E_WORK/driver.err"
  sim_start 4 --device "$DEVICE" "${FILL_ARGS[@]}" --paced "$@" || { faults_log "$E2E_REASON"; return 1; }
  app_start
  if ! drive <<<"$(probe_lines)" || ! probe_passed || ! drive <<<"$(open_and_load_lines)"; then
    record kind=row target="$TARGET" fault="$fault" how="$how" seen="(could not start the update: $PROBE_SEEN ${E2E_REASON})"
    finish_run "$name"
    return 1
  fi
  timed_update "$name"
  local seen=$SEEN secs=$SECS completed=$DONE_OK
  device_state
  local after=$STATE
  if [ "$completed" = 1 ]; then
    record kind=row target="$TARGET" fault="$fault" how="$how" seen="$seen" secs="$secs" after="$after" \
      trail="" advice="nothing: the update completed"
  else
    next_steps "$name"
    record kind=row target="$TARGET" fault="$fault" how="$how" seen="$seen" secs="$secs" after="$after" \
      trail="$TRAIL" advice="$ADVICE${FINAL:+ (the device then holds: $FINAL)}"
  fi
  finish_run "$name"
}

# wrong_port_row NAME FAULT DEVSIM-ARGS...: the probe meets another device
# (or this one at another speed) on COM4; the next step chooses COM5, where
# the right device is, with Set Com.
wrong_port_row() {
  local name=$1 fault=$2; shift 2
  wanted "$name" || return 0
  local how="$*"
  faults_log "$TARGET: $fault"
  sim_start 4 "$@" || return 1
  sim_start 5 --device "$DEVICE" "${FILL_ARGS[@]}" || return 1
  app_start
  timed_probe "$name"
  local seen=$SEEN secs=$SECS trail advice
  drive "window \"$MAIN_TITLE\"" "press $IDC_SET_COM" 'window "Comm Port Setup"' "list $IDC_PORT_LIST"
  local index
  index=$(printf '%s' "${DRIVE_OUT% *}" | tr ',' '\n' | grep -nx com5 | cut -d: -f1)
  if [ -n "$index" ] && drive 'window "Comm Port Setup"' "select $IDC_PORT_LIST $((index - 1))" \
      "click $IDC_PORT_OK" closed && reprobe_and_update "$name-com5"; then
    trail="Set Com: COM5; probe: $PROBE_SEEN; update: completed"
    advice="choose the port the device is on (Set Com), then probe"
  else
    trail="Set Com: COM5; probe: $PROBE_SEEN${UPDATE_SEEN:+; update: $UPDATE_SEEN}"
    advice="(not shown: the right port did not help)"
  fi
  record kind=row target="$TARGET" fault="$fault" how="$how" seen="$seen" secs="$secs" \
    after="nothing was sent to the device" trail="$trail" advice="$advice"
  finish_run "$name"
}

# wrong_speed_row NAME FAULT DEVSIM-ARGS...: the probe meets the device at
# another speed; the next steps are a new probe and a power cycle.
wrong_speed_row() {
  local name=$1 fault=$2; shift 2
  wanted "$name" || return 0
  local how="$*"
  faults_log "$TARGET: $fault"
  sim_start 4 "$@" || return 1
  app_start
  timed_probe "$name"
  local seen=$SEEN secs=$SECS
  next_steps "$name" reprobe
  record kind=row target="$TARGET" fault="$fault" how="$how" seen="$seen" secs="$secs" \
    after="nothing was sent to the device" trail="$TRAIL" advice="$ADVICE"
  finish_run "$name"
}

# wanted NAME: whether FAULTS_ONLY lets the row NAME run.
wanted() { [ -z "${FAULTS_ONLY:-}" ] || grep -qE "$FAULTS_ONLY" <<<"$1"; }

# not_shown FAULT WHY: a row the script cannot show.
not_shown() {
  wanted "$TARGET-$1" || return 0
  record kind=row target="$TARGET" fault="$1" seen="(not shown: $2)"
}

rows_t62() {
  use_target t62
  # The commands of an update, after the probe's identify: erase 0 and the
  # fallback row, then erase 0xC00 and 8 rows each written and read back,
  # then erase 0 and the 4 vector rows. Faults hit the 4th row write (the
  # 3rd application row) unless said otherwise.
  update_row t62-lost-once "reply lost once (a row write)" --fault drop:write:4
  update_row t62-lost-twice "reply lost on both attempts (a row write)" --fault drop:write:4-5
  update_row t62-corrupt-once "reply corrupt once (a read-back)" --fault corrupt:read:3
  update_row t62-corrupt-twice "reply corrupt on both attempts (a read-back)" --fault corrupt:read:3-4
  update_row t62-silent-gone "device silent and deaf from the application's erase on, for good" \
    --fault silent:any:4 --fault ignore:any:4-
  update_row t62-silent-hears "device silent from the application's erase on, for good, still carrying commands out" \
    --fault silent:any:4
  update_row t62-noise "noise before every reply (7 bytes)" --fault noise:any:2-:7
  update_row t62-flood-55 "a flood after a row write: 55 without end" --fault flood-55:write:4
  update_row t62-flood-start "a flood after a row write: frame starts 55 55 01 02 03 that never end" \
    --fault flood-start:write:4
  not_shown "NACK codes, wrong echo" "the T62 loader has neither: a reply it cannot take is the next row, a row read back different the one after"
  update_row t62-long "reply longer than the host allows (a row write)" --fault long:write:4
  update_row t62-diff "read-back differs from the row written" --fault diff:read:3
  update_row t62-power "power lost in the middle (a row write), for ${power_ms} ms" --fault "power:write:4:$power_ms"
  update_row t62-unplug "adapter unplugged in the middle (a row write), back after 2 s" --fault unplug:write:4:2000
  wrong_port_row t62-wrong-device "wrong device on the port (the PSoC on COM4)" --device psoc
  wrong_speed_row t62-wrong-speed "wrong speed (the T62 loader at 57600 baud)" --device t62 --t62-baud 57600
}

rows_psoc() {
  use_target psoc
  # The 100th block (number 99) of 216 unless said otherwise.
  update_row psoc-lost "reply lost (the 100th block's echo)" --fault drop:block:100
  update_row psoc-corrupt "reply corrupt (the 100th block's echo, one byte)" --fault corrupt:block:100
  update_row psoc-short "reply cut short (the 100th block's echo, 40 of 66 bytes)" --fault short:block:100:40
  update_row psoc-silent-gone "device silent and deaf from the 100th block on, for good" --fault silent:block:100 \
    --fault ignore:any:101-
  update_row psoc-noise "noise before a reply (3 bytes before the 100th block's echo)" --fault noise:block:100:3
  update_row psoc-flood "a flood after the 100th block: 55 without end" --fault flood-55:block:100
  update_row psoc-finish-wrong "wrong reply to finish (00, not A5)" --fault reply:finish:1:0x00
  update_row psoc-finish-lost "no reply to finish" --fault drop:finish:1
  not_shown "NACK codes" "the PSoC boot loader has none; its wrong echo is the corrupt row"
  update_row psoc-power "power lost in the middle (the 100th block), for ${power_ms} ms" --fault "power:block:100:$power_ms"
  update_row psoc-unplug "adapter unplugged in the middle (the 100th block), back after 2 s" --fault unplug:block:100:2000
  wrong_port_row psoc-wrong-device "wrong device on the port (the T62 on COM4)" --device t62
  wrong_speed_row psoc-wrong-speed "wrong speed (the PSoC boot loader at 9600 baud)" --device psoc --psoc-baud 9600
}

rows_zq3() {
  use_target zq3
  # Commands of a run: the main window's probe and the Update's re-probe,
  # 4 each (echo, version, revision, IC type), the hand-over, the loader's
  # echo, 0x35, 964 records (record 500 is the 511th command), 0x5A.
  # Record 500 unless said otherwise.
  update_row zq3-lost "reply lost (record 500)" --fault drop:record:500
  update_row zq3-corrupt "reply corrupt (record 500: 3C becomes C3)" --fault corrupt:record:500
  update_row zq3-silent-gone "device silent and deaf from record 500 on, for good" --fault silent:record:500 \
    --fault ignore:any:511-
  update_row zq3-noise "noise before a reply (3 bytes before record 500's)" --fault noise:record:500:3
  update_row zq3-flood "a flood after record 500: 55 without end" --fault flood-55:record:500
  update_row zq3-nack-80 "NACK 80 (record 500)" --fault reply:record:500:0x80
  update_row zq3-nack-81 "NACK 81 (record 500)" --fault reply:record:500:0x81
  update_row zq3-nack-82 "NACK 82 (record 500)" --fault reply:record:500:0x82
  update_row zq3-nack-89 "NACK 89 (record 500)" --fault reply:record:500:0x89
  update_row zq3-nack-other "another reply byte, 41 (record 500)" --fault reply:record:500:0x41
  update_row zq3-nack-00 "reply 00 (record 500)" --fault reply:record:500:0x00
  update_row zq3-wrong-echo "wrong echo after the hand-over (55: the O/S still answers)" --fault reply:echo:3:0x55
  update_row zq3-power "power lost in the middle (record 500), for ${power_ms} ms" --fault "power:record:500:$power_ms"
  update_row zq3-unplug "adapter unplugged in the middle (record 500), back after 2 s" --fault unplug:record:500:2000
  wrong_port_row zq3-wrong-device "wrong device on the port (the T62 on COM4)" --device t62
  keyer_at_9600_row
}

# Wrong speed for the keyer: an upload stopped by a NACK leaves the IC's
# loader at 9600; the program started afresh probes at 1200.
keyer_at_9600_row() {
  local name=zq3-wrong-speed fault="wrong speed (the IC's loader left at 9600 by an upload cut short, the program started afresh)"
  wanted "$name" || return 0
  faults_log "$TARGET: $fault"
  sim_start 4 --device keyer --paced --fault reply:record:20:0x81 || return 1
  app_start
  drive <<<"$(probe_lines)" && probe_passed && drive <<<"$(open_and_load_lines)" && timed_update "$name-first"
  drive "window \"$TITLE\"" "click $IDC_UPLOADER_EXIT 30000" closed "window \"$MAIN_TITLE\"" "press $IDC_EXIT" closed
  app_wait_exit 20 || app_stop
  app_start
  timed_probe "$name"
  local seen=$SEEN secs=$SECS
  next_steps "$name" reprobe
  record kind=row target=zq3 fault="$fault" how="reply:record:20:0x81, then a new program" seen="$seen" \
    secs="$secs" after="the IC's loader at 9600 baud, 19 frames written" trail="$TRAIL" \
    advice="$ADVICE${FINAL:+ (the device then holds: $FINAL)}"
  finish_run "$name"
}

# ---- Power sweeps ----

# sweep_point N: power lost at the device's Nth command (the probe's
# included), unpaced; one sweep result.
sweep_point() {
  local n=$1 name=sweep-$TARGET-$1
  wanted "$name" || return 0
  : >"$E2E_WORK/driver.err"
  sim_start 4 --device "$DEVICE" "${FILL_ARGS[@]}" --fault "power:any:$n:$power_ms" || return 1
  app_start
  if ! drive <<<"$(probe_lines)" || ! probe_passed || ! drive <<<"$(open_and_load_lines)"; then
    record kind=sweep target="$TARGET" n="$n" seen="(could not start the update: $PROBE_SEEN $E2E_REASON)"
    finish_run "$name"
    return 1
  fi
  timed_update "$name"
  local seen=$SEEN secs=$SECS moment completed=no
  moment=$(python3 "$helper" moment "$E2E_WORK/com4.transcript")
  device_state
  local after=$STATE
  if [ "$DONE_OK" = 1 ]; then
    completed=yes ADVICE="nothing: the update completed"
  elif next_steps "$name"; then
    completed=yes
  fi
  faults_log "  power at $n ($moment): $seen; next: ${ADVICE}"
  record kind=sweep target="$TARGET" n="$n" moment="$moment" seen="$seen" secs="$secs" after="$after" \
    advice="$ADVICE" completed="$completed" trail="${TRAIL:-}"
  finish_run "$name"
}

# clean_run_commands: the number of commands of a clean probe and update.
clean_run_commands() {
  sim_start 4 --device "$DEVICE" "${FILL_ARGS[@]}" || return 1
  app_start
  drive <<<"$(probe_lines)" && drive <<<"$(open_and_load_lines)" && timed_update "clean-$TARGET" ||
    { faults_log "the clean $TARGET run failed: $SEEN $E2E_REASON"; finish_run "clean-$TARGET"; return 1; }
  sims_stop
  COMMANDS=$(python3 "$helper" commands "$E2E_WORK/com4.transcript" "$DEVICE")
  finish_run "clean-$TARGET"
}

# sweep TARGET all|SPREAD: power lost at every command of the update (the
# probe's own excepted) or at SPREAD of them evenly spread.
sweep() {
  use_target "$1"
  ADVICE="" TRAIL=""
  clean_run_commands || return 1
  local first=2 last=$COMMANDS
  [ "$TARGET" = zq3 ] && first=5   # the main window's probe asks 4 things
  local ns
  if [ "$2" = all ]; then
    ns=$(seq "$first" "$last")
  else
    # Evenly spread, and for the ZQ3 also each command before the first
    # record (the re-probe, the hand-over, the loader's echo test, 0x35),
    # the first and the last record and 0x5A: where the IC changes state.
    local extra=""
    [ "$TARGET" = zq3 ] && extra="$(seq -s' ' "$first" $((first + 7))) $((last - 1)) $last"
    ns=$(python3 -c "import sys; a,b,k=map(int,sys.argv[1:4]); e=[int(x) for x in sys.argv[4:]]
print(' '.join(str(n) for n in sorted(set([a+round(i*(b-a)/(k-1)) for i in range(k)]+e))))" \
      "$first" "$last" "$2" $extra)
  fi
  faults_log "$TARGET: $COMMANDS commands in a clean run; power lost at: $(echo $ns)"
  local n
  for n in $ns; do sweep_point "$n"; done
}

# ---- Main ----

main() {
  local parts=("$@") started=$SECONDS
  [ ${#parts[@]} -gt 0 ] || parts=(t62 psoc zq3 sweep-t62 sweep-psoc sweep-zq3)
  mkdir -p "$out" "$(dirname "$doc")"
  rm -rf "$out/stamps" "$out/transcripts" "$E2E_ARTIFACTS"
  : >"$results"
  e2e_build || { echo "faults: the programs did not build"; return 1; }
  e2e_setup || { echo "faults: no Wine prefix or display: ${E2E_REASON:-}"; return 1; }
  make_images || { echo "faults: no images: $E2E_REASON"; return 1; }
  record kind=meta when="$(date -u +%Y-%m-%d), load $(cut -d' ' -f1 /proc/loadavg) at the start" \
    setup="Images: T62 2048 bytes (1 KiB of vectors, 1 KiB of application: one erase unit of 8 rows from 0xC00, old firmware 0x3C in the T62), PSoC 13824 bytes (216 blocks), ZQ3 an AMBER image of $ZQ3_RECORDS records (964 frames). The line is paced at each device's speed (\`devsim --paced\`), so the times are those of a real line. A power loss lasts ${power_ms} ms." \
    notes="What the simulator does where the program's side leaves it open, and what decides some rows:
- Power loss (\`power:CMD:N:MS\`): the command that meets it is lost, the device hears nothing for ${power_ms} ms, then its loader listens again with its memory as it was; the keyer IC comes back at 1200 baud, in its loader without O/S once an upload has written a record and not yet its last frame (2E), else with its O/S.
- Unplug (\`unplug:CMD:N:MS\`): the pseudo-terminal closes, so the program's open port fails from then on; 2 s later a new one is linked as the same COM port. The device keeps its power and state: a keyer loader at 9600 baud stays at 9600.
- Power cycle (a next step): every device restarts as after a power loss, memory kept. A fault that makes the device silent for good stays through it, so those rows show no step that completes.
- The keyer's loader at 9600 baud takes any byte between frames other than 00 and 5A as the first byte of a record frame, 35 too (\`devsim --keyer-35-at-9600 frame\`; \`ignore\` makes it a request the loader ignores); an update that finds the line at 9600 sends no 35. A failed ZQ3 run leaves the line at 9600; the ZQ3 probe asks there first, and after an echo test unanswered at 1200 it tries 9600 once.
- Wrong speed: a device at another speed than the program's is silent to it (on a wire it may send garbage, which is the noise row)." \
    sweep="Power is cut (for ${power_ms} ms) as the device receives its Nth command of a run (the simulator's \`power:any:N:${power_ms}\`): at every command of a T62 update with the 2 KiB image, and at ${points} commands evenly spread over a PSoC and a ZQ3 update (the ZQ3's from the Update's re-probe to the final 5A), and for the ZQ3 also at each command from the re-probe to the first record, at the last record and at 5A, where the IC changes state. The line is not paced here; the times are from pressing Update."
  local p
  for p in "${parts[@]}"; do
    case $p in
      t62) rows_t62 ;;
      psoc) rows_psoc ;;
      zq3) rows_zq3 ;;
      sweep-t62) sweep t62 all ;;
      sweep-psoc) sweep psoc "$points" ;;
      sweep-zq3) sweep zq3 "$points" ;;
      *) echo "faults: unknown part $p"; return 1 ;;
    esac
  done
  python3 "$helper" table "$results" "$doc" $((SECONDS - started)) || return 1
  echo "faults: $((SECONDS - started)) s; the table in $doc, raw results in $results"
}

main "$@"
