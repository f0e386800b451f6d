#!/usr/bin/env bash
# The main job: RIdorez.exe under Wine against the simulated T62, PSoC and
# ZQ3 keyer, all on one pseudo-terminal that the program sees as COM4.
#
# With a display ($DISPLAY set) the program opens there and is yours to use:
# "OpenT62", "OpenPSoC" and "OpenZQ3" find the simulated devices on COM4.
# The demo ends when you leave the program.
#
# Without a display it runs on a private Xvfb and works the window itself
# (for each target: probe, a whole update from an image made for the demo,
# checked against what the simulated device took, and the return), saving a
# screenshot of every step in build/demo-screens/.
#
# Either way it then updates the simulated T62 once more from the command
# line, with the native ridorez, and builds the web page (build/web/page)
# and says how to open it.
#
# On a fresh Debian machine it first installs what is missing and builds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh || exit 1
bash scripts/build.sh || { echo "demo: the build failed"; exit 1; }
bash scripts/build_web.sh >build/web-build.log 2>&1 || { tail -20 build/web-build.log; echo "demo: the web page did not build"; exit 1; }

export E2E_ARTIFACTS=$root/build/demo-screens
export E2E_PREFIX=$root/build/wine-demo
headless=1
if [ -n "${DISPLAY:-}" ]; then
  export E2E_DISPLAY=$DISPLAY
  headless=0
fi
. tests/e2e/lib.sh
. tests/e2e/uploads.sh

e2e_setup || { echo "demo: no Wine prefix or display"; exit 1; }
sim_start 4 --device t62,psoc,keyer || { echo "demo: $E2E_REASON"; exit 1; }
echo "demo: simulated T62, PSoC and ZQ3 keyer on COM4"
app_start

# ---- The command line: a T62 update by ridorez on the same COM4 ----

# demo_cli: lists the ports, updates the simulated T62 with another image
# from the command line (the native build, which takes COM4 from the Wine
# prefix's dosdevices folder) and checks it with ridorez's verify.
demo_cli() {
  local ridorez=$root/build/native/cli/ridorez image=$E2E_WORK/images/t62-cli.hex
  hex_image t62-cli 0:1024 0x1800:8000 || { echo "demo: no T62 image: $E2E_REASON"; return 1; }
  mkdir -p "$E2E_ARTIFACTS"
  export RIDOREZ_COM_DIR=$WINEPREFIX/dosdevices
  echo "demo: the same from the command line (RIDOREZ_COM_DIR=$RIDOREZ_COM_DIR):"
  echo "\$ ridorez ports"
  "$ridorez" ports
  echo "\$ ridorez update t62 $image --port COM4 --log $E2E_ARTIFACTS/ridorez-line.log"
  "$ridorez" update t62 "$image" --port COM4 --log "$E2E_ARTIFACTS/ridorez-line.log" ||
    { echo "demo: failed: ridorez update ended with $?"; return 1; }
  echo "\$ ridorez verify t62 $image --port COM4"
  "$ridorez" verify t62 "$image" --port COM4 || { echo "demo: failed: ridorez verify ended with $?"; return 1; }
  echo "demo: the line as ridorez logged it: $E2E_ARTIFACTS/ridorez-line.log"
}

# How to open the web page, which talks to a real adapter through the
# browser's Web Serial (the simulator's pseudo-terminal is no USB port a
# browser offers; tests/web/run.sh bridges the page to it).
web_page_note() {
  echo "demo: the web page is built in $root/build/web/page; to use it with a serial adapter:"
  echo "  cd $root/build/web/page && python3 -m http.server 8000 --bind 127.0.0.1"
  echo "  then open http://localhost:8000/ in Chrome, Edge or Opera and press OpenT62, OpenPSoC or OpenZQ3"
}

# The simulator's record of every byte on the line, kept beside the shots.
keep_transcript() {
  sims_stop
  mkdir -p "$E2E_ARTIFACTS"
  cp "$E2E_WORK/com4.transcript" "$E2E_ARTIFACTS/com4.transcript" 2>/dev/null &&
    echo "demo: the line's transcript: $E2E_ARTIFACTS/com4.transcript"
}

