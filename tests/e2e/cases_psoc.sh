# End-to-end tests of the PSoC uploader: from the main window's probe through
# the uploader dialog to what the simulated PSoC holds in its memory and what
# went over the line. Sourced by run.sh.
. "$(dirname "${BASH_SOURCE[0]}")/uploads.sh"

PSOC_TITLE="PSoC Firmware Uploader"
PSOC_FILL=0x00  # the simulated PSoC's memory before an update
PSOC_DONE="PSoC Programing Completed Successfully, Press Encoder to restart."

# Driver lines: probe the PSoC and open its uploader, which becomes current.
psoc_open_uploader() {
  cat <<EOF
window "$MAIN_TITLE" 20000
click $IDC_OPEN_PSOC
expect-text $IDC_PORT_LINE "PSoC Boot Loader ver 7"
press $IDC_PSOC_UPDATE
window "$PSOC_TITLE"
EOF
}

# Driver lines: "Load HEX File" and choose NAME.hex in the Open dialog; the
# uploader is current again once the path shows.
psoc_load() {
  cat <<EOF
press $IDC_LOAD
open-file "$(image_path "$1")"
window "$PSOC_TITLE"
wait-text $IDC_FILE_PATH "$(image_path "$1")"
EOF
}

# Driver lines: after the uploader has gone, the main window as it must be.
psoc_back_in_main_window() {
  cat <<EOF
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "PSOC Update Completed"
expect-text $IDC_PORT_LINE ""
expect-enabled $IDC_OPEN_T62 1
expect-enabled $IDC_OPEN_PSOC 1
expect-enabled $IDC_OPEN_ZQ3 1
expect-enabled $IDC_PSOC_UPDATE 0
EOF
}

# An image with a gap (0x2000-0x23FF) and a record above 0x35FF, which the
# load leaves out: 12288 bytes loaded, 216 blocks sent all the same.
psoc_gapped_image() {
  hex_image "$1" 0:0x2000 0x2400:0x1000 0x3700:0x100
}

# The whole road, at the line's real pace: probe, load, update, Exit; the
# PSoC then holds the image, 0xFF where the file has no data.
test_psoc_update() {
  psoc_gapped_image psoc_gapped || return 1
  sim_start 4 --device psoc --paced || return 1
  app_start
  drive <<EOF || return 1
$(psoc_open_uploader)
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_PSOC_START 0
expect-enabled $IDC_UPLOADER_EXIT 1
expect-text $IDC_STATUS_LINE ""
expect-text $IDC_FILE_PATH ""
expect-text $IDC_ADDRESS ""
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
expect-enabled $IDC_PSOC_START 1
click $IDC_PSOC_START
expect-text $IDC_STATUS_LINE "Programming PSoC...."
expect-enabled $IDC_LOAD 0
expect-enabled $IDC_PSOC_START 0
wait-text $IDC_STATUS_LINE "$PSOC_DONE" 30000
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the run" "$DRIVE_OUT" "48 0 48" || return 1
  drive <<EOF || return 1
window "$PSOC_TITLE"
expect-text $IDC_ADDRESS "03600"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_PSOC_START 0
settle
EOF
  screenshot psoc-update-done
  drive <<EOF || return 1
window "$PSOC_TITLE"
press $IDC_UPLOADER_EXIT
closed
$(psoc_back_in_main_window)
EOF
  sims_stop
  psoc_memory_is psoc_gapped $PSOC_FILL 216 || return 1
  check_device psoc-host-bytes "$E2E_WORK/com4.transcript" "$E2E_WORK/images/psoc_gapped.flat" 216
}

# psoc_host_sent IMAGE BLOCKS: the host sent the identify request, blocks 0
# to BLOCKS-1 of IMAGE and the finish byte, and nothing else.
psoc_host_sent() {
  check_device psoc-host-bytes "$E2E_WORK/com4.transcript" "$E2E_WORK/images/$1.flat" "$2"
}

# Update refused, with nothing sent to the PSoC: before any load (also after
# a load of a file whose data all lie above 0x35FF), and after a good load
# followed by such a load. First of all, the Escape key acts as "Load HEX
# File", and a cancelled choice changes nothing.
test_psoc_update_refused() {
  hex_image psoc_above 0x3600:0x200 || return 1
  hex_image psoc_small 0:0x400 || return 1
  sim_start 4 --device psoc || return 1
  app_start
  drive <<EOF || return 1
$(psoc_open_uploader)
key escape
window "Open"
open-cancel
gone "Open"
window "$PSOC_TITLE"
expect-text $IDC_STATUS_LINE ""
expect-text $IDC_FILE_PATH ""
expect-enabled $IDC_PSOC_START 0
command $IDC_PSOC_START
expect-text $IDC_STATUS_LINE "Error: Please Open a Programming File !"
$(psoc_load psoc_above)
wait-text $IDC_STATUS_LINE "File Error"
expect-enabled $IDC_PSOC_START 0
command $IDC_PSOC_START
expect-text $IDC_STATUS_LINE "Error: Please Open a Programming File !"
$(psoc_load psoc_small)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 1024 Bytes"
expect-enabled $IDC_PSOC_START 1
$(psoc_load psoc_above)
wait-text $IDC_STATUS_LINE "File Error"
expect-enabled $IDC_PSOC_START 1
click $IDC_PSOC_START
expect-text $IDC_STATUS_LINE "Error: Zero Length File !"
expect-enabled $IDC_LOAD 1
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the refusal" "$DRIVE_OUT" "0 0 0" || return 1
  host_sent_only "H>D 19200 cc"
}

