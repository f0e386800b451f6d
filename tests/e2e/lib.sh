# Shared pieces of the end-to-end tests (and of scripts/demo.sh): one Wine
# prefix and one X display for a whole run, the device simulators on
# pseudo-terminals linked as COM ports, the program under Wine, and the
# window driver. Source it, call e2e_setup once, e2e_teardown at the end
# (a trap is set for it).
#
# Settings (environment):
#   E2E_DISPLAY    use this X display instead of starting a private Xvfb
#   E2E_PREFIX     use (and keep) this Wine prefix, made when missing,
#                  instead of a fresh one in the run's work folder
#   E2E_KEEP       leave the prefix and the work folder in place (debugging)
#   E2E_ARTIFACTS  where screenshots and logs of failures go
#                  (default build/e2e-artifacts)

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_WINE=/usr/lib/wine/wine64
E2E_WINESERVER=/usr/lib/wine/wineserver
E2E_NATIVE_BUILD=${E2E_NATIVE_BUILD:-$E2E_ROOT/build/native}
E2E_WIN_BUILD=${E2E_WIN_BUILD:-$E2E_ROOT/build/win}
E2E_DEVSIM=$E2E_NATIVE_BUILD/tools/devsim/devsim
E2E_PROGRAM=$E2E_WIN_BUILD/app/RIdorez.exe
E2E_CHOOSER=$E2E_WIN_BUILD/tests/e2e/choose_image_file_check.exe
E2E_CLI=$E2E_WIN_BUILD/cli/ridorez-cli.exe
E2E_DRIVER=$E2E_WIN_BUILD/tools/uidriver/uidriver.exe
E2E_ARTIFACTS=${E2E_ARTIFACTS:-$E2E_ROOT/build/e2e-artifacts}
MAIN_TITLE="T62 Firmware Update Utility 1.1"

# The program's control ids, by the names res/resource.h gives them
# (IDC_OPEN_T62=4011 ...): driver scripts name controls, never numbers.
eval "$(sed -n 's/^#define \(ID[A-Z0-9_]*\)[[:space:]]\{1,\}\([0-9]\{1,\}\)[[:space:]]*$/\1=\2/p' "$E2E_ROOT/res/resource.h")"
[ -n "${IDC_OPEN_T62:-}" ] || { echo "e2e: no control ids read from res/resource.h" >&2; exit 1; }

E2E_WORK=""          # temporary folder of this run: prefix, logs, transcripts
E2E_XVFB_PID=""
E2E_IDLE_PID=""
E2E_SIM_PIDS=()      # simulators started by the current test
E2E_APP_PID=""       # the program (or another Windows program) under test
E2E_REASON=""        # why the current test failed
DRIVE_OUT=""         # what the last drive printed

e2e_log() { echo "e2e: $*" >&2; }

