#!/usr/bin/env bash
# The web page's end-to-end test: the shipped page (build/web/page) in
# headless Chromium, driven by drive_page.mjs, with a navigator.serial
# stand-in whose bytes serial_bridge.py carries to the device simulator's
# pseudo-terminal. The three probes and the three updates, the ZQ3's with
# its speed change and once more in recovery mode, each device's memory
# compared with its image; a ZQ3 update from a release beside the page, with
# no file chosen; and a screenshot of every step in
# build/web-screens/. Ends with "web: N passed, M failed".
set -uo pipefail
. "$(dirname "$0")/../e2e/lib.sh"
. "$E2E_ROOT/tests/e2e/uploads.sh"
. "$E2E_ROOT/tests/web/lib.sh"

passed=0
failed=0

bridge_has() {  # bridge_has PATTERN WHAT: the bridge's log has a line matching PATTERN
  grep -q -- "$1" "$E2E_WORK/bridge.log" || e2e_fail "the bridge's log has no $2"
}

# keyer_holds MEMORY EXPECT: the frames the simulated keyer took (its
# memory file MEMORY) are EXPECT's.
keyer_holds() {
  sims_stop
  local memory=$1; shift
  [ -f "$memory" ] || { e2e_fail "the keyer left no record log"; return 1; }
  cmp -s "$memory" "$1" ||
    e2e_fail "the keyer holds $(wc -l <"$memory") frames, not the $(wc -l <"$1") expected" \
      "(first difference: $(diff "$memory" "$1" | head -n 2 | tr '\n' ' '))"
}