# An echo that differs at block 10 stops the run there: blocks 11 to 215
# are never sent, the finish byte still is, and the device's 0xA5 does not
# make it a success. Then, from a fresh load, an echo that stops short
# counts as a difference too, even where the bytes left over from the echo
# before would match (blocks 129 and 130 lie in the gap, both all 0xFF).
test_psoc_verify_failure() {
  psoc_gapped_image psoc_gapped || return 1
  # The first run sends 11 blocks; the second run's block 130 is the 142nd.
  sim_start 4 --device psoc --fault corrupt:block:11 --fault short:block:142:40 || return 1
  app_start
  drive <<EOF || return 1
$(psoc_open_uploader)
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
wait-text $IDC_STATUS_LINE "Error: Flash Verify !" 10000
expect-text $IDC_ADDRESS "00280"
expect-enabled $IDC_LOAD 1
expect-enabled $IDC_PSOC_START 0
progress $IDC_PROGRESS
EOF
  expect_eq "progress bar after the failed run" "$DRIVE_OUT" "2 0 48" || return 1
  psoc_host_sent psoc_gapped 11 || return 1
  transcript_has 4 "D>H" 19200 "a5" || return 1
  drive <<EOF || return 1
window "$PSOC_TITLE"
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
wait-text $IDC_STATUS_LINE "Error: Flash Verify !" 10000
expect-text $IDC_ADDRESS "02080"
press $IDC_UPLOADER_EXIT
closed
$(psoc_back_in_main_window)
EOF
}

# Every block matched, but the finish reply is not 0xA5: first a wrong byte,
# then, on the next run, no byte at all.
test_psoc_sync_error() {
  psoc_gapped_image psoc_gapped || return 1
  sim_start 4 --device psoc --fault reply:finish:1:0x00 --fault silent:finish:2 || return 1
  app_start
  drive <<EOF || return 1
$(psoc_open_uploader)
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
wait-text $IDC_STATUS_LINE "Error: Sync Error !" 10000
expect-text $IDC_ADDRESS "03600"
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
wait-text $IDC_STATUS_LINE "Error: Sync Error !" 10000
expect-text $IDC_ADDRESS "03600"
EOF
  sims_stop
  psoc_memory_is psoc_gapped $PSOC_FILL 216
}

# Noise ahead of the 100th block's echo shifts that echo, which fails the
# run, and leaves the echo's last bytes on the line. The next run, from the
# same dialog, reads only its own echoes and completes.
test_psoc_noise_then_update_again() {
  psoc_gapped_image psoc_gapped || return 1
  sim_start 4 --device psoc --fault noise:block:100:3 || return 1
  app_start
  drive <<EOF || return 1
$(psoc_open_uploader)
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
wait-text $IDC_STATUS_LINE "Error: Flash Verify !" 20000
expect-text $IDC_ADDRESS "018c0"
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
wait-text $IDC_STATUS_LINE "$PSOC_DONE" 20000
EOF
  sims_stop
  psoc_memory_is psoc_gapped $PSOC_FILL 216
}

# Exit (and the close box) while the worker runs, at the line's real pace:
# the dialog says it waits, ignores a load by the Escape key, and closes by
# itself once the run is over (here cut short by a bad echo at block 60),
# not before: the finish exchange has then taken place.
test_psoc_exit_during_run() {
  psoc_gapped_image psoc_gapped || return 1
  sim_start 4 --device psoc --paced --fault corrupt:block:61 || return 1
  app_start
  drive <<EOF || return 1
$(psoc_open_uploader)
$(psoc_load psoc_gapped)
wait-text $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDC_PSOC_START
expect-text $IDC_STATUS_LINE "Programming PSoC...."
wait-progress $IDC_PROGRESS 2 10000
press $IDC_UPLOADER_EXIT
wait-text $IDC_STATUS_LINE "Please wait: closing when the update ends...."
command 2
gone "Open" 500
close
wait-progress $IDC_PROGRESS 10 20000
expect-text $IDC_STATUS_LINE "Please wait: closing when the update ends...."
closed 30000
EOF
  grep -q ' note finish psoc$' "$E2E_WORK/com4.transcript" ||
    { e2e_fail "the uploader closed before the run's finish exchange"; return 1; }
  drive <<EOF || return 1
$(psoc_back_in_main_window)
EOF
  psoc_host_sent psoc_gapped 61
}

ALL_TESTS+=(
  psoc_update
  psoc_update_refused
  psoc_verify_failure
  psoc_sync_error
  psoc_exit_during_run
  psoc_noise_then_update_again
)
