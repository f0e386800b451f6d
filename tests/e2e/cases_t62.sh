# End-to-end tests of the T62 uploader: from the main window's probe through
# the uploader dialog to what the simulated T62 holds in its memory.
# Sourced by run.sh.
. "$(dirname "${BASH_SOURCE[0]}")/uploads.sh"

T62_TITLE="T62 PIC Firmware Uploader"
T62_FILL=0x3c  # the "old firmware" in the simulated T62's memory

# Driver lines: probe the T62 and open its uploader, which becomes current.
t62_open_uploader() {
  cat <<EOF
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62
expect-text $IDC_PORT_LINE "F/W Loader v2.5 Connected"
press $IDC_T62_UPDATE
window "$T62_TITLE"
EOF
}

# Driver lines: "Load HEX File" and choose NAME.hex in the Open dialog; the
# uploader is current again once the path shows.
t62_load() {
  cat <<EOF
press $IDC_LOAD
open-file "$(image_path "$1")"
window "$T62_TITLE"
wait-text $IDC_FILE_PATH "$(image_path "$1")"
EOF
}

# Driver lines: after the uploader has gone, the main window as it must be.
t62_back_in_main_window() {
  cat <<EOF
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "T62 PIC Update Completed"
expect-text $IDC_PORT_LINE ""
expect-text $IDC_HW_LINE ""
expect-enabled $IDC_OPEN_T62 1
expect-enabled $IDC_OPEN_PSOC 1
expect-enabled $IDC_OPEN_ZQ3 1
expect-enabled $IDC_T62_UPDATE 0
EOF
}

# The whole road with an image of 5000 bytes: 1024 of vectors and 3976 of
# application from image offset 0x1800, so three erase units of 2048.
test_t62_update() {
  hex_image t62_5000 0:1024 0x1800:3976 || return 1
  sim_start 4 --device t62 --paced --t62-fill $T62_FILL || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_START 0
expect-enabled $IDC_T62_RESTART 0
expect-enabled $IDC_UPLOADER_EXIT 1
$(t62_load t62_5000)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 5000 Bytes"
expect-enabled $IDC_T62_START 1
click $IDC_T62_START
expect-text $IDC_STATUS_LINE "Programming T62 PIC...."
expect-enabled $IDC_LOAD 0
expect-enabled $IDC_T62_START 0
expect-enabled $IDC_T62_RESTART 0
wait-text $IDC_STATUS_LINE "Programing Completed Successfully" 30000
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the run" "$DRIVE_OUT" "19 0 19" || return 1
  drive <<EOF || return 1
window "$T62_TITLE"
expect-text $IDC_ADDRESS "01800"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_START 0
expect-enabled $IDC_T62_RESTART 1
settle
EOF
  screenshot t62-update-done
  drive <<EOF || return 1
window "$T62_TITLE"
click $IDC_T62_RESTART
expect-text $IDC_STATUS_LINE "Resetting T62"
expect-enabled $IDC_T62_RESTART 0
press $IDC_UPLOADER_EXIT
closed
$(t62_back_in_main_window)
EOF
  transcript_has 4 "H>D" 115200 "55 55 08 00 f8 04" || return 1
  sims_stop
  t62_memory_is t62_5000 $T62_FILL erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 \
    write:0x1800:0x1800 erase:0 write:0:0x400
}

# A release in place of a HEX file: release.json (made by ridorez-cli.exe
# release make) chosen in the Open dialog, its T62 image taken, checked and
# loaded, and the update writes it.
test_t62_update_from_release() {  # cli_run: cases_cli.sh
  hex_image t62_release 0:1024 0x1800:3976 || return 1
  sim_start 4 --device t62 --t62-fill $T62_FILL || return 1
  local release
  release=$(image_path release)
  release=${release%.hex}
  cli_run release make "$release" --name Keyer --version 2.1 "t62:$(image_path t62_release)" || return 1
  expect_eq "release make's exit code" "$APP_EXIT_CODE" 0 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
press $IDC_LOAD
open-file "$release\\release.json"
window "$T62_TITLE"
wait-text $IDC_FILE_PATH "$release\\t62_release.hex"
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 5000 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Programing Completed Successfully" 30000
click $IDC_T62_RESTART
press $IDC_UPLOADER_EXIT
closed
$(t62_back_in_main_window)
EOF
  sims_stop
  t62_memory_is t62_release $T62_FILL erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 \
    write:0x1800:0x1800 erase:0 write:0:0x400
}