# All three devices on one line, as the demo has them: each probe, each
# update, and what each device then holds.
test_page_three_updates() {
  sim_start 4 --device t62,psoc,keyer || return 1
  bridge_start 4 || return 1
  hex_image t62-web 0:1024 0x1800:3976 || return 1
  hex_image psoc-web 0:0x2000 0x2400:0x1000 || return 1
  local images=$E2E_WORK/images records
  records=$(python3 "$E2E_ROOT/tests/e2e/keyer_image.py" "$images/zq3-web.bin" --version 31 --variant 3 --phase1 \
    --expect "$images/zq3-web.expect") || { e2e_fail "no ZQ3 image"; return 1; }
  page_drive "$WEB_SHOTS" <<EOF || return 1
# A browser without Web Serial: the sentence, and a probe that finds no port.
open-page none
expect-visible #no-serial 1
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "Comm port open error"
shot 01-no-web-serial
open-page standin
expect-visible #no-serial 0
# No COM number in the page: the label names the port once one is chosen.
expect-text $IDD_MAIN $IDC_PORT_LABEL ""
shot 02-start
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "F/W Loader v2.5 Connected" 10000
expect-text $IDD_MAIN $IDC_PORT_LABEL "USB 0403:6001"
expect-text $IDD_MAIN $IDC_HW_LINE "T62 H/W Revision A"
expect-enabled $IDD_MAIN $IDC_OPEN_PSOC 0
shot 03-t62-probed
click $IDD_MAIN $IDC_T62_UPDATE
expect-shown $IDD_T62_UPLOADER 1
expect-enabled $IDD_T62_UPLOADER $IDC_T62_START 0
load $IDD_T62_UPLOADER $images/t62-web.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 5000 Bytes"
expect-text $IDD_T62_UPLOADER $IDC_FILE_PATH t62-web.hex
# A bare line holds no reply: no word on an adapter's timer.
expect-visible "#d$IDD_T62_UPLOADER .page-held" 0
shot 04-t62-loaded
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programming T62 PIC...."
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programing Completed Successfully" 30000
expect-text $IDD_T62_UPLOADER $IDC_ADDRESS 01800
expect-position $IDD_T62_UPLOADER 19
shot 05-t62-updated
click $IDD_T62_UPLOADER $IDC_T62_RESTART
expect-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Resetting T62"
click $IDD_T62_UPLOADER $IDC_UPLOADER_EXIT
wait-text $IDD_MAIN $IDC_RESULT_LINE "T62 PIC Update Completed"
expect-shown $IDD_T62_UPLOADER 0
shot 06-t62-done
click $IDD_MAIN $IDC_OPEN_PSOC
wait-text $IDD_MAIN $IDC_PORT_LINE "PSoC Boot Loader ver 7" 10000
shot 07-psoc-probed
click $IDD_MAIN $IDC_PSOC_UPDATE
load $IDD_PSOC_UPLOADER $images/psoc-web.hex
wait-text $IDD_PSOC_UPLOADER $IDC_STATUS_LINE "PSoC Image Loaded, 12288 Bytes"
click $IDD_PSOC_UPLOADER $IDC_PSOC_START
wait-text $IDD_PSOC_UPLOADER $IDC_STATUS_LINE "PSoC Programing Completed Successfully, Press Encoder to restart." 60000
expect-text $IDD_PSOC_UPLOADER $IDC_ADDRESS 03600
shot 08-psoc-updated
click $IDD_PSOC_UPLOADER $IDC_UPLOADER_EXIT
wait-text $IDD_MAIN $IDC_RESULT_LINE "PSOC Update Completed"
click $IDD_MAIN $IDC_OPEN_ZQ3
wait-text $IDD_MAIN $IDC_RESULT_LINE "ZQ3 IC Test Passed" 30000
expect-text $IDD_MAIN $IDC_PORT_LINE "ZQ3 F/W ver 31.03"
shot 09-zq3-probed
click $IDD_MAIN $IDC_ZQ3_UPDATE
load $IDD_KEYER_UPLOADER $images/zq3-web.bin
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 IC Version: 31.03 Loaded, $records Records"
expect-visible "#d$IDD_KEYER_UPLOADER .page-held" 0
click $IDD_KEYER_UPLOADER $IDC_KEYER_START
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "Programming ZQ3 IC...." 15000
shot 10-zq3-running
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 Programing Completed Successfully, Press Encoder to restart." 60000
expect-position $IDD_KEYER_UPLOADER 99
shot 11-zq3-updated
click $IDD_KEYER_UPLOADER $IDC_UPLOADER_EXIT
wait-text $IDD_MAIN $IDC_RESULT_LINE "ZQ3 IC Update Completed"
# One chooser for the whole session: the port chosen at the first probe.
expect-js "window.__standinRequests" 1
shot 12-zq3-done
EOF
  bridge_has "note open 9600 8N1" "speed change to 9600" || return 1
  bridge_has "note signals dataTerminalReady=1 requestToSend=0" "keyer line with DTR on" || return 1
  memory_written "$E2E_WORK/com4.memory.t62" || return 1
  check_device t62-memory "$E2E_WORK/com4.memory.t62" "$images/t62-web.flat" 0x00 \
    erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 write:0x1800:0x1800 erase:0 write:0:0x400 || return 1
  check_device psoc-memory "$E2E_WORK/com4.memory.psoc" "$images/psoc-web.flat" 0x00 216 || return 1
  keyer_holds "$E2E_WORK/com4.memory.keyer" "$images/zq3-web.expect"
}

