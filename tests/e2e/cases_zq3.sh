# The ZQ3 keyer: the main window's probe of each IC variant, and the ZQ3
# uploader (dialog 1006) with whole updates, recovery mode, refusals and
# loader errors, against the simulated keyer on COM4. Sourced by run.sh.

ZQ3_TITLE="ZQ3 IC Firmware Uploader"
ZQ3_DONE="ZQ3 Programing Completed Successfully, Press Encoder to restart."
ZQ3_MEMORY=""   # the simulated keyer's record log (memory file)
ZQ3_PATH=""     # Windows path of the image made by the last zq3_image
ZQ3_RECORDS=""  # the number of data records in it
ZQ3_EXPECT=""   # the record log a whole upload of it must leave

# zq3_sim ARGS...: the keyer alone on COM4.
zq3_sim() {
  ZQ3_MEMORY=$E2E_WORK/com4.memory
  sim_start 4 --device keyer "$@"
}

# zq3_image NAME KEYER-IMAGE-ARGS...: an image file NAME.bin in the work
# folder (see keyer_image.py), with its expected record log.
zq3_image() {
  local name=$1; shift
  local dir=$E2E_WORK/images
  mkdir -p "$dir"
  ZQ3_EXPECT=$dir/$name.expect
  ZQ3_RECORDS=$(python3 "$E2E_ROOT/tests/e2e/keyer_image.py" "$dir/$name.bin" --expect "$ZQ3_EXPECT" "$@") ||
    { e2e_fail "no keyer image $name"; return 1; }
  ZQ3_PATH="Z:${dir//\//\\}\\$name.bin"
}

# Driver lines: the main window's ZQ3 probe, passed, then the uploader open
# in its first state.
zq3_probe_and_open() {
  cat <<EOF
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE "${1:-ZQ3 IC Test Passed}"
expect-enabled $IDC_ZQ3_UPDATE 1
press $IDC_ZQ3_UPDATE
window "$ZQ3_TITLE"
expect-text $IDC_STATUS_LINE ""
expect-text $IDC_FILE_PATH ""
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 0
expect-enabled $IDC_UPLOADER_EXIT 1
EOF
}

# Driver lines: "Load BIN File" with the last image, and the line it shows.
zq3_load() {
  cat <<EOF
press $IDC_LOAD
open-file "$ZQ3_PATH"
gone "Open"
window "$ZQ3_TITLE"
wait-text $IDC_STATUS_LINE "$1" 10000
expect-text $IDC_FILE_PATH "$ZQ3_PATH"
expect-enabled $IDC_KEYER_START 1
EOF
}

# The bytes the host sent, one "SPEED BYTES" line per chunk, in order.
zq3_host_bytes() {
  awk '$2 == "H>D" { $1 = ""; $2 = ""; sub(/^  /, ""); print }' "$E2E_WORK/com4.transcript"
}

# zq3_memory_is EXPECTED-FILE: the keyer's record log holds exactly these
# frames. Stops the simulator first, so that the log is complete.
zq3_memory_is() {
  sims_stop
  [ -f "$ZQ3_MEMORY" ] || { e2e_fail "the keyer left no record log"; return 1; }
  cmp -s "$ZQ3_MEMORY" "$1" && return 0
  cp "$ZQ3_MEMORY" "$E2E_ARTIFACTS/FAIL-zq3-records.got"
  cp "$1" "$E2E_ARTIFACTS/FAIL-zq3-records.expected"
  e2e_fail "the keyer holds $(wc -l <"$ZQ3_MEMORY") frames, not the $(wc -l <"$1") expected" \
    "(first difference: $(diff "$ZQ3_MEMORY" "$1" | head -n 2 | tr '\n' ' '))"
}

# zq3_note_before FIRST SECOND: both notes are in the transcript, FIRST
# before SECOND.
zq3_note_before() {
  local t=$E2E_WORK/com4.transcript a b
  a=$(grep -n -m1 "note $1\$" "$t" | cut -d: -f1)
  b=$(grep -n -m1 "note $2\$" "$t" | cut -d: -f1)
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ] ||
    e2e_fail "the transcript does not note '$1' before '$2'"
}

# ---- The probe ----

