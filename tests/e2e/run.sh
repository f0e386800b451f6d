#!/usr/bin/env bash
# End-to-end tests: the real RIdorez.exe under Wine, driven through its
# windows by uidriver.exe, against the device simulator on pseudo-terminals
# linked as COM ports. One line per test, then "e2e: N passed, M failed".
#
#   tests/e2e/run.sh [NAME...]     only the tests whose names are given
#
# The main window's tests are here; each uploader's are in cases_<target>.sh.
set -uo pipefail
. "$(dirname "$0")/lib.sh"

# ---- Main window ----

# Everything a test expects of the main window's lines and buttons.
# main_state PORTLINE HWLINE RESULTLINE LABEL T62 PSOC ZQ3 T62UPD PSOCUPD ZQ3UPD
main_state() {
  cat <<EOF
expect-text $IDC_PORT_LINE "$1"
expect-text $IDC_HW_LINE "$2"
expect-text $IDC_RESULT_LINE "$3"
expect-text $IDC_PORT_LABEL "$4"
expect-enabled $IDC_OPEN_T62 $5
expect-enabled $IDC_OPEN_PSOC $6
expect-enabled $IDC_OPEN_ZQ3 $7
expect-enabled $IDC_T62_UPDATE $8
expect-enabled $IDC_PSOC_UPDATE $9
expect-enabled $IDC_ZQ3_UPDATE ${10}
EOF
}

START_STATE=$(main_state "" "" "" "com:4" 1 1 1 0 0 0)

test_startup_and_close_box() {
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
$START_STATE
click $IDC_MAIN_CANCEL
command 1
command 2
key enter
key escape
$START_STATE
close
closed
EOF
  app_wait_exit || return 1
  expect_eq "exit code after the close box" "$APP_EXIT_CODE" 0
}

test_t62_probe_answers() {
  sim_start 4 --device t62,psoc,keyer --t62-hw-rev 2 --t62-loader 3.7 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62
$(main_state "F/W Loader v3.7 Connected" "T62 H/W Revision B" "" "com:4" 0 0 0 1 0 0)
settle
EOF
  screenshot t62-probe-answered
  transcript_has 4 "H>D" 115200 "55 55 00 01 ff 04" || return 1
  # The uploader opened next finds the port open; when it returns, the
  # window is ready for the next probe.
  drive <<EOF || return 1
window "$MAIN_TITLE"
press $IDC_T62_UPDATE
window "T62 PIC Firmware Uploader"
close
closed
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "T62 PIC Update Completed"
$(main_state "" "" "T62 PIC Update Completed" "com:4" 1 1 1 0 0 0)
EOF
}

test_t62_probe_silent_device() {
  sim_start 4 --device t62,psoc,keyer --fault silent:any:1 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62
expect-elapsed 1400 4000
$(main_state "T62 is not responding: -2" "" "" "com:4" 1 1 1 0 0 0)
EOF
}

# A valid frame with only the first two reply bytes: no versions to show.
test_t62_probe_short_reply() {
  scripted_start 4 --speed 115200 --reply 55550001ff04=55550001ff04 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62
$(main_state "T62 is not responding: 3" "" "" "com:4" 1 1 1 0 0 0)
EOF
}

test_psoc_probe_answers() {
  sim_start 4 --device t62,psoc,keyer --psoc-version 8 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_PSOC
$(main_state "PSoC Boot Loader ver 8" "" "" "com:4" 0 0 0 0 1 0)
settle
EOF
  screenshot psoc-probe-answered
  transcript_has 4 "H>D" 19200 "cc" || return 1
  drive <<EOF || return 1
window "$MAIN_TITLE"
press $IDC_PSOC_UPDATE
window "PSoC Firmware Uploader"
close
closed
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "PSOC Update Completed"
$(main_state "" "" "PSOC Update Completed" "com:4" 1 1 1 0 0 0)
EOF
}

test_psoc_probe_wrong_first_byte() {
  sim_start 4 --device t62,psoc,keyer --fault corrupt:psoc.identify:1 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_PSOC
$(main_state "Comm port opened sucessfully" "" "" "com:4" 1 1 1 0 0 0)
EOF
}

test_psoc_probe_one_byte() {
  sim_start 4 --device t62,psoc,keyer --fault reply:psoc.identify:1:0x33 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_PSOC
$(main_state "PSoC is not responding." "" "" "com:4" 1 1 1 0 0 0)
EOF
}

test_missing_port() {
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62
$(main_state "Comm port open error" "" "" "com:4" 1 1 1 0 0 0)
click $IDC_OPEN_PSOC
$(main_state "Comm port open error" "" "" "com:4" 1 1 1 0 0 0)
click $IDC_OPEN_ZQ3 30000
$(main_state "ZQ Fail:comm open" "" "ZQ3 Error, check com port" "com:4" 1 1 1 0 0 0)
EOF
}

