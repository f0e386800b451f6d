#!/usr/bin/env bash
# The presses sweep (docs/presses.md): RIdorez.exe under Wine, driven through
# its windows, with every press a user can make (Load, Update, Restart, Exit,
# Escape, Enter, the close box) at each of several moments of an update: the
# ZQ3 Update's re-probe, the echo before the speed change, the middle of the
# upload, the final exchange; then the web page in headless Chromium with
# every button that is on at those moments. The simulator holds each moment
# by answering that exchange late. Every run is judged as the fault campaign
# judges: the final message says success exactly when the simulated device
# holds the image, the run ends, and no byte goes to the line once the
# uploader has closed. Not a test of the suite: it takes minutes.
#
#   scripts/presses.sh [TARGET...]     TARGET: t62, psoc, zq3 (default all)
#   PRESSES_FRONT=windows|page         only one front end (default both)
#
# PRESSES_DOC: the table (default docs/presses.md).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
doc=${PRESSES_DOC:-$root/docs/presses.md}
helper=$root/tools/faults/fault_table.py

ALL_TESTS=()
. tests/e2e/lib.sh
. tests/e2e/cases_t62.sh
. tests/e2e/cases_psoc.sh
. tests/e2e/cases_zq3.sh
. tests/web/lib.sh
E2E_ARTIFACTS=$root/build/presses
export E2E_ARTIFACTS

ROWS=()
FINDINGS=0

# use_target t62|psoc|zq3
use_target() {
  TARGET=$1
  case $1 in
    t62) TITLE=$T62_TITLE DIALOG=$IDD_T62_UPLOADER START=$IDC_T62_START RESTART=$IDC_T62_RESTART DONE="Programing Completed Successfully"
         MAIN_DONE="T62 PIC Update Completed"
         MOMENTS=("mid-upload:late:write:5:1000" "final exchange:late:read:12:1000") ;;
    psoc) TITLE=$PSOC_TITLE DIALOG=$IDD_PSOC_UPLOADER START=$IDC_PSOC_START RESTART="" DONE=$PSOC_DONE MAIN_DONE="PSOC Update Completed"
          MOMENTS=("mid-upload:late:block:100:1000" "final exchange:late:finish:1:1000") ;;
    zq3) TITLE=$ZQ3_TITLE DIALOG=$IDD_KEYER_UPLOADER START=$IDC_KEYER_START RESTART="" DONE=$ZQ3_DONE MAIN_DONE="ZQ3 IC Update Completed"
         MOMENTS=("re-probe:late:echo:2:1500" "before the speed change:late:echo:3:1500"
                  "mid-upload:late:record:500:1500" "final exchange:late:record:964:1500") ;;
  esac
}

# Driver lines: the probe, the uploader, the image loaded.
open_and_load() {
  case $TARGET in
    t62) t62_open_uploader; t62_load t62 ;;
    psoc) psoc_open_uploader; psoc_load psoc ;;
    zq3) zq3_probe_and_open; zq3_load "ZQ3 IC Version: 31.03 Loaded, $ZQ3_RECORDS Records" ;;
  esac
}

start_sim() {
  case $TARGET in
    t62) sim_start 4 --device t62 --t62-fill $T62_FILL --fault "$1" ;;
    psoc) sim_start 4 --device psoc --psoc-fill $PSOC_FILL --fault "$1" ;;
    zq3) zq3_sim --keyer-variant amber --fault "$1" ;;
  esac
}

# device_whole: whether the simulated device holds the image now.
device_whole() {
  local memory=$E2E_WORK/com4.memory
  sim_memory_now 4
  case $TARGET in
    t62) python3 "$helper" t62-state "$memory" "$E2E_WORK/images/t62.flat" 8 $T62_FILL >/dev/null ;;
    psoc) python3 "$helper" psoc-state "$memory" "$E2E_WORK/images/psoc.flat" $PSOC_FILL >/dev/null ;;
    zq3) python3 "$helper" keyer-state "$memory" "$ZQ3_EXPECT" >/dev/null ;;
  esac
}