if [ "$headless" -eq 0 ]; then
  echo "demo: RIdorez.exe is open on $DISPLAY; probe COM4 with OpenT62, OpenPSoC or OpenZQ3. Close it to end the demo."
  wait "$E2E_APP_PID"
  E2E_APP_PID=""
  demo_cli
  keep_transcript
  web_page_note
  exit 0
fi

rm -rf "$E2E_ARTIFACTS"
mkdir -p "$E2E_ARTIFACTS"
step=0
shots=()
# shot NAME: a screenshot of this step.
shot() {
  step=$((step + 1))
  local name; name=$(printf '%02d-%s' "$step" "$1")
  screenshot "$name" && shots+=("$E2E_ARTIFACTS/$name.png")
}
# run_step WHAT DRIVER-LINES...: one step of the job, told and checked.
run_step() {
  local what=$1; shift
  echo "demo: $what"
  drive "$@" settle || { echo "demo: failed: $E2E_REASON"; shot failed; exit 1; }
}
main_window="window \"$MAIN_TITLE\""

# ---- T62: the probe, then a whole update ----

# demo_t62: probes the T62, opens its uploader, loads an image of 5000 bytes
# made for the demo (vector rows and three erase units of application),
# updates and restarts the T62, checks what its memory then holds, and goes
# back to the main window.
demo_t62() {
  local uploader='window "T62 PIC Firmware Uploader"'
  hex_image t62-demo 0:1024 0x1800:3976 || { echo "demo: no T62 image: $E2E_REASON"; exit 1; }
  run_step "probe the T62" "$main_window" "click $IDC_OPEN_T62" "expect-text $IDC_PORT_LINE \"F/W Loader v2.5 Connected\"" \
    "expect-text $IDC_HW_LINE \"T62 H/W Revision A\"" "expect-enabled $IDC_T62_UPDATE 1"
  shot t62-probed
  run_step "open the T62 uploader" "$main_window" "press $IDC_T62_UPDATE" "$uploader"
  shot t62-uploader
  run_step "load the T62 image" "$uploader" "press $IDC_LOAD" "open-file \"$(image_path t62-demo)\"" 'gone "Open"' \
    "$uploader" "wait-text $IDC_STATUS_LINE \"T62 Image Loaded, 5000 Bytes\""
  shot t62-loaded
  run_step "update the T62" "$uploader" "click $IDC_T62_START" \
    "wait-text $IDC_STATUS_LINE \"Programing Completed Successfully\" 30000" "expect-text $IDC_ADDRESS 01800"
  shot t62-updated
  # The T62 writes its memory when it is reset.
  run_step "restart the T62" "$uploader" "click $IDC_T62_RESTART" "expect-text $IDC_STATUS_LINE \"Resetting T62\""
  shot t62-restarted
  if ! memory_written "$E2E_WORK/com4.memory.t62" ||
    ! check_device t62-memory "$E2E_WORK/com4.memory.t62" "$E2E_WORK/images/t62-demo.flat" 0x00 \
      erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 write:0x1800:0x1800 erase:0 write:0:0x400; then
    echo "demo: failed: $E2E_REASON"
    shot failed
    exit 1
  fi
  echo "demo: the T62 holds the image's vector rows at 0x000 and its application from 0xc00"
  run_step "leave the T62 uploader" "$uploader" "click $IDC_UPLOADER_EXIT" closed "$main_window" \
    "wait-text $IDC_RESULT_LINE \"T62 PIC Update Completed\""
  shot t62-done
}

# ---- PSoC: the probe, then a whole update ----

