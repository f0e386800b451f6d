#!/usr/bin/env bash
# The main job: RIdorez.exe under Wine against the simulated T62, PSoC and
# ZQ3 keyer, all on one pseudo-terminal that the program sees as COM4.
#
# With a display ($DISPLAY set) the program opens there and is yours to use:
# "OpenT62", "OpenPSoC" and "OpenZQ3" find the simulated devices on COM4.
# The demo ends when you leave the program.
#
# Without a display it runs on a private Xvfb and works the window itself
# (probe, open the uploader, return, for each target; for the ZQ3 keyer a
# whole update too), saving a screenshot of every step in build/demo-screens/.
#
# On a fresh Debian machine it first installs what is missing and builds.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh || exit 1
bash scripts/build.sh || { echo "demo: the build failed"; exit 1; }

export E2E_ARTIFACTS=$root/build/demo-screens
export E2E_PREFIX=$root/build/wine-demo
headless=1
if [ -n "${DISPLAY:-}" ]; then
  export E2E_DISPLAY=$DISPLAY
  headless=0
fi
. tests/e2e/lib.sh

e2e_setup || { echo "demo: no Wine prefix or display"; exit 1; }
sim_start 4 --device t62,psoc,keyer || { echo "demo: $E2E_REASON"; exit 1; }
echo "demo: simulated T62, PSoC and ZQ3 keyer on COM4"
app_start

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
  keep_transcript
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
  run_step "probe the ZQ3 keyer" "$main_window" 'click 4098 30000' 'expect-text 4044 "ZQ3 IC Test Passed"' \
    'expect-text 4061 "ZQ3 F/W ver 31.03"' 'expect-enabled 4099 1'
  shot zq3-probed
  run_step "open the ZQ3 uploader" "$main_window" 'press 4099' "$uploader"
  shot zq3-uploader
  run_step "load the ZQ3 image ($records records)" "$uploader" 'press 2' "open-file \"$path\"" 'gone "Open"' \
    "$uploader" "wait-text 4036 \"ZQ3 IC Version: 31.03 Loaded, $records Records\" 10000"
  shot zq3-loaded
  run_step "update the ZQ3 keyer" "$uploader" 'click 4078 15000' 'expect-text 4036 "Programming ZQ3 IC...."' \
    'wait-text 4036 "ZQ3 Programing Completed Successfully, Press Encoder to restart." 60000'
  shot zq3-updated
  # The keyer writes the frames it took when the upload ends (0x5A).
  if ! cmp -s "$E2E_WORK/com4.memory.keyer" "$dir/zq3-demo.expect"; then
    echo "demo: failed: the keyer did not take the frames of the image"
    shot failed
    exit 1
  fi
  echo "demo: the keyer took all $(wc -l <"$dir/zq3-demo.expect") frames at 9600 baud, slot 3 last"
  run_step "leave the ZQ3 uploader" "$uploader" 'click 4' closed "$main_window" \
    'wait-text 4044 "ZQ3 IC Update Completed"'
  shot zq3-done
}

run_step "the main window opens on COM4" "$main_window 20000" 'wait-text 4074 com:4'
shot start
run_step "probe the T62" "$main_window" 'click 4011' 'expect-text 4061 "F/W Loader v2.5 Connected"' \
  'expect-text 4059 "T62 H/W Revision A"' 'expect-enabled 4010 1'
shot t62-probed
run_step "open the T62 uploader" "$main_window" 'press 4010' 'window "T62 PIC Firmware Uploader"'
shot t62-uploader
run_step "leave the T62 uploader" 'window "T62 PIC Firmware Uploader"' close closed "$main_window" \
  'wait-text 4044 "T62 PIC Update Completed"'
shot t62-done
run_step "probe the PSoC" "$main_window" 'click 4056' 'expect-text 4061 "PSoC Boot Loader ver 7"' \
  'expect-enabled 4052 1'
shot psoc-probed
run_step "open the PSoC uploader" "$main_window" 'press 4052' 'window "PSoC Firmware Uploader"'
shot psoc-uploader
run_step "leave the PSoC uploader" 'window "PSoC Firmware Uploader"' close closed "$main_window" \
  'wait-text 4044 "PSOC Update Completed"'
shot psoc-done
demo_zq3
run_step "leave the program" "$main_window" 'press 4050' 'closed'
app_wait_exit || { echo "demo: the program did not end"; exit 1; }
keep_transcript

echo "demo: done; screenshots of each step:"
printf '  %s\n' "${shots[@]}"