# Update refused, with nothing sent to the T62: before any load (also after
# a load that failed), after a good load followed by a failed one, and for
# an image with data past the rows its byte count lets the update write
# (1344 bytes: 8 rows from 0xC00, and 64 bytes at 0x1F00). First of all, the
# Escape key acts as "Load HEX File", and a cancelled choice changes nothing.
test_t62_update_refused() {
  hex_text t62_eof_only ":00000001FF"
  hex_image t62_small 0:1024 0x1800:256 || return 1
  hex_image t62_sparse 0:1024 0x1800:256 0x3e00:64 || return 1
  sim_start 4 --device t62 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
key escape
window "Open"
open-cancel
gone "Open"
window "$T62_TITLE"
expect-text $IDC_STATUS_LINE ""
expect-text $IDC_FILE_PATH ""
expect-enabled $IDC_T62_START 0
command $IDC_T62_START
expect-text $IDC_STATUS_LINE "Error: Please Open a Programming File !"
$(t62_load t62_eof_only)
wait-text $IDC_STATUS_LINE "File Error"
expect-enabled $IDC_T62_START 0
command $IDC_T62_START
expect-text $IDC_STATUS_LINE "Error: Please Open a Programming File !"
$(t62_load t62_small)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
expect-enabled $IDC_T62_START 1
$(t62_load t62_eof_only)
wait-text $IDC_STATUS_LINE "File Error"
expect-enabled $IDC_T62_START 1
click $IDC_T62_START
expect-text $IDC_STATUS_LINE "Error: Zero Length File !"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_RESTART 0
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the refusal" "$DRIVE_OUT" "0 0 0" || return 1
  drive <<EOF || return 1
window "$T62_TITLE"
$(t62_load t62_sparse)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1344 Bytes"
click $IDC_T62_START
expect-text $IDC_STATUS_LINE "Error: Data at 01f00 lies beyond row 00f80 !"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_START 1
EOF
  host_sent_only "H>D 115200 55 55 00 01 ff 04"
}

# Files where users keep them: under a path of 170 characters (nested
# folders, as synced drives make them) and under a folder named in Cyrillic
# letters. Each loads, and the path line shows its path as it is.
test_t62_load_long_and_cyrillic_paths() {
  local long="Cloud Drive - Example Organisation/Documents/Firmware/Keyer T62 PIC"
  long+="/Release 2024-11 with the new loader and fixed vectors/t62_updates"
  local cyrillic="Прошивки/t62"
  mkdir -p "$E2E_WORK/images/$(dirname "$long")" "$E2E_WORK/images/$(dirname "$cyrillic")"
  hex_image "$long" 0:1024 0x1800:256 || return 1
  hex_image "$cyrillic" 0:1024 0x1800:512 || return 1
  local long_path
  long_path=$(image_path "$long")
  expect_eq "length of the long path" "${#long_path}" 170 || return 1
  sim_start 4 --device t62 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load "$long")
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
$(t62_load "$cyrillic")
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1536 Bytes"
EOF
}

# Both attempts at the second application row go unanswered: the run stops
# with one row programmed, and the vector rows are still installed. The
# next run, from a fresh load, programs the whole image.
test_t62_write_failure() {
  hex_image t62_3000 0:1024 0x1800:1976 || return 1
  sim_start 4 --device t62 --t62-fill $T62_FILL --fault ignore:write:3-4 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_3000)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 3000 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Flash Write !" 20000
expect-text $IDC_ADDRESS "00c80"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_START 0
expect-enabled $IDC_T62_RESTART 1
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the failed run" "$DRIVE_OUT" "1 0 11" || return 1
  # The reset makes the simulator write its memory as the run left it.
  drive <<EOF || return 1
window "$T62_TITLE"
click $IDC_T62_RESTART
expect-text $IDC_STATUS_LINE "Resetting T62"
EOF
  memory_written "$E2E_WORK/com4.memory" || return 1
  t62_memory_is t62_3000 $T62_FILL erase:0 fallback erase:0x1800 write:0x1800:0x100 erase:0 write:0:0x400 ||
    return 1
  drive <<EOF || return 1