# demo_psoc: probes the PSoC, opens its uploader, loads an image made for the
# demo (12288 bytes with a gap), updates the PSoC, checks its memory, and
# goes back to the main window.
demo_psoc() {
  local uploader='window "PSoC Firmware Uploader"'
  hex_image psoc-demo 0:0x2000 0x2400:0x1000 || { echo "demo: no PSoC image: $E2E_REASON"; exit 1; }
  run_step "probe the PSoC" "$main_window" "click $IDC_OPEN_PSOC" "expect-text $IDC_PORT_LINE \"PSoC Boot Loader ver 7\"" \
    "expect-enabled $IDC_PSOC_UPDATE 1"
  shot psoc-probed
  run_step "open the PSoC uploader" "$main_window" "press $IDC_PSOC_UPDATE" "$uploader"
  shot psoc-uploader
  run_step "load the PSoC image" "$uploader" "press $IDC_LOAD" "open-file \"$(image_path psoc-demo)\"" 'gone "Open"' \
    "$uploader" "wait-text $IDC_STATUS_LINE \"PSoC Image Loaded, 12288 Bytes\""
  shot psoc-loaded
  run_step "update the PSoC" "$uploader" "click $IDC_PSOC_START" \
    "wait-text $IDC_STATUS_LINE \"PSoC Programing Completed Successfully, Press Encoder to restart.\" 30000" \
    "expect-text $IDC_ADDRESS 03600"
  shot psoc-updated
  # The PSoC writes its memory at the finish byte, before it answers.
  if ! check_device psoc-memory "$E2E_WORK/com4.memory.psoc" "$E2E_WORK/images/psoc-demo.flat" 0x00 216; then
    echo "demo: failed: $E2E_REASON"
    shot failed
    exit 1
  fi
  echo "demo: the PSoC holds the image, 0xff in its gap"
  run_step "leave the PSoC uploader" "$uploader" "click $IDC_UPLOADER_EXIT" closed "$main_window" \
    "wait-text $IDC_RESULT_LINE \"PSOC Update Completed\""
  shot psoc-done
}

# ---- ZQ3 keyer: the probe, then a whole update ----

# demo_zq3: probes the keyer, opens the ZQ3 uploader, loads an AMBER image
# made for the demo, updates the keyer, checks every frame the keyer took
# against the image, and goes back to the main window.
demo_zq3() {
  local dir=$E2E_WORK/images records
  mkdir -p "$dir"
  records=$(python3 tests/e2e/keyer_image.py "$dir/zq3-demo.bin" --version 31 --variant 3 --phase1 \
    --expect "$dir/zq3-demo.expect") || { echo "demo: no ZQ3 image"; exit 1; }
  local path="Z:${dir//\//\\}\\zq3-demo.bin"
  local uploader='window "ZQ3 IC Firmware Uploader"'
  run_step "probe the ZQ3 keyer" "$main_window" "click $IDC_OPEN_ZQ3 30000" "expect-text $IDC_RESULT_LINE \"ZQ3 IC Test Passed\"" \
    "expect-text $IDC_PORT_LINE \"ZQ3 F/W ver 31.03\"" "expect-enabled $IDC_ZQ3_UPDATE 1"
  shot zq3-probed
  run_step "open the ZQ3 uploader" "$main_window" "press $IDC_ZQ3_UPDATE" "$uploader"
  shot zq3-uploader
  run_step "load the ZQ3 image ($records records)" "$uploader" "press $IDC_LOAD" "open-file \"$path\"" 'gone "Open"' \
    "$uploader" "wait-text $IDC_STATUS_LINE \"ZQ3 IC Version: 31.03 Loaded, $records Records\" 10000"
  shot zq3-loaded
  run_step "update the ZQ3 keyer" "$uploader" "click $IDC_KEYER_START 15000" "expect-text $IDC_STATUS_LINE \"Programming ZQ3 IC....\"" \
    "wait-text $IDC_STATUS_LINE \"ZQ3 Programing Completed Successfully, Press Encoder to restart.\" 60000"
  shot zq3-updated
  # The keyer writes the frames it took when the upload ends (0x5A).
  if ! cmp -s "$E2E_WORK/com4.memory.keyer" "$dir/zq3-demo.expect"; then
    echo "demo: failed: the keyer did not take the frames of the image"
    shot failed
    exit 1
  fi
  echo "demo: the keyer took all $(wc -l <"$dir/zq3-demo.expect") frames at 9600 baud, slot 3 last"
  run_step "leave the ZQ3 uploader" "$uploader" "click $IDC_UPLOADER_EXIT" closed "$main_window" \
    "wait-text $IDC_RESULT_LINE \"ZQ3 IC Update Completed\""
  shot zq3-done
}

run_step "the main window opens on COM4" "$main_window 20000" "wait-text $IDC_PORT_LABEL com:4"
shot start
demo_t62
demo_psoc
demo_zq3
run_step "leave the program" "$main_window" "press $IDC_EXIT" 'closed'
app_wait_exit || { echo "demo: the program did not end"; exit 1; }
demo_cli || exit 1
keep_transcript

echo "demo: done; screenshots of each step:"
printf '  %s\n' "${shots[@]}"
web_page_note
