# End-to-end test of the command line's Windows console build,
# ridorez-cli.exe, under Wine: the T62 probed and updated through COM4, as
# a script on Windows would run it. Sourced by run.sh.
. "$(dirname "${BASH_SOURCE[0]}")/uploads.sh"

# cli_run ARGS...: ridorez-cli.exe with ARGS; its exit code in
# APP_EXIT_CODE, its standard output (without the console's CRs) in CLI_OUT.
cli_run() {
  app_start "$E2E_CLI" "$@"
  app_wait_exit 60 || return 1
  CLI_OUT=$(tr -d '\r' <"$E2E_WORK/app.out")
}

test_cli_t62_probe_and_update() {
  hex_image t62_5000 0:1024 0x1800:3976 || return 1
  sim_start 4 --device t62 --t62-fill 0x3c || return 1
  cli_run probe t62 --port COM4 || return 1
  expect_eq "probe's exit code" "$APP_EXIT_CODE" 0 || return 1
  expect_eq "probe's lines" "$CLI_OUT" "F/W Loader v2.5 Connected
T62 H/W Revision A" || return 1

  cli_run update t62 "$(image_path t62_5000)" --port COM4 || return 1
  expect_eq "update's exit code" "$APP_EXIT_CODE" 0 || return 1
  expect_eq "update's first and last lines" "$(printf '%s\n' "$CLI_OUT" | sed -n '1,4p;$p')" \
    "T62 Image Loaded, 5000 Bytes
F/W Loader v2.5 Connected
T62 H/W Revision A
Programming T62 PIC....
Programing Completed Successfully" || return 1
  printf '%s\n' "$CLI_OUT" | grep -q '^100%  24/24 rows ' || { e2e_fail "no progress line at 100 %: $CLI_OUT"; return 1; }
  sims_stop
  t62_memory_is t62_5000 0x3c erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 \
    write:0x1800:0x1800 erase:0 write:0:0x400
}

# An FTDI adapter on COM7 as its driver enters it in the device's setup
# information, its latency timer at 16 ms: `ports` names it by what it is,
# serial= finds it, and an update there says once what the timer costs and
# how to set it, then completes.
test_cli_ports_by_setup_information() {
  local key='HKLM\System\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+A50285BIA\0000'
  "$E2E_WINE" reg add "$key" /v ClassGUID /t REG_SZ /d '{4d36e978-e325-11ce-bfc1-08002be10318}' /f >/dev/null 2>&1 &&
    "$E2E_WINE" reg add "$key" /v FriendlyName /t REG_SZ /d 'USB Serial Port (COM7)' /f >/dev/null 2>&1 &&
    "$E2E_WINE" reg add "$key\Device Parameters" /v PortName /t REG_SZ /d COM7 /f >/dev/null 2>&1 &&
    "$E2E_WINE" reg add "$key\Device Parameters" /v LatencyTimer /t REG_DWORD /d 16 /f >/dev/null 2>&1 ||
    { e2e_fail "the adapter's registry entries were not made"; return 1; }
  local ok=0
  hex_image t62_5000 0:1024 0x1800:3976 || ok=1
  [ $ok -eq 0 ] && { sim_start 7 --device t62 --t62-fill 0x3c --adapter ftdi:latency=16 || ok=1; }
  [ $ok -eq 0 ] && { cli_run ports || ok=1; }
  [ $ok -eq 0 ] && { printf '%s\n' "$CLI_OUT" | grep -qx 'COM7  USB Serial Port (COM7), USB 0403:6001, serial A50285BI, latency timer 16 ms' ||
    { e2e_fail "ports: $CLI_OUT"; ok=1; }; }
  [ $ok -eq 0 ] && { cli_run probe t62 --port serial=A50285BI || ok=1; }
  [ $ok -eq 0 ] && { expect_eq "probe by serial number" "$APP_EXIT_CODE:$CLI_OUT" "0:F/W Loader v2.5 Connected
T62 H/W Revision A" || ok=1; }
  [ $ok -eq 0 ] && { cli_run update t62 "$(image_path t62_5000)" --port COM7 || ok=1; }
  [ $ok -eq 0 ] && { expect_eq "update behind the adapter" "$APP_EXIT_CODE:$(printf '%s\n' "$CLI_OUT" | tail -n 1)" \
    "0:Programing Completed Successfully" || ok=1; }
  [ $ok -eq 0 ] && { expect_eq "the note on the latency timer" "$(grep -c 'latency timer' "$E2E_WORK/app.err")
$(grep 'latency timer' "$E2E_WORK/app.err" | tr -d '\r')" "1
ridorez-cli: the adapter of COM7 holds each reply up to its latency timer, 16 ms: this update takes about 2.1 s \
on the line instead of 1.4 s at 1 ms (about 1.5 x). To set it to 1 ms: Device Manager, \"Ports (COM & LPT)\", \
the adapter's port, Properties, \"Port Settings\", \"Advanced...\", \"Latency Timer (msec)\": 1, OK." || ok=1; }
  sims_stop
  [ $ok -eq 0 ] && { check_device t62-memory "$E2E_WORK/com7.memory" "$E2E_WORK/images/t62_5000.flat" 0x3c \
    erase:0 fallback erase:0x1800 erase:0x2000 erase:0x2800 write:0x1800:0x1800 erase:0 write:0:0x400 || ok=1; }
  "$E2E_WINE" reg delete "${key%\\0000}" /f >/dev/null 2>&1
  return $ok
}

ALL_TESTS+=(
  cli_t62_probe_and_update
  cli_ports_by_setup_information
)