test_zq3_probe() {
  sim_start 4 --device t62,psoc,keyer --keyer-variant jade || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE "ZQ3 IC Test Passed"
expect-enabled $IDC_OPEN_T62 0
expect-enabled $IDC_OPEN_PSOC 0
expect-enabled $IDC_OPEN_ZQ3 0
expect-enabled $IDC_ZQ3_UPDATE 1
press $IDC_ZQ3_UPDATE
window "ZQ3 IC Firmware Uploader"
close
closed
window "$MAIN_TITLE"
wait-text $IDC_RESULT_LINE "ZQ3 IC Update Completed"
$(main_state "" "" "ZQ3 IC Update Completed" "com:4" 1 1 1 0 0 0)
EOF
}

# A keyer without its firmware leaves the probe buttons on; a T62 probe on
# the same port right after must get the port back from the keyer channel.
test_t62_probe_after_zq3_probe() {
  sim_start 4 --device t62,psoc,keyer --keyer-variant none || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE "Click FW Update"
expect-enabled $IDC_ZQ3_UPDATE 1
expect-enabled $IDC_OPEN_T62 1
click $IDC_OPEN_T62
$(main_state "F/W Loader v2.5 Connected" "T62 H/W Revision A" "" "com:4" 0 0 0 1 0 1)
EOF
}

# A T62 probe that opened the port but got no answer leaves the synchronous
# channel open; the ZQ3 probe after it must still reach the keyer.
test_zq3_probe_after_t62_probe() {
  sim_start 4 --device t62,psoc,keyer --fault silent:t62.identify:1 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
click $IDC_OPEN_T62
expect-text $IDC_PORT_LINE "T62 is not responding: -2"
click $IDC_OPEN_ZQ3 30000
expect-text $IDC_RESULT_LINE "ZQ3 IC Test Passed"
EOF
}

# Set Com lists the ports that exist, COM10 and up included, with the
# current one selected; Exit keeps the port, OK takes the chosen one.
test_set_com() {
  sim_start 12 --device t62,psoc,keyer --t62-loader 4.1 || return 1
  scripted_start 3 || return 1
  scripted_start 4 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
press $IDC_SET_COM
window "Comm Port Setup"
list $IDC_PORT_LIST
EOF
  # COM1 may be the machine's own serial port, mapped by Wine.
  local expected="com3,com4,com12 1"
  case "$DRIVE_OUT" in com1,*) expected="com1,com3,com4,com12 2" ;; esac
  expect_eq "port list" "$DRIVE_OUT" "$expected" || return 1
  local sel=${expected##* }
  drive <<EOF || return 1
window "Comm Port Setup"
click $IDC_PORT_EXIT
closed
window "$MAIN_TITLE"
expect-text $IDC_PORT_LABEL "com:4"
press $IDC_SET_COM
window "Comm Port Setup"
select $IDC_PORT_LIST $((sel + 1))
click $IDC_PORT_OK
closed
window "$MAIN_TITLE"
expect-text $IDC_PORT_LABEL "com:12"
$(main_state "" "" "" "com:12" 1 1 1 0 0 0)
click $IDC_OPEN_T62
expect-text $IDC_PORT_LINE "F/W Loader v4.1 Connected"
EOF
}

# With the current port gone from the list, nothing is preselected and OK
# leaves the port as it was; closing the dialog does too.
test_set_com_without_selection() {
  scripted_start 3 || return 1
  app_start
  drive <<EOF || return 1
window "$MAIN_TITLE" 20000
press $IDC_SET_COM
window "Comm Port Setup"
list $IDC_PORT_LIST
EOF
  case "$DRIVE_OUT" in
    *" -1") ;;
    *) e2e_fail "port list '$DRIVE_OUT' has a selection" ; return 1 ;;
  esac
  drive <<EOF || return 1
window "Comm Port Setup"
click $IDC_PORT_OK
closed
window "$MAIN_TITLE"
expect-text $IDC_PORT_LABEL "com:4"
press $IDC_SET_COM
window "Comm Port Setup"
select $IDC_PORT_LIST 0
close
closed
window "$MAIN_TITLE"
expect-text $IDC_PORT_LABEL "com:4"
press $IDC_EXIT
EOF
  app_wait_exit || return 1
  expect_eq "exit code after Exit" "$APP_EXIT_CODE" 0
}