# A T62 probe on the keyer's line finds nothing, and the line under the
# window says what to check. A keyer IC without its operating firmware: the
# probe offers the update,
# which runs in recovery mode, without the hand-over request. Then the
# update again, with Exit pressed while its re-probe waits for the IC's
# answer (the fourth echo test, 1.5 s late): as in the Windows dialog, Exit
# is carried out once the worker has started, and the uploader closes when
# the worker ends; the IC takes the whole image a second time.
test_page_zq3_recovery() {
  sim_start 4 --device keyer --keyer-variant none --fault late:echo:4:1500 || return 1
  bridge_start 4 || return 1
  local images=$E2E_WORK/images records
  mkdir -p "$images"
  records=$(python3 "$E2E_ROOT/tests/e2e/keyer_image.py" "$images/zq3-jade.bin" --version 31 --variant 103 \
    --expect "$images/zq3-jade.expect") || { e2e_fail "no ZQ3 image"; return 1; }
  page_drive "$WEB_SHOTS/recovery" <<EOF || return 1
open-page standin
# The wrong probe first: what its failure means and what to check, under
# the window, until the next probe.
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "T62 is not responding: -2" 10000
expect-js "document.querySelector('#d$IDD_MAIN .page-advice').textContent" "Check that the T62 is in its firmware loader and has power, that its adapter is the one on this port, and the cable (TX, RX and ground); then probe again."
expect-visible "#d$IDD_MAIN .page-advice" 1
shot 12b-t62-not-found
click $IDD_MAIN $IDC_OPEN_ZQ3
wait-text $IDD_MAIN $IDC_RESULT_LINE "Click FW Update" 30000
expect-visible "#d$IDD_MAIN .page-advice" 0
expect-enabled $IDD_MAIN $IDC_OPEN_T62 1
click $IDD_MAIN $IDC_ZQ3_UPDATE
load $IDD_KEYER_UPLOADER $images/zq3-jade.bin
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ JADE Version: 31.03 Loaded, $records Records"
click $IDD_KEYER_UPLOADER $IDC_KEYER_START
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "Programming ZQ3 in Recovery mode...." 15000
shot 13-zq3-recovery-running
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 Programing Completed Successfully, Press Encoder to restart." 60000
shot 14-zq3-recovery-updated
load $IDD_KEYER_UPLOADER $images/zq3-jade.bin
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ JADE Version: 31.03 Loaded, $records Records"
click $IDD_KEYER_UPLOADER $IDC_KEYER_START
click $IDD_KEYER_UPLOADER $IDC_UPLOADER_EXIT
expect-shown $IDD_KEYER_UPLOADER 1
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "Please wait: closing when the update ends...." 5000
shot 14b-zq3-exit-held
wait-text $IDD_MAIN $IDC_RESULT_LINE "ZQ3 IC Update Completed" 60000
expect-shown $IDD_KEYER_UPLOADER 0
EOF
  if grep -q "H>D 1200 00 10 9b" "$E2E_WORK/bridge.log"; then
    e2e_fail "a hand-over request in recovery mode"
    return 1
  fi
  cat "$images/zq3-jade.expect" "$images/zq3-jade.expect" >"$images/zq3-jade-twice.expect"
  keyer_holds "$E2E_WORK/com4.memory" "$images/zq3-jade-twice.expect"
}