window "$T62_TITLE"
$(t62_load t62_3000)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 3000 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Programing Completed Successfully" 20000
expect-text $IDC_ADDRESS "01400"
press $IDC_UPLOADER_EXIT
closed
$(t62_back_in_main_window)
EOF
  sims_stop
  t62_memory_is t62_3000 $T62_FILL erase:0 fallback erase:0x1800 erase:0x2000 write:0x1800:0x1000 \
    erase:0 write:0:0x400
}

# Three runs from the same dialog, each stopped in its first erase unit: a
# row that reads back different (it counts as programmed), a row that cannot
# be read back at all (not verified, so no better than a difference), and an
# erase that fails. The vector rows are written after each.
test_t62_verify_and_erase_failures() {
  hex_image t62_3000 0:1024 0x1800:1976 || return 1
  # Reads: 0xc00 and 0xc80 in the first run, then its four vector rows;
  # 0xc00 twice in the second. Erases: 0, 0xc00, 0 in each run; the third
  # run's 0xc00 is the 8th.
  sim_start 4 --device t62 --fault diff:read:2 --fault ignore:read:7-8 --fault ignore:erase:8-9 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_3000)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 3000 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Flash Verify !" 10000
expect-text $IDC_ADDRESS "00d00"
$(t62_load t62_3000)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 3000 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Flash Verify !" 10000
expect-text $IDC_ADDRESS "00c80"
$(t62_load t62_3000)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 3000 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Flash Erase !" 10000
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_RESTART 1
EOF
  local vectors
  vectors=$(grep -c ' note write 000180$' "$E2E_WORK/com4.transcript")
  expect_eq "runs that wrote the last vector row" "$vectors" 3
}

# The fallback row cannot be written, on a second run: that run ends there,
# before anything at 0xC00 or above is erased, so the first run's
# application rows stay; the progress shown is the failed run's, not the
# first run's.
test_t62_fallback_failure() {
  hex_image t62_small 0:1024 0x1800:256 || return 1
  # The first run writes 13 rows: fallback, 8 of application, 4 of vectors.
  sim_start 4 --device t62 --t62-fill $T62_FILL --fault drop:write:14-15 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_small)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Programing Completed Successfully" 10000
expect-text $IDC_ADDRESS "01000"
$(t62_load t62_small)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Fallback Error !" 20000
expect-text $IDC_ADDRESS "00000"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_RESTART 1
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the failed run" "$DRIVE_OUT" "0 0 5" || return 1
  drive <<EOF || return 1
window "$T62_TITLE"
press $IDC_UPLOADER_EXIT
closed
$(t62_back_in_main_window)
EOF
  sims_stop
  t62_memory_is t62_small $T62_FILL erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 write:0:0x400 \
    erase:0 fallback
}

# Both replies to the second vector row's write are lost, after the vector
# install has erased unit 0 and written its first row: the run says so, and
# address 0 holds the fallback row again, not a reset vector with erased
# interrupt rows.
test_t62_vector_write_lost_twice() {
  hex_image t62_small 0:1024 0x1800:256 || return 1
  # Writes: the fallback row, 8 of application, then the vector rows.
  sim_start 4 --device t62 --t62-fill $T62_FILL --fault drop:write:11-12 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_small)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Vector Install !" 20000
EOF
  sims_stop
  t62_memory_is t62_small $T62_FILL erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 fallback
}

# A lost write reply and a corrupt read-back reply each cost one retry of
# the same request, and the run succeeds. An image under 2048 bytes is one
# erase unit.
test_t62_lost_replies_retried() {
  hex_image t62_1724 0:1024 0x1800:700 || return 1
  sim_start 4 --device t62 --t62-fill $T62_FILL --fault drop:write:3 --fault corrupt:read:3 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_1724)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1724 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Programing Completed Successfully" 20000
expect-text $IDC_ADDRESS "01000"
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the run" "$DRIVE_OUT" "6 0 6" || return 1
  local writes reads
  writes=$(grep -c ' note write 000c80$' "$E2E_WORK/com4.transcript")
  reads=$(grep -c ' H>D 115200 55 55 01 40 00 0d 00 b2 04$' "$E2E_WORK/com4.transcript")
  expect_eq "writes of row 0xc80" "$writes" 2 || return 1
  expect_eq "read requests of row 0xd00" "$reads" 2 || return 1
  sims_stop
  t62_memory_is t62_1724 $T62_FILL erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 write:0:0x400
}