# The uploaders' file chooser: HEX and BIN set-ups (each also listing a
# release's release.json), a chosen file, a name too long for the buffer
# (refused, and said so: not taken for a cancel), a name that does not
# exist, and cancel.
test_file_chooser() {
  local dir=$E2E_WORK/images
  mkdir -p "$dir" && echo ":00000001FF" >"$dir/app.hex"
  local winpath="Z:${dir//\//\\}\\app.hex"
  app_start "$E2E_CHOOSER" hex
  drive <<EOF || return 1
window "Open" 20000
wait-text 1148 "*.hex" 10000
expect-list 1136 "All files,Hex Files,Release" 1
open-file "$winpath"
closed
EOF
  app_wait_exit || return 1
  expect_eq "chooser result" "$(tr -d '\r' <"$E2E_WORK/app.out")" "result=1 too-long=0 path=$winpath" || return 1

  app_start "$E2E_CHOOSER" hex $((${#winpath} - 4))
  drive "window \"Open\" 20000" "open-file \"$winpath\"" closed || return 1
  app_wait_exit || return 1
  expect_eq "chooser result" "$(tr -d '\r' <"$E2E_WORK/app.out")" "result=0 too-long=1 path=*.hex" || return 1

  app_start "$E2E_CHOOSER" bin
  drive <<EOF || return 1
window "Open" 20000
wait-text 1148 "*.bin" 10000
expect-list 1136 "All files,Bin Files,Release" 1
open-file "Z:${dir//\//\\}\\missing.bin"
message "File does not exist"
press $IDC_PORT_OK
closed
open-cancel
gone "Open"
EOF
  app_wait_exit || return 1
  expect_eq "chooser result" "$(tr -d '\r' <"$E2E_WORK/app.out")" "result=0 too-long=0 path=*.bin"
}

ALL_TESTS=(
  startup_and_close_box
  t62_probe_answers
  t62_probe_silent_device
  t62_probe_short_reply
  psoc_probe_answers
  psoc_probe_wrong_first_byte
  psoc_probe_one_byte
  missing_port
  zq3_probe
  t62_probe_after_zq3_probe
  zq3_probe_after_t62_probe
  set_com
  set_com_without_selection
  file_chooser
)

# More tests, one file per uploader: each defines its test_* functions and
# appends their names to ALL_TESTS.
for cases in "$(dirname "$0")"/cases_*.sh; do
  [ -e "$cases" ] && . "$cases"
done

# next_test: the next name in the shared queue ($E2E_QUEUE), taken under
# its lock, or nothing once it is empty.
next_test() {
  flock "$E2E_QUEUE.lock" sh -c 'head -n1 "$1"; sed -i 1d "$1"' _ "$E2E_QUEUE"
}

# lane: one of the lanes of a run (E2E_LANE set): its own prefix and
# display, the tests taken one at a time from the queue until it is empty.
# Its counts go to $E2E_QUEUE.laneN for the run's summary.
lane() {
  if ! e2e_setup; then
    echo "FAIL setup of lane $E2E_LANE: ${E2E_REASON:-no Wine prefix or display}"
    echo "0 1" >"$E2E_QUEUE.lane$E2E_LANE"
    return 1
  fi
  local t
  while t=$(next_test) && [ -n "$t" ]; do run_test "$t" "test_$t"; done
  echo "$E2E_PASSED $E2E_FAILED" >"$E2E_QUEUE.lane$E2E_LANE"
}

# E2E_LANES (3 by default; 1 with E2E_DISPLAY or E2E_PREFIX, which name one
# display or prefix): lanes that take the tests from one queue side by side,
# each with a Wine prefix and an X display of its own. The tests mostly wait
# on the line and on time-outs, so three lanes take about a third of the time.
main() {
  local tests=("$@")
  [ ${#tests[@]} -gt 0 ] || tests=("${ALL_TESTS[@]}")
  if [ -n "${E2E_LANE:-}" ]; then
    lane
    return
  fi
  local started=$SECONDS lanes=${E2E_LANES:-3}
  [ -z "${E2E_DISPLAY:-}${E2E_PREFIX:-}" ] || lanes=1
  [ "$lanes" -le ${#tests[@]} ] || lanes=${#tests[@]}
  rm -rf "$E2E_ARTIFACTS"
  e2e_build || { echo "FAIL build: the programs did not build"; echo "e2e: 0 passed, 1 failed"; return 1; }
  if [ "$lanes" -le 1 ]; then
    if ! e2e_setup; then
      echo "FAIL setup: ${E2E_REASON:-no Wine prefix or display}"
      echo "e2e: 0 passed, 1 failed"
      return 1
    fi
    echo "e2e: prefix and display ready in $((SECONDS - started)) s"
    local t
    for t in "${tests[@]}"; do run_test "$t" "test_$t"; done
  else
    local queue n pids=()
    queue=$(mktemp /tmp/ridorez-e2e-queue.XXXXXX)
    printf '%s\n' "${tests[@]}" >"$queue"
    echo "e2e: ${#tests[@]} tests in $lanes lanes"
    trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -f "$queue"*; exit 130' INT TERM
    for n in $(seq "$lanes"); do
      E2E_QUEUE=$queue E2E_LANE=$n "$0" &
      pids+=($!)
    done
    wait "${pids[@]}"
    trap - INT TERM
    for n in $(seq "$lanes"); do
      local counts=(0 1)
      [ -s "$queue.lane$n" ] && read -r -a counts <"$queue.lane$n"
      E2E_PASSED=$((E2E_PASSED + counts[0]))
      E2E_FAILED=$((E2E_FAILED + counts[1]))
    done
    # A test no lane took (a lane that ended early) is a failure too.
    n=$(grep -c . "$queue")
    [ "$n" -eq 0 ] || { echo "FAIL not run: $(tr '\n' ' ' <"$queue")"; E2E_FAILED=$((E2E_FAILED + n)); }
    rm -f "$queue"*
  fi
  echo "e2e: $((SECONDS - started)) s; screenshots in $E2E_ARTIFACTS"
  echo "e2e: ${E2E_PASSED} passed, ${E2E_FAILED} failed"
  [ "$E2E_FAILED" -eq 0 ]
}

main "$@"