# An image with data beyond the rows it would be written to is refused
# before anything is sent. Then the adapter is pulled out in the middle of a
# run and stays out for 6 s: Update from the same dialog says why the port
# does not open; once it is back, Update opens the same port again and the
# run completes; the adapter is back as a new port object, as Chromium
# hands back a re-plugged adapter, which the update again takes with no
# chooser. Then the adapter stops taking bytes (wedged): the write's time
# limit ends the run as with a lost port, and once the adapter takes bytes
# again the update again completes. Last a re-plug that gives back the same
# port object (the seventh erase). After each failed run the line under the
# dialog says what the run left on the T62 and what to do.
test_page_t62_unplug_update_again() {
  sim_start 4 --device t62 --fault unplug:write:4:6000 --fault unplug:erase:7:1500 || return 1
  bridge_start 4 || return 1
  hex_image t62-small 0:1024 0x1800:256 || return 1
  hex_image t62-sparse 0:1024 0x1800:256 0x3e00:64 || return 1
  local images=$E2E_WORK/images
  local port_lost="Plug the adapter in again (a loose cable, or a USB hub that lost its power, does this), then run it again."
  local t62_incomplete="The image on the T62 is incomplete: its vector rows were installed all the same, so a restart \
would start a program that is partly missing. Run the update again, while the firmware loader still answers, before \
the T62 is restarted."
  local t62_fallback="Nothing above the loader was erased or written, but the fallback row at 0 may be missing: keep \
the T62 powered and do not restart it; check the cable, probe it again and run the update again."
  page_drive "$WEB_SHOTS/unplug" <<EOF || return 1
open-page standin
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "F/W Loader v2.5 Connected" 10000
click $IDD_MAIN $IDC_T62_UPDATE
load $IDD_T62_UPLOADER $images/t62-sparse.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1344 Bytes"
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Error: Data at 01f00 lies beyond row 00f80 !"
expect-enabled $IDD_T62_UPLOADER $IDC_T62_START 1
load $IDD_T62_UPLOADER $images/t62-small.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Error: Flash Write !" 20000
expect-visible "#d$IDD_T62_UPLOADER .page-note" 1
# What to press once the adapter is back, in the order the buttons allow:
# Update is off after the run until the file is loaded again.
expect-enabled $IDD_T62_UPLOADER $IDC_T62_START 0
expect-js "document.querySelector('#d$IDD_T62_UPLOADER .page-note').textContent" "The adapter was disconnected. Plug it in again, then press “Load HEX File” and choose the file again, then “Update T62 PIC”: the page picks it up once it is back."
expect-visible "#d$IDD_MAIN .page-note" 0
# Below it, what the failed run left on the T62; plugging in is said once.
expect-js "document.querySelector('#d$IDD_T62_UPLOADER .page-advice').textContent" "$t62_incomplete"
load $IDD_T62_UPLOADER $images/t62-small.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Comm port open error: Failed to open serial port."
shot 15-t62-unplugged
sleep 6000
# Back as a new port object, as Chromium hands back a re-plugged adapter:
# the update again takes it, with no chooser.
expect-js "window.__standinPorts" 2
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programing Completed Successfully" 30000
expect-visible "#d$IDD_T62_UPLOADER .page-note" 0
expect-visible "#d$IDD_T62_UPLOADER .page-advice" 0
expect-js "window.__standinRequests" 1
shot 16-t62-updated-again
load $IDD_T62_UPLOADER $images/t62-small.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
expect-js "window.__standinWedged = true" true
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Error: Fallback Error !" 10000
# No unplug line for a port that stopped without going away: the advice
# says to plug the adapter in again.
expect-visible "#d$IDD_T62_UPLOADER .page-note" 0
expect-js "document.querySelector('#d$IDD_T62_UPLOADER .page-advice').textContent" "$port_lost $t62_fallback"
shot 17-t62-wedged
expect-js "window.__standinWedged = false" false
expect-js "window.__standinSameObject = true" true
load $IDD_T62_UPLOADER $images/t62-small.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Error: Flash Erase !" 10000
expect-visible "#d$IDD_T62_UPLOADER .page-note" 1
sleep 2000
load $IDD_T62_UPLOADER $images/t62-small.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programing Completed Successfully" 30000
expect-js "window.__standinPorts" 2
EOF
  sims_stop
  check_device t62-memory "$E2E_WORK/com4.memory" "$images/t62-small.flat" 0x00 \
    erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 write:0:0x400
}