# zq3_probe_case LINE VARIANT DEVSIM-ARGS...: the main window's probe of a
# keyer started with DEVSIM-ARGS: the version LINE in the port line, the VARIANT line
# in the hardware line, and the buttons of a passed probe.
zq3_probe_case() {
  local line=$1 variant=$2; shift 2
  zq3_sim "$@" || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_PORT_LINE "$line"
expect-text $IDC_HW_LINE "$variant"
expect-text $IDC_RESULT_LINE "ZQ3 IC Test Passed"
expect-enabled $IDC_OPEN_T62 0
expect-enabled $IDC_OPEN_PSOC 0
expect-enabled $IDC_OPEN_ZQ3 0
expect-enabled $IDC_T62_UPDATE 0
expect-enabled $IDC_PSOC_UPDATE 0
expect-enabled $IDC_ZQ3_UPDATE 1
EOF
  app_stop
}

# Each variant with its revision offset taken off; version 30 below revision
# 4 is an AMBER without asking; an IC type outside 1-4 gets a defined line.
test_zq3_probe_variants() {
  zq3_probe_case "ZQ3 F/W ver 30.02" "ZQ IC: AMBER" --keyer-variant amber --keyer-version 30 --keyer-revision 2 ||
    return 1
  [ -z "$(zq3_host_bytes | grep -x '1200 00 18')" ] || { e2e_fail "version 30.02 was asked its IC type"; return 1; }
  sims_stop
  zq3_probe_case "ZQ F/W revision 31.03" "ZQ IC: TOPAZ" --keyer-variant topaz || return 1
  expect_eq "TOPAZ probe on the wire" "$(zq3_host_bytes | tr '\n' '|')" \
    "1200 00 04 55|1200 00 09|1200 00 17|1200 00 18|" || return 1
  sims_stop
  zq3_probe_case "ZQ F/W revision 32.07" "ZQ IC: JADE" --keyer-variant jade --keyer-version 32 --keyer-revision 7 ||
    return 1
  sims_stop
  zq3_probe_case "ZQ F/W revision 40.12" "ZQ IC: RUBY" --keyer-variant ruby --keyer-version 40 --keyer-revision 12 ||
    return 1
  sims_stop
  zq3_probe_case "Unknown ZQ IC type 7, F/W ver 31" "" --keyer-ictype 7
}

test_zq3_probe_without_os() {
  zq3_sim --keyer-variant none || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_PORT_LINE "ZQ3 Fail:No O/S"
expect-text $IDC_RESULT_LINE "Click FW Update"
expect-enabled $IDC_ZQ3_UPDATE 1
expect-enabled $IDC_OPEN_T62 1
expect-enabled $IDC_OPEN_PSOC 1
expect-enabled $IDC_OPEN_ZQ3 1
EOF
  # Nothing is asked after the loader's answer to the echo test.
  expect_eq "probe on the wire" "$(zq3_host_bytes | tr '\n' '|')" "1200 00 04 55|"
}

# ---- Updates ----

# A TOPAZ image with data at slot 1012 (so 964 frames, the eight of phase one
# first) and a slot the file leaves out, which goes out blank.
test_zq3_update_topaz() {
  zq3_sim --keyer-variant topaz || return 1
  zq3_image topaz --version 31 --variant 53 --phase1 --blank 700 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ TOPAZ Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 IC...."
expect-enabled $IDC_LOAD 0
expect-enabled $IDC_KEYER_START 0
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 0
progress $IDC_PROGRESS
settle
EOF
  expect_eq "progress after the run" "$DRIVE_OUT" "99 0 100" || return 1
  screenshot zq3-update-done
  drive <<EOF || return 1
window "$ZQ3_TITLE"
click $IDC_UPLOADER_EXIT
closed
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "ZQ3 IC Update Completed"
expect-enabled $IDC_ZQ3_UPDATE 0
expect-enabled $IDC_OPEN_ZQ3 1
EOF
  # The re-probe; the hand-over, the loader's echo and 0x35 at 1200; then
  # the frames at 9600, and the line back at 1200 after 0x5A.
  expect_eq "re-probe on the wire" "$(zq3_host_bytes | sed -n 5,8p | tr '\n' '|')" \
    "1200 00 04 55|1200 00 09|1200 00 17|1200 00 18|" || return 1
  expect_eq "hand-over on the wire" "$(zq3_host_bytes | sed -n 9,11p | tr '\n' '|')" \
    "1200 00 10 9b|1200 00 04 55|1200 35|" || return 1
  zq3_note_before "keyer speed 9600" "keyer speed 1200" || return 1
  transcript_has 4 "H>D" 9600 "5a" || return 1
  zq3_memory_is "$ZQ3_EXPECT"
}