# judge WHO MOMENT PRESS SEEN CLOSED AFTER CHOOSER [BROKEN]: the verdict of a
# run and its row. Success said with the image not whole, an uploader closed (it
# waits for its worker, which met no fault but a late reply) with the image
# not whole, bytes sent after it closed, a Load carried out during the run:
# each is a finding.
judge() {
  local who=$1 moment=$2 press=$3 seen=$4 closed=$5 after=$6 chooser=$7 broken=${8:-} whole=0 said=0 verdict=ok
  device_whole && whole=1
  case $seen in *"\"$DONE\""*) said=1 ;; esac
  if [ "$said" = 0 ] && [ "$closed" = 0 ] && [ $whole = 1 ]; then verdict="ok (not said; the device holds it)"; fi
  if [ "$closed" = 1 ] && [ $whole = 0 ]; then verdict="FINDING: closed with the image not whole"; fi
  if [ $said = 1 ] && [ $whole = 0 ]; then verdict="FINDING: false success"; fi
  if [ "$after" -gt 0 ]; then verdict="FINDING: $after chunks sent after the uploader closed"; fi
  if [ "$chooser" = 1 ]; then verdict="FINDING: a Load carried out during the run"; fi
  if [ -n "$broken" ]; then verdict="FINDING: $broken"; fi
  case $verdict in FINDING*) FINDINGS=$((FINDINGS + 1)) ;; esac
  echo "presses: $who, $moment, $press: $seen; whole $whole; $verdict" >&2
  ROWS+=("| $who | $moment | $press | $seen | $([ $whole = 1 ] && echo yes || echo no) | $after | $verdict |")
}

host_bytes() { grep -c ' H>D ' "$E2E_WORK/com4.transcript"; }

# The press as driver lines. A button that is off at that moment cannot be
# clicked; what reaches the dialog then is its command (a click queued while
# the window was busy, or a key).
press_lines() {
  case $1 in
    Load) echo "command $IDC_LOAD" ;;
    Update) echo "command $START" ;;
    Restart) echo "command $RESTART" ;;
    Exit) echo "press $IDC_UPLOADER_EXIT" ;;
    Escape) echo "key escape" ;;
    Enter) echo "key enter" ;;
    close) echo "close" ;;
  esac
}