# Set Com names another adapter: what the probe found on the old one no
# longer counts. A T62 on the first adapter (COM4) probed, then Set Com and
# the second adapter (COM5, another T62, behind a USB adapter that holds
# each reply to its 16 ms latency timer): T62 Update is off and the probes
# on, so that nothing reaches either T62 until the second is probed; the
# update after that programs the T62 on COM5, and COM4 got nothing but the
# probe's identifies. The probe's timed replies on COM5 show the adapter:
# once the image is loaded, the uploader says what the hold costs.
test_page_update_after_set_com() {
  sim_start 4 --device t62 || return 1
  sim_start 5 --device t62 --adapter ftdi:latency=16 || return 1
  bridge_start 4 || return 1
  bridge_start 5 || return 1
  hex_image t62-small 0:1024 0x1800:256 || return 1
  local images=$E2E_WORK/images
  page_drive "$WEB_SHOTS/set-com" <<EOF || return 1
open-page standin
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "F/W Loader v2.5 Connected" 10000
expect-text $IDD_MAIN $IDC_PORT_LABEL "USB 0403:6001"
expect-enabled $IDD_MAIN $IDC_T62_UPDATE 1
expect-js "window.__standinChoose = 1" 1
click $IDD_MAIN $IDC_SET_COM
wait-text $IDD_MAIN $IDC_PORT_LABEL "USB 0403:6015"
shot 18-after-set-com
expect-enabled $IDD_MAIN $IDC_T62_UPDATE 0
expect-enabled $IDD_MAIN $IDC_OPEN_T62 1
expect-enabled $IDD_MAIN $IDC_OPEN_PSOC 1
expect-enabled $IDD_MAIN $IDC_OPEN_ZQ3 1
click $IDD_MAIN $IDC_OPEN_T62
wait-text $IDD_MAIN $IDC_PORT_LINE "F/W Loader v2.5 Connected" 10000
click $IDD_MAIN $IDC_T62_UPDATE
load $IDD_T62_UPLOADER $images/t62-small.hex
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "T62 Image Loaded, 1280 Bytes"
expect-js "(console.log('held note: ' + (/^The probe's replies on the chosen port came 1[0-9] ms later .*runs out \(16 ms on an FTDI chip unless set lower\)\. Held so at every exchange, this update takes about [0-9.]+ s on the line instead of [0-9.]+ s at 1 ms .*echo 1 \| sudo tee \/sys\/bus\/usb-serial\/devices\/ttyUSBn\/latency_timer;/.test(document.querySelector('#d$IDD_T62_UPLOADER .page-held').textContent) ? 'shown' : 'none')), 1)" 1
shot 18b-t62-held-replies
click $IDD_T62_UPLOADER $IDC_T62_START
wait-text $IDD_T62_UPLOADER $IDC_STATUS_LINE "Programing Completed Successfully" 30000
expect-js "window.__standinRequests" 2
EOF
  sims_stop
  # The note stands exactly where the timed pairs met the rule: on a busy
  # machine the stand-in's bridge may leave too few pairs on the ticks, and
  # then the page must say nothing (its console has the pairs' figures).
  local needed showing note
  needed=$(grep -oP 'kShowingPairs = \K[0-9]+' "$E2E_ROOT/uploader/held_replies.h")
  # the figures of the last probe before the note was looked at
  showing=$(sed '/held note: /q' "$WEB_SHOTS/set-com/console.log" |
    grep -oP 'probe turn-around: [0-9]+ pairs, \K[0-9]+' | tail -n1)
  note=$(grep -oP 'held note: \K[a-z]+' "$WEB_SHOTS/set-com/console.log")
  [ -n "$needed" ] && [ -n "$showing" ] || { e2e_fail "no timed pairs in the page's console"; return 1; }
  if [ "$showing" -ge "$needed" ]; then
    expect_eq "the note on COM5's 16 ms adapter ($showing pairs showing it)" "$note" shown || return 1
  else
    expect_eq "the note where only $showing pairs showed the adapter" "$note" none || return 1
    echo "    (the machine was too busy: $showing of the pairs showed COM5's adapter; no note expected)"
  fi
  # The probe's identify, and the same again where the page timed it.
  expect_eq "what the host sent COM4" "$(grep -E '^[0-9]+ (H>D|drop) ' "$E2E_WORK/com4.transcript" | cut -d' ' -f2- |
    sort -u)" "H>D 115200 55 55 00 01 ff 04" || return 1
  check_device t62-memory "$E2E_WORK/com5.memory" "$images/t62-small.flat" 0x00 \
    erase:0 fallback erase:0x1800 write:0x1800:0x800 erase:0 write:0:0x400
}