# The adapter is pulled out in the middle of a run (a row write), and stays
# out for 8 s. Update from the same dialog while it is out says why the port
# does not open; once it is back, Update opens COM4 again and the run
# completes, with no new probe.
test_t62_unplug_then_update_again() {
  hex_image t62_small 0:1024 0x1800:256 || return 1
  sim_start 4 --device t62 --t62-fill $T62_FILL --fault unplug:write:4:8000 || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_small)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Error: Flash Write !" 20000
$(t62_load t62_small)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDC_T62_START
expect-text $IDC_STATUS_LINE "Comm port open error: File not found"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_T62_START 1
EOF
  local i
  for i in $(seq 300); do
    grep -q ' note plugged in again' "$E2E_WORK/com4.transcript" && break
    sleep 0.05
  done
  drive <<EOF || return 1
window "$T62_TITLE"
click $IDC_T62_START
wait-text $IDC_STATUS_LINE "Programing Completed Successfully" 20000
press $IDC_UPLOADER_EXIT
closed
$(t62_back_in_main_window)
EOF
  sims_stop
  t62_memory_is t62_small $T62_FILL erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 write:0:0x400
}

# Exit (and the close box) while the worker runs: the dialog says it waits,
# ignores a load by the Escape key, and closes by itself once the run is
# over, not before: the last vector row is then already written.
test_t62_exit_during_run() {
  hex_image t62_16k 0:1024 0x1800:15360 || return 1
  sim_start 4 --device t62 --paced --t62-fill $T62_FILL || return 1
  app_start
  drive <<EOF || return 1
$(t62_open_uploader)
$(t62_load t62_16k)
wait-text $IDC_STATUS_LINE "T62 Image Loaded, 16384 Bytes"
click $IDC_T62_START
wait-progress $IDC_PROGRESS 2 10000
press $IDC_UPLOADER_EXIT
wait-text $IDC_STATUS_LINE "Please wait: closing when the update ends...."
command 2
gone "Open" 500
close
wait-progress $IDC_PROGRESS 40 20000
expect-text $IDC_STATUS_LINE "Please wait: closing when the update ends...."
closed 30000
EOF
  grep -q ' note write 000180$' "$E2E_WORK/com4.transcript" ||
    { e2e_fail "the uploader closed before the vector rows were written"; return 1; }
  drive <<EOF || return 1
$(t62_back_in_main_window)
EOF
  sims_stop
  t62_memory_is t62_16k $T62_FILL erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 erase:0x3000 \
    erase:0x3800 erase:0x4000 erase:0x4800 erase:0x5000 write:0x1800:0x4000 erase:0 write:0:0x400
}

# A T62 line that never stops sending once asked to identify: 55 bytes,
# frame starts that never end, escape bytes. Each time the probe gives up as
# on a silent T62, but sooner than a silent T62's read timeout (1500 ms),
# and the window answers at once: Set Com opens, and a PSoC probe on the
# same port (at 19200, where the flood is not heard) finds the boot loader.
test_t62_probe_flooded_line() {
  local kind ms
  for kind in 55 start escape; do
    sim_start 4 --device t62,psoc --fault flood-$kind:t62.identify:1 || return 1
    app_start
    drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62 10000
elapsed
EOF
    ms=$DRIVE_OUT
    e2e_log "flood-$kind: the T62 probe gave up after $ms ms"
    [ "$ms" -lt 1400 ] || { e2e_fail "flood-$kind: the probe took $ms ms, as long as a silent T62"; return 1; }
    drive <<EOF || return 1
window "$MAIN_TITLE"
$(main_state "T62 is not responding: -2" "" "" "com:4" 1 1 1 0 0 0)
press $IDC_SET_COM
window "Comm Port Setup"
click $IDC_PORT_EXIT
closed
window "$MAIN_TITLE"
click $IDC_OPEN_PSOC
expect-text $IDC_PORT_LINE "PSoC Boot Loader ver 7"
EOF
    grep -q " note flood $kind from t62 at 115200 baud until stopped\$" "$E2E_WORK/com4.transcript" ||
      { e2e_fail "flood-$kind: the simulator did not flood the line"; return 1; }
    app_stop
    sims_stop
  done
}

ALL_TESTS+=(
  t62_probe_flooded_line
  t62_update
  t62_update_from_release
  t62_update_refused
  t62_load_long_and_cyrillic_paths
  t62_write_failure
  t62_verify_and_erase_failures
  t62_fallback_failure
  t62_lost_replies_retried
  t62_vector_write_lost_twice
  t62_exit_during_run
  t62_unplug_then_update_again
)