# press_run MOMENT FAULT PRESS: one run; a row of the table.
press_run() {
  local moment=$1 fault=$2 press=$3
  local kind=${fault#late:}; kind=${kind%%:*}
  local seen closed=0 after=0 extra=""
  : >"$E2E_WORK/driver.err"
  start_sim "$fault" || { ROWS+=("| $TARGET | $moment | $press | (simulator: $E2E_REASON) | | | error |"); return; }
  app_start
  if ! drive <<<"$(open_and_load)"; then
    ROWS+=("| $TARGET | $moment | $press | (could not load: $E2E_REASON) | | | error |")
    FINDINGS=$((FINDINGS + 1))
    app_stop; sims_stop; return
  fi
  drive "window \"$TITLE\"" "press $START"
  # The moment: the simulator has the exchange it answers late.
  local i
  for i in $(seq 400); do
    grep -q " note fault $fault on " "$E2E_WORK/com4.transcript" && break
    sleep 0.05
  done
  drive "window \"$TITLE\"" "$(press_lines "$press")" || extra="press: $E2E_REASON"
  # A file chooser opened by the press is a finding: cancel it.
  if drive 'window "Open" 500' 2>/dev/null; then
    extra="${extra:+$extra; }the file chooser opened"
    drive 'window "Open"' 'open-cancel' 'gone "Open"'
  fi
  # The end: the uploader closes (Exit, the close box) or the run's message.
  drive "window \"$TITLE\" 1000" "wait-any 90000 enabled:$IDC_LOAD:1 \"message:ZQ not connected\"" ||
    true
  if ! drive "window \"$TITLE\" 500"; then
    closed=1
  fi
  if [ $closed = 0 ] && [ "$press" = Exit -o "$press" = close ]; then
    drive "window \"$TITLE\"" "closed 90000" && closed=1
  fi
  if [ $closed = 1 ]; then
    local sent
    sent=$(host_bytes)
    drive "window \"$MAIN_TITLE\"" "text $IDC_RESULT_LINE"
    seen="closed; main window: \"$DRIVE_OUT\""
    sleep 1
    after=$(( $(host_bytes) - sent ))
  else
    drive "window \"$TITLE\"" "text $IDC_STATUS_LINE"
    seen="\"$DRIVE_OUT\""
  fi
  local chooser=0
  case $extra in *"file chooser"*) chooser=1 ;; esac
  judge "$TARGET" "$moment" "$press" "$seen${extra:+ ($extra)}" "$closed" "$after" "$chooser"
  app_stop
  sims_stop
  rm -f "$E2E_WORK"/*.transcript "$E2E_WORK"/*.memory*
}

# ---- The page ----

# The page's steps up to a running update: the probe, the uploader, the image.
page_open_and_load() {
  local image=$1
  echo "open-page standin"
  case $TARGET in
    t62) echo "click $IDD_MAIN $IDC_OPEN_T62"; echo "wait-text $IDD_MAIN $IDC_PORT_LINE \"F/W Loader v2.5 Connected\" 10000"
         echo "click $IDD_MAIN $IDC_T62_UPDATE" ;;
    psoc) echo "click $IDD_MAIN $IDC_OPEN_PSOC"; echo "wait-text $IDD_MAIN $IDC_PORT_LINE \"PSoC Boot Loader ver 7\" 10000"
          echo "click $IDD_MAIN $IDC_PSOC_UPDATE" ;;
    zq3) echo "click $IDD_MAIN $IDC_OPEN_ZQ3"; echo "wait-text $IDD_MAIN $IDC_RESULT_LINE \"ZQ3 IC Test Passed\" 30000"
         echo "click $IDD_MAIN $IDC_ZQ3_UPDATE" ;;
  esac
  echo "load $DIALOG $image"
  echo "wait-enabled $DIALOG $START 1 10000"
}

# page_run MOMENT FAULT BUTTON: one run in the page; a row of the table.
page_run() {
  local moment=$1 fault=$2 button=$3 id image after=0 seen broken=""
  case $button in Load) id=$IDC_LOAD ;; Update) id=$START ;; Restart) id=$RESTART ;; Exit) id=$IDC_UPLOADER_EXIT ;; esac
  case $TARGET in t62) image=$E2E_WORK/images/t62.hex ;; psoc) image=$E2E_WORK/images/psoc.hex ;;
    zq3) image=${ZQ3_EXPECT%.expect}.bin ;; esac
  start_sim "$fault" && bridge_start 4 || { ROWS+=("| page $TARGET | $moment | $button | ($E2E_REASON) | | | error |"); return; }
  local transcript=$E2E_WORK/com4.transcript out=$E2E_WORK/page.out
  {
    page_open_and_load "$image"
    echo "click $DIALOG $START"
    echo "wait-file $transcript \"note fault $fault on\" 60000"
    echo "press $DIALOG $id"
    echo "wait-idle $DIALOG 90000"
    echo "count $transcript \" H>D \""
    echo "print 0 0"
    echo "print $DIALOG $IDC_STATUS_LINE"
    echo "print $IDD_MAIN $IDC_RESULT_LINE"
    echo "sleep 1500"
    echo "count $transcript \" H>D \""
  } | node tests/web/drive_page.mjs "$WEB_PAGE" "$E2E_ARTIFACTS/page" "$BRIDGE_URL" >"$out" 2>&1
  local pressed shown status main
  pressed=$(sed -n 's/^press [0-9]* [0-9]*: //p' "$out")
  shown=$(sed -n 's/^shown: //p' "$out")
  status=$(sed -n "s/^text $DIALOG $IDC_STATUS_LINE: //p" "$out")
  main=$(sed -n "s/^text $IDD_MAIN $IDC_RESULT_LINE: //p" "$out")
  local counts; counts=($(sed -n 's/^count: //p' "$out"))
  if grep -q '^drive_page: ' "$out"; then
    seen="(driver: $(grep '^drive_page: ' "$out" | head -n1 | cut -c1-160))"
    broken="the run did not end as expected"
  elif [[ " $shown " == *" d$DIALOG "* ]]; then
    seen="\"$status\""
  else
    seen="closed; main window: \"$main\""
    [ ${#counts[@]} -eq 2 ] && after=$(( counts[1] - counts[0] ))
  fi
  judge "page $TARGET" "$moment" "$button ($pressed)" "$seen" "$([[ $seen == closed* ]] && echo 1 || echo 0)" \
    "$after" "$([ "$pressed" = chooser ] && echo 1 || echo 0)" "$broken"
  bridge_stop
  sims_stop
  rm -f "$E2E_WORK"/*.transcript "$E2E_WORK"/*.memory*
}

main() {
  local targets=("$@") started=$SECONDS
  [ ${#targets[@]} -gt 0 ] || targets=(t62 psoc zq3)
  e2e_build || { echo "presses: the programs did not build" >&2; return 1; }
  e2e_setup || { echo "presses: no Wine prefix or display: $E2E_REASON" >&2; return 1; }
  hex_image t62 0:1024 0x1800:1024 || return 1
  hex_image psoc 0:0x3600 || return 1
  zq3_image zq3 --version 31 --variant 3 --phase1 || return 1
  local t m press presses front=${PRESSES_FRONT:-}
  if [ "$front" != page ]; then
    for t in "${targets[@]}"; do
      use_target "$t"
      presses=(${PRESSES_ONLY:-Load Update Exit Escape Enter close})
      [ -n "$RESTART" ] && presses+=(Restart)
      for m in "${MOMENTS[@]}"; do
        for press in "${presses[@]}"; do press_run "${m%%:*}" "${m#*:}" "$press"; done
      done
    done
  fi
  if [ "$front" != windows ]; then
    bash scripts/build_web.sh >"$E2E_WORK/web-build.log" 2>&1 || { echo "presses: the page did not build" >&2; return 1; }
    for t in "${targets[@]}"; do
      use_target "$t"
      presses=(Load Update Exit)
      [ -n "$RESTART" ] && presses+=(Restart)
      for m in "${MOMENTS[@]}"; do
        for press in "${presses[@]}"; do page_run "${m%%:*}" "${m#*:}" "$press"; done
      done
    done
  fi
  {
    echo "# The presses sweep"
    echo
    echo "Written by \`scripts/presses.sh\`: RIdorez.exe under Wine, every press at each moment of an update"
    echo "that the simulator holds by answering one exchange late (1 s; 1.5 s on the keyer line, within"
    echo "each read's time-out). Load, Update and Restart are off during a run: what reaches the dialog"
    echo "then is their command (a click queued while the window was busy, or Escape for Load). \"whole\":"
    echo "the simulated device holds the image at the end; \"after close\": transcript lines of bytes sent"
    echo "after the uploader closed. In the page (rows \"page ...\") a button is pressed only when it is"
    echo "on at that moment (\"off\": it was not, and the run went on untouched); the page has no keys or"
    echo "close box of its own. ${#ROWS[@]} runs in $((SECONDS - started)) s, $FINDINGS findings."
    echo
    echo "| target | moment | press | what the user sees at the end | whole | after close | verdict |"
    echo "|---|---|---|---|---|---|---|"
    printf '%s\n' "${ROWS[@]}"
  } >"$doc"
  echo "presses: ${#ROWS[@]} runs in $((SECONDS - started)) s, $FINDINGS findings; table in $doc" >&2
  [ "$FINDINGS" -eq 0 ]
}

main "$@"