# Builds what the tests run: the simulator natively, the program, the driver
# and the chooser check with MinGW. Quick when they are up to date.
e2e_build() {
  (cd "$E2E_ROOT" &&
    { [ -f "$E2E_NATIVE_BUILD/CMakeCache.txt" ] ||
        cmake -S . -B "$E2E_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null; } &&
    cmake --build "$E2E_NATIVE_BUILD" -j2 --target devsim >/dev/null &&
    { [ -f "$E2E_WIN_BUILD/CMakeCache.txt" ] ||
        cmake -S . -B "$E2E_WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
          -DCMAKE_BUILD_TYPE=Release >/dev/null; } &&
    cmake --build "$E2E_WIN_BUILD" -j2 --target RIdorez ridorez-cli uidriver choose_image_file_check >/dev/null)
}

# A private X server on a free display, unless E2E_DISPLAY names one.
e2e_start_display() {
  if [ -n "${E2E_DISPLAY:-}" ]; then
    export DISPLAY=$E2E_DISPLAY
    return 0
  fi
  local fdfile=$E2E_WORK/xvfb.display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$fdfile" ] && break
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || { e2e_log "Xvfb did not start"; return 1; }
    sleep 0.1
  done
  [ -s "$fdfile" ] || { e2e_log "Xvfb gave no display"; return 1; }
  export DISPLAY=":$(head -n1 "$fdfile")"
}

# One fresh prefix and display for the whole run; wineserver kept running
# between program starts so that each start is quick.
e2e_setup() {
  E2E_WORK=$(mktemp -d /tmp/ridorez-e2e.XXXXXX)
  mkdir -p "$E2E_ARTIFACTS"
  trap e2e_teardown EXIT
  trap 'exit 130' INT TERM
  export WINEPREFIX=${E2E_PREFIX:-$E2E_WORK/prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  e2e_start_display || return 1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$E2E_WINE" wineboot -i >"$E2E_WORK/wineboot.log" 2>&1 || { e2e_log "wineboot failed"; return 1; }
  fi
  # Wine's own fonts (fonts-wine), which this Wine does not look for in its
  # data folder: linked into the prefix's Fonts folder, where Windows keeps
  # them, they draw the caption buttons and the dialogs' Tahoma as on Windows.
  local font
  for font in /usr/share/wine/fonts/*; do
    [ -e "$font" ] && ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  # One server for the whole run, and one idle Windows process that keeps
  # the prefix's system processes up, so that a program starts in a moment.
  "$E2E_WINESERVER" -k >/dev/null 2>&1
  "$E2E_WINESERVER" -p >/dev/null 2>&1
  "$E2E_WINE" "$E2E_DRIVER" "sleep 86400000" >/dev/null 2>&1 &
  E2E_IDLE_PID=$!
  # No window manager runs on a private Xvfb: windows that Wine leaves to one
  # would make it wait 2 s for each to be withdrawn when it closes.
  # On a display of the user's (a kept prefix may have been headless before),
  # the window manager has them again.
  if [ -n "$E2E_XVFB_PID" ]; then
    "$E2E_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  else
    "$E2E_WINE" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1
  fi
  # Start with no COM ports of ours; the tests link the ones they use.
  rm -f "$WINEPREFIX"/dosdevices/com[2-9] "$WINEPREFIX"/dosdevices/com[1-3][0-9]
  # The prefix is up once a program started in it runs and its output
  # comes back: on a loaded machine a fresh prefix's first programs have
  # ended with code 1 and no word before it was.
  local try
  : >"$E2E_WORK/driver.err"
  for try in 1 2 3 4 5; do
    if drive "# up"; then
      [ "$try" -eq 1 ] || e2e_log "the prefix answered at try $try (before: $E2E_REASON)"
      return 0
    fi
    sleep 1
  done
  e2e_log "the window driver does not run in the prefix: $E2E_REASON"
  return 1
}

e2e_teardown() {
  trap - EXIT
  app_stop
  sims_stop
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    "$E2E_WINESERVER" -k >/dev/null 2>&1
    "$E2E_WINESERVER" -w >/dev/null 2>&1
  fi
  if [ -n "$E2E_IDLE_PID" ]; then
    kill "$E2E_IDLE_PID" 2>/dev/null
    wait "$E2E_IDLE_PID" 2>/dev/null
    E2E_IDLE_PID=""
  fi
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null
    wait "$E2E_XVFB_PID" 2>/dev/null
    E2E_XVFB_PID=""
  fi
  if [ -n "$E2E_WORK" ] && [ -z "${E2E_KEEP:-}" ]; then rm -rf "$E2E_WORK"; fi
}

e2e_fail() {  # e2e_fail REASON: note why, return 1
  E2E_REASON=$*
  return 1
}

# ---- Devices ----

com_path() { echo "$WINEPREFIX/dosdevices/com$1"; }

wait_for_link() {  # wait_for_link PATH PID
  local i
  for i in $(seq 100); do
    [ -L "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# sim_start N DEVSIM-ARGS...: the simulator on COMn, transcript in
# $E2E_WORK/comN.transcript, memory in $E2E_WORK/comN.memory.
sim_start() {
  local n=$1; shift
  local link; link=$(com_path "$n")
  rm -f "$link"
  "$E2E_DEVSIM" --link "$link" --transcript "$E2E_WORK/com$n.transcript" \
    --memory "$E2E_WORK/com$n.memory" "$@" >"$E2E_WORK/com$n.devsim.log" 2>&1 &
  local pid=$!
  E2E_SIM_PIDS+=("$pid")
  wait_for_link "$link" "$pid" || e2e_fail "the simulator on COM$n did not start: $(cat "$E2E_WORK/com$n.devsim.log")"
}

# scripted_start N ARGS...: a scripted peer (scripted_device.py) on COMn, for
# replies the simulator does not make; with no --reply it never answers.
scripted_start() {
  local n=$1; shift
  local link; link=$(com_path "$n")
  rm -f "$link"
  python3 "$E2E_ROOT/tests/e2e/scripted_device.py" --link "$link" "$@" >"$E2E_WORK/com$n.scripted.log" 2>&1 &
  local pid=$!
  E2E_SIM_PIDS+=("$pid")
  wait_for_link "$link" "$pid" || e2e_fail "the scripted device on COM$n did not start"
}

sims_stop() {
  local pid
  for pid in "${E2E_SIM_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${E2E_SIM_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  E2E_SIM_PIDS=()
}

# transcript_has N DIRECTION SPEED BYTES: the simulator on COMn logged BYTES
# (hex, spaced as in the transcript) going DIRECTION (H>D or D>H) at SPEED.
transcript_has() {
  grep -q -- " $2 $3 $4\$" "$E2E_WORK/com$1.transcript" 2>/dev/null ||
    e2e_fail "COM$1 transcript has no '$2 $3 $4'"
}

# ---- The program ----

# app_start [EXE ARGS...]: starts RIdorez.exe (or EXE) under Wine.
app_start() {
  local exe=${1:-$E2E_PROGRAM}
  [ $# -gt 0 ] && shift
  "$E2E_WINE" "$exe" "$@" >"$E2E_WORK/app.out" 2>"$E2E_WORK/app.err" &
  E2E_APP_PID=$!
}

# app_wait_exit [SECONDS]: waits for the program to end; its exit code in
# APP_EXIT_CODE. Fails when it is still running after SECONDS (default 10).
app_wait_exit() {
  local limit=$(( ${1:-10} * 10 )) i
  APP_EXIT_CODE=""
  for i in $(seq "$limit"); do
    kill -0 "$E2E_APP_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$E2E_APP_PID" 2>/dev/null; then
    e2e_fail "the program did not end"
    return 1
  fi
  wait "$E2E_APP_PID"
  APP_EXIT_CODE=$?
  E2E_APP_PID=""
  return 0
}

app_stop() {
  [ -n "$E2E_APP_PID" ] || return 0
  kill -KILL "$E2E_APP_PID" 2>/dev/null
  wait "$E2E_APP_PID" 2>/dev/null
  E2E_APP_PID=""
}

# ---- The driver ----

# drive [LINE...]: runs a driver script, from the arguments or from standard
# input. Its output is kept in DRIVE_OUT; on failure the driver's complaint
# becomes the test's reason.
drive() {
  if [ $# -gt 0 ]; then
    DRIVE_OUT=$("$E2E_WINE" "$E2E_DRIVER" "$@" 2>>"$E2E_WORK/driver.err")
  else
    DRIVE_OUT=$("$E2E_WINE" "$E2E_DRIVER" 2>>"$E2E_WORK/driver.err")
  fi
  local rc=$?
  DRIVE_OUT=${DRIVE_OUT//$'\r'/}
  if [ $rc -ne 0 ]; then
    E2E_REASON=$(printf '%s\n' "$DRIVE_OUT" | grep '^uidriver:' | tail -n1)
    [ -n "$E2E_REASON" ] || E2E_REASON="driver exit code $rc ($(tail -n1 "$E2E_WORK/driver.err"))"
    printf 'exit code %s; its output:\n%s\n' "$rc" "$DRIVE_OUT" >>"$E2E_WORK/driver.err"
    return 1
  fi
  return 0
}

expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || e2e_fail "$1: got '$2', expected '$3'"
}

# screenshot NAME: the whole screen into $E2E_ARTIFACTS/NAME.png.
screenshot() {
  import -window root "$E2E_ARTIFACTS/$1.png" >/dev/null 2>&1 || e2e_fail "no screenshot $1"
}

# ---- Running tests ----

E2E_PASSED=0
E2E_FAILED=0

# run_test NAME FUNCTION: one test with a fresh program and fresh devices;
# prints "ok NAME" or "FAIL NAME: reason".
run_test() {
  local name=$1 fn=$2 start=$SECONDS try
  for try in 1 2; do
    E2E_REASON=""
    : >"$E2E_WORK/driver.err"
    if "$fn" && [ -z "$E2E_REASON" ]; then
      E2E_PASSED=$((E2E_PASSED + 1))
      echo "ok $name ($((SECONDS - start)) s)"
      break
    fi
    # The driver says why each check it makes fails; one that ended with no
    # word judged nothing (Wine under load, twice in some hundred runs): the
    # test is run once more, and says so.
    if [ "$try" -eq 1 ] && [[ $E2E_REASON == "driver exit code "* ]]; then
      echo "again $name: $E2E_REASON"
      screenshot "AGAIN-$name" || true
      cp "$E2E_WORK/driver.err" "$E2E_ARTIFACTS/AGAIN-$name-driver.err"
      test_clean
      continue
    fi
    E2E_FAILED=$((E2E_FAILED + 1))
    echo "FAIL $name: ${E2E_REASON:-failed}"
    screenshot "FAIL-$name" || true
    [ -s "$E2E_WORK/driver.err" ] && cp "$E2E_WORK/driver.err" "$E2E_ARTIFACTS/FAIL-$name-driver.err"
    local f
    for f in "$E2E_WORK"/*.transcript; do
      [ -e "$f" ] && cp "$f" "$E2E_ARTIFACTS/FAIL-$name-$(basename "$f")"
    done
    break
  done
  test_clean
}

# test_clean: what a test started and left, gone before the next.
test_clean() {
  app_stop
  sims_stop
  rm -f "$E2E_WORK"/*.transcript "$E2E_WORK"/*.memory*
  rm -f "$WINEPREFIX"/dosdevices/com[2-9] "$WINEPREFIX"/dosdevices/com[1-3][0-9]
}