# An IC whose O/S is gone takes any image, without the hand-over request;
# slot 1012 blank here, so 956 frames.
test_zq3_update_recovery() {
  zq3_sim --keyer-variant none || return 1
  zq3_image jade --version 31 --variant 103 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open "Click FW Update")
$(zq3_load "ZQ JADE Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...."
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 0
EOF
  # Probe, re-probe, the worker's echo test, 0x35; no hand-over anywhere.
  expect_eq "start of the update on the wire" "$(zq3_host_bytes | sed -n 1,4p | tr '\n' '|')" \
    "1200 00 04 55|1200 00 04 55|1200 00 04 55|1200 35|" || return 1
  [ -z "$(zq3_host_bytes | grep '00 10 9b')" ] || { e2e_fail "a hand-over request in recovery mode"; return 1; }
  zq3_note_before "keyer speed 9600" "keyer speed 1200" || return 1
  zq3_memory_is "$ZQ3_EXPECT"
}

# Recovery after another probe: the user probes the T62 (not there) between
# the ZQ3 probe that found no O/S and the update. That probe took the port
# for the synchronous channel; the update's probe must open the keyer channel
# again rather than report the IC lost.
test_zq3_recovery_after_t62_probe() {
  zq3_sim --keyer-variant none || return 1
  zq3_image jade --version 31 --variant 103 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE "Click FW Update"
click $IDC_OPEN_T62 10000
expect-text $IDC_PORT_LINE "T62 is not responding: -2"
expect-enabled $IDC_ZQ3_UPDATE 1
press $IDC_ZQ3_UPDATE
window "$ZQ3_TITLE"
$(zq3_load "ZQ JADE Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...."
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
EOF
  zq3_memory_is "$ZQ3_EXPECT"
}

# Update refused: a JADE image for a TOPAZ IC after the re-probe, then,
# once a later load has failed, for want of records, then for the JADE image
# again. Nothing but the probes goes out, and the dialog stays ready.
test_zq3_update_refused() {
  zq3_sim --keyer-variant topaz || return 1
  zq3_image jade --version 31 --variant 120 || return 1
  printf ':00000001FF\r\n' >"$E2E_WORK/images/empty.bin"
  local empty="${ZQ3_PATH%\\*}\\empty.bin"
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ JADE Version: 31.20 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Error: Attempting to program a TOPAZ ZQ with a JADE image !"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 1
press $IDC_LOAD
open-file "$empty"
gone "Open"
window "$ZQ3_TITLE"
wait-text $IDC_STATUS_LINE "File Error"
expect-enabled $IDC_KEYER_START 1
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Error: Zero Length File !"
expect-enabled $IDC_LOAD 1
$(zq3_load "ZQ JADE Version: 31.20 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Error: Attempting to program a TOPAZ ZQ with a JADE image !"
EOF
  # The last Update's probe is a known exchange after the refusals: anything
  # they sent would be on the line before it.
  local probe="1200 00 04 55|1200 00 09|1200 00 17|1200 00 18|" i
  for i in $(seq 100); do
    [ "$(zq3_host_bytes | tr '\n' '|')" = "$probe$probe$probe" ] && break
    sleep 0.05
  done
  expect_eq "the line after the refusals" "$(zq3_host_bytes | tr '\n' '|')" "$probe$probe$probe"
}

# zq3_cut_short_case frame|ignore: uploads cut short by a NACK leave the
# IC's loader, and the line, at 9600. The update again in the same dialog
# finds the loader there and, with no speed request to send, completes,
# whether the loader would take 35 at 9600 for the first byte of a frame or
# ignore it. A program started afresh after such a run finds the loader at
# 9600 as well, and its recovery update completes.
zq3_cut_short_case() {
  zq3_image amber --version 31 --variant 3 || return 1
  local frames again=16
  frames=$(wc -l <"$ZQ3_EXPECT")
  zq3_sim --keyer-variant amber --keyer-35-at-9600 "$1" --fault reply:record:20:0x81 \
    --fault "reply:record:$((20 + frames + again)):0x81" || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-text $IDC_STATUS_LINE "Error: Checksum !" 60000
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...."
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-text $IDC_STATUS_LINE "Error: Checksum !" 60000
EOF
  app_stop
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open "Click FW Update")
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...."
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
EOF
  [ -z "$(zq3_host_bytes | grep -x '9600 35')" ] || { e2e_fail "a speed request went out at 9600"; return 1; }
  { head -n 20 "$ZQ3_EXPECT"; cat "$ZQ3_EXPECT"; head -n "$again" "$ZQ3_EXPECT"; cat "$ZQ3_EXPECT"; } \
    >"$ZQ3_EXPECT.runs"
  zq3_memory_is "$ZQ3_EXPECT.runs"
}

test_zq3_cut_short_loader_takes_35_as_a_frame() { zq3_cut_short_case frame; }
test_zq3_cut_short_loader_ignores_35() { zq3_cut_short_case ignore; }

# zq3_fault_then_update_again FAULT FRAMES TEXT [NOTE]: FAULT cuts short an
# upload to an AMBER IC at record 20, with FRAMES frames written, its loader
# left waiting at 9600, and the dialog showing TEXT (any text when empty).
# Once the simulator has noted NOTE, the update again from the same dialog
# finds the loader there and completes in recovery mode.
zq3_fault_then_update_again() {
  zq3_image amber --version 31 --variant 3 || return 1
  zq3_sim --keyer-variant amber --fault "$1" || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-enabled $IDC_LOAD 1 60000
EOF
  if [ -n "${4:-}" ]; then zq3_wait_note "$4" || return 1; fi
  drive <<EOF || return 1
window "$ZQ3_TITLE"
$([ -n "$3" ] && echo "expect-text $IDC_STATUS_LINE \"$3\"")
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...."
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
EOF
  { head -n "$2" "$ZQ3_EXPECT"; cat "$ZQ3_EXPECT"; } >"$ZQ3_EXPECT.runs"
  zq3_memory_is "$ZQ3_EXPECT.runs"
}

# The adapter is pulled out in the middle of an upload and plugged back 2 s
# later: the update again opens COM4 anew.
test_zq3_unplug_then_update_again() {
  zq3_fault_then_update_again unplug:record:20:2000 19 "Error: VIDUD Timeout !" "plugged in again: .*"
}

# Noise ahead of a reply is taken for the reply, which fails the run, and
# leaves the rest of the noise and the real reply queued on the open channel:
# the update again reads only its own replies.
test_zq3_noise_then_update_again() { zq3_fault_then_update_again noise:record:20:3 20 ""; }

# The loader's checksum error for slot 500 (the 505th frame, after phase
# one) ends the run there; the line stays at 9600.
test_zq3_checksum_error() {
  zq3_sim --keyer-variant amber --fault reply:record:505:0x81 || return 1
  zq3_image amber --version 31 --variant 3 --phase1 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-text $IDC_STATUS_LINE "Error: Checksum !" 60000
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 0
progress $IDC_PROGRESS
EOF
  expect_eq "progress after the error" "$DRIVE_OUT" "52 0 100" || return 1
  [ -z "$(grep 'keyer speed 1200' "$E2E_WORK/com4.transcript")" ] ||
    { e2e_fail "the keyer went back to 1200 after the error"; return 1; }
  head -n 505 "$ZQ3_EXPECT" >"$ZQ3_EXPECT.505"
  zq3_memory_is "$ZQ3_EXPECT.505"
}

# A loader that answers a frame with 0x88, the success code: the run ends
# there with a failure that says so, not with the success message (nor, for
# 0x00, a dialog that waits for ever).
test_zq3_colliding_reply() {
  zq3_sim --keyer-variant ruby --fault reply:record:3:0x88 || return 1
  zq3_image ruby --version 31 --variant 153 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ RUBY Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-text $IDC_STATUS_LINE "Error: ZQ3 Refused a Record !" 30000
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 0
EOF
  head -n 3 "$ZQ3_EXPECT" >"$ZQ3_EXPECT.3"
  zq3_memory_is "$ZQ3_EXPECT.3"
}

# The IC answers the main window's probe but not the re-probe of Update:
# the message box, and the dialog as it was once it is gone.
test_zq3_not_connected() {
  zq3_sim --keyer-variant ruby --fault silent:echo:2 || return 1
  zq3_image ruby --version 31 --variant 153 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ RUBY Version: 31.03 Loaded, $ZQ3_RECORDS Records")
press $IDC_KEYER_START
message "ZQ not connected" 10000
window "Error"
press $IDC_PORT_OK
closed
window "$ZQ3_TITLE"
expect-text $IDC_STATUS_LINE "ZQ RUBY Version: 31.03 Loaded, $ZQ3_RECORDS Records"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_KEYER_START 1
press $IDC_LOAD
open-cancel
gone "Open"
window "$ZQ3_TITLE"
expect-enabled $IDC_KEYER_START 1
click $IDC_UPLOADER_EXIT
closed
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "ZQ3 IC Update Completed"
EOF
  expect_eq "the line" "$(zq3_host_bytes | tr '\n' '|')" \
    "1200 00 04 55|1200 00 09|1200 00 17|1200 00 18|1200 00 04 55|"
}

# Exit during a run: the dialog says it waits, stays until the worker is
# done, then closes by itself. Escape's Load command is not carried out
# meanwhile. Slot 200's reply is held back to make the run last.
test_zq3_exit_during_run() {
  zq3_sim --keyer-variant amber --fault late:record:197:1500 || return 1
  zq3_image amber --version 31 --variant 3 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-progress $IDC_PROGRESS 20 30000
command 2
click $IDC_UPLOADER_EXIT
expect-text $IDC_STATUS_LINE "Please wait: closing when the update ends...."
expect-enabled $IDC_UPLOADER_EXIT 1
closed 30000
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "ZQ3 IC Update Completed"
expect-enabled $IDC_OPEN_ZQ3 1
EOF
  zq3_memory_is "$ZQ3_EXPECT"
}

# zq3_wait_note NOTE [SECONDS]: until the simulator notes NOTE.
zq3_wait_note() {
  local i
  for i in $(seq $(( ${2:-10} * 20 ))); do
    grep -q "note $1\$" "$E2E_WORK/com4.transcript" 2>/dev/null && return 0
    sleep 0.05
  done
  e2e_fail "the simulator did not note '$1'"
}

# The probe's reads wait 4 s: a reply after 3 s is taken as it comes;
# without one the pending read is cancelled at once, not left to the port's
# own 4.5 s time-out, and the probe tries the loader's speed for 0.5 s. Each
# duration is bounded from the side its property is about, so that a busy
# machine, which only makes things slower, cannot fail it: the wait ends no
# sooner than 4 s; a read left to the port's time-out could not end before
# 5.1 s (the open's 100 ms sleep, then 4500 ms, then the 500 ms at 9600), so
# the probe that gave up must take less; and the reply after 3 s is measured
# on the simulator's clock, up to the host's next command.
test_zq3_probe_waits_4_s() {
  local ms
  zq3_sim --keyer-variant topaz --fault late:echo:1:6000 --fault late:version:1:3000 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_PORT_LINE "ZQ3 Fail:no response"
expect-text $IDC_RESULT_LINE "ZQ3 Error, check com port"
expect-enabled $IDC_OPEN_ZQ3 1
elapsed
EOF
  ms=$DRIVE_OUT
  e2e_log "zq3 probe without an answer: gave up after $ms ms"
  [ "$ms" -ge 3900 ] || { e2e_fail "the probe gave up after $ms ms, before its 4 s"; return 1; }
  [ "$ms" -lt 5080 ] || { e2e_fail "the probe took $ms ms: its read waited for the port's own time-out"; return 1; }
  zq3_wait_note "keyer replies 6000 ms late" || return 1
  drive <<EOF || return 1
window "$MAIN_TITLE"
click $IDC_OPEN_ZQ3 30000
expect-elapsed 3000 30000
expect-text $IDC_PORT_LINE "ZQ F/W revision 31.03"
expect-text $IDC_RESULT_LINE "ZQ3 IC Test Passed"
EOF
  # From the version (31, 3 s late) to the host's next command, the
  # revision query: at once, not at the end of the read's 4 s.
  ms=$(awk '$2 == "D>H" && $3 == 1200 && $4 == "1f" && NF == 4 { at = $1 }
            at != "" && $2 == "H>D" && $3 == 1200 && $4 == "00" && $5 == "17" { print int(($1 - at) / 1000); exit }' \
    "$E2E_WORK/com4.transcript")
  e2e_log "zq3 probe: the revision query followed the late version after ${ms:-?} ms"
  [ -n "$ms" ] && [ "$ms" -lt 500 ] ||
    e2e_fail "the revision query followed the late version after ${ms:-no} ms"
}

# The re-probe gives up on a slow echo reply ("ZQ not connected"); the reply
# comes in later while the message box is up. The next Update must not take
# it for the answer to one of its own commands.
test_zq3_late_reply_is_not_taken_for_the_next() {
  zq3_sim --keyer-variant topaz --fault late:echo:2:4600 || return 1
  zq3_image topaz --version 31 --variant 53 || return 1
  app_start
  drive <<EOF || return 1
$(zq3_probe_and_open)
$(zq3_load "ZQ TOPAZ Version: 31.03 Loaded, $ZQ3_RECORDS Records")
press $IDC_KEYER_START
message "ZQ not connected" 10000
EOF
  zq3_wait_note "keyer replies 4600 ms late" || return 1
  drive <<EOF || return 1
message "ZQ not connected"
press $IDC_PORT_OK
closed
window "$ZQ3_TITLE"
click $IDC_KEYER_START 15000
expect-text $IDC_STATUS_LINE "Programming ZQ3 IC...."
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
EOF
  zq3_memory_is "$ZQ3_EXPECT"
}

# Set Com names another port: what the probe found on the old one no longer
# counts. A keyer on COM4 probed, then Set Com to COM5 (a second keyer):
# ZQ3 Update is off and the probes on, so that nothing reaches either keyer
# until COM5 is probed; the update after that programs the keyer on COM5.
# A window that keeps ZQ3 Update on is driven on as a user would (load,
# Update), and judged by what each keyer took.
test_zq3_update_after_set_com() {
  ZQ3_MEMORY=$E2E_WORK/com5.memory
  sim_start 4 --device keyer --keyer-variant amber || return 1
  sim_start 5 --device keyer --keyer-variant amber || return 1
  zq3_image amber --version 31 --variant 3 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE "ZQ3 IC Test Passed"
press $IDC_SET_COM
window "Comm Port Setup"
list $IDC_PORT_LIST
EOF
  # COM1 may be the machine's own serial port, mapped by Wine.
  local com5=1
  case "$DRIVE_OUT" in com1,*) com5=2 ;; esac
  drive <<EOF || return 1
window "Comm Port Setup"
select $IDC_PORT_LIST $com5
click $IDC_PORT_OK
closed
window "$MAIN_TITLE"
expect-text $IDC_PORT_LABEL "com:5"
settle
wait-any 1000 enabled:$IDC_ZQ3_UPDATE:0 enabled:$IDC_ZQ3_UPDATE:1
EOF
  screenshot zq3-after-set-com
  local com4_lines; com4_lines=$(wc -l <"$E2E_WORK/com4.transcript")
  if [ "$DRIVE_OUT" = 2 ]; then
    drive <<EOF
window "$MAIN_TITLE"
press $IDC_ZQ3_UPDATE
window "$ZQ3_TITLE"
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-enabled $IDC_LOAD 1 60000
EOF
  else
    drive <<EOF || return 1
window "$MAIN_TITLE"
expect-enabled $IDC_OPEN_T62 1
expect-enabled $IDC_OPEN_PSOC 1
expect-enabled $IDC_OPEN_ZQ3 1
expect-enabled $IDC_T62_UPDATE 0
expect-enabled $IDC_PSOC_UPDATE 0
$(zq3_probe_and_open)
$(zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records")
click $IDC_KEYER_START 15000
wait-text $IDC_STATUS_LINE "$ZQ3_DONE" 60000
EOF
  fi
  sims_stop
  [ ! -s "$E2E_WORK/com4.memory" ] ||
    { e2e_fail "the keyer on COM4 took $(wc -l <"$E2E_WORK/com4.memory") frames after Set Com to COM5"; return 1; }
  [ "$(sed -n "$((com4_lines + 1)),\$p" "$E2E_WORK/com4.transcript" | grep -c ' H>D ')" = 0 ] ||
    { e2e_fail "the keyer on COM4 was sent bytes after Set Com to COM5"; return 1; }
  zq3_memory_is "$ZQ3_EXPECT"
}

ALL_TESTS+=(
  zq3_probe_variants
  zq3_probe_without_os
  zq3_probe_waits_4_s
  zq3_update_topaz
  zq3_update_recovery
  zq3_recovery_after_t62_probe
  zq3_update_refused
  zq3_checksum_error
  zq3_cut_short_loader_takes_35_as_a_frame
  zq3_cut_short_loader_ignores_35
  zq3_unplug_then_update_again
  zq3_noise_then_update_again
  zq3_colliding_reply
  zq3_not_connected
  zq3_late_reply_is_not_taken_for_the_next
  zq3_exit_during_run
  zq3_update_after_set_com
)