# A release beside the page (ridorez release make into a copy of the page's
# folder): the ZQ3's uploader takes the image of the variant the probe found
# out of the release's two, checked, with no file chosen, and Update writes
# it.
test_page_release_beside_page() {
  sim_start 4 --device keyer || return 1
  bridge_start 4 || return 1
  local images=$E2E_WORK/images page=$E2E_WORK/page records
  mkdir -p "$images" && cp -r "$WEB_PAGE" "$page" || { e2e_fail "no copy of the page"; return 1; }
  records=$(python3 "$E2E_ROOT/tests/e2e/keyer_image.py" "$images/zq3-amber.bin" --version 31 --variant 3 --phase1 \
    --expect "$images/zq3-amber.expect") &&
    python3 "$E2E_ROOT/tests/e2e/keyer_image.py" "$images/zq3-jade.bin" --version 31 --variant 103 >/dev/null &&
    "$E2E_NATIVE_BUILD/cli/ridorez" release make "$page" --name Keyer --version 2.1 "zq3:$images/zq3-jade.bin" \
      "zq3:$images/zq3-amber.bin" >/dev/null || { e2e_fail "no release beside the page"; return 1; }
  WEB_PAGE=$page page_drive "$WEB_SHOTS/release" <<EOF || return 1
open-page standin
click $IDD_MAIN $IDC_OPEN_ZQ3
wait-text $IDD_MAIN $IDC_RESULT_LINE "ZQ3 IC Test Passed" 30000
click $IDD_MAIN $IDC_ZQ3_UPDATE
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 IC Version: 31.03 Loaded, $records Records"
expect-text $IDD_KEYER_UPLOADER $IDC_FILE_PATH "/release/zq3-amber.bin"
expect-js "document.querySelector('#d$IDD_KEYER_UPLOADER .page-release').textContent" "Release Keyer 2.1: the zq3 image zq3-amber.bin for AMBER, version 31.03 (size and SHA-256 checked)"
shot 18-zq3-release-loaded
click $IDD_KEYER_UPLOADER $IDC_KEYER_START
wait-text $IDD_KEYER_UPLOADER $IDC_STATUS_LINE "ZQ3 Programing Completed Successfully, Press Encoder to restart." 60000
EOF
  keyer_holds "$E2E_WORK/com4.memory" "$images/zq3-amber.expect"
}

run_web_test() {
  local name=$1 start=$SECONDS
  E2E_REASON=""
  rm -f "$E2E_WORK"/com[45].* "$E2E_WORK"/bridge*.log
  if "test_$name"; then
    echo "web: ok   $name ($((SECONDS - start)) s)"
    passed=$((passed + 1))
  else
    echo "web: FAIL $name: ${E2E_REASON:-see $E2E_WORK}"
    mkdir -p "$WEB_SHOTS"
    cp "$E2E_WORK/bridge.log" "$WEB_SHOTS/$name.bridge.log" 2>/dev/null
    cp "$E2E_WORK/com4.transcript" "$WEB_SHOTS/$name.transcript" 2>/dev/null
    failed=$((failed + 1))
  fi
  bridge_stop
  sims_stop
}

main() {
  [ -f "$WEB_PAGE/ridorez.wasm" ] || { echo "web: no page in $WEB_PAGE (bash scripts/build_web.sh)"; return 1; }
  [ -d "$WEB_TOOLS_DIR/node_modules/puppeteer-core" ] ||
    { echo "web: no puppeteer-core in $WEB_TOOLS_DIR (bash scripts/setup.sh)"; return 1; }
  E2E_WORK=$(mktemp -d /tmp/ridorez-web.XXXXXX)
  # The simulators' links live where the Windows tests keep their COM ports.
  export WINEPREFIX=$E2E_WORK/prefix
  mkdir -p "$WINEPREFIX/dosdevices"
  trap 'bridge_stop; sims_stop; rm -rf "$E2E_WORK"' EXIT
  rm -rf "$WEB_SHOTS"
  local tests=("$@")
  [ ${#tests[@]} -gt 0 ] || tests=(page_three_updates page_zq3_recovery page_t62_unplug_update_again
    page_update_after_set_com page_release_beside_page)
  for t in "${tests[@]}"; do run_web_test "$t"; done
  echo "web: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

main "$@"
