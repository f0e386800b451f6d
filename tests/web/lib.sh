# What the page's end-to-end test and the benchmark share: the bridge from
# the navigator.serial stand-in to a simulator's pseudo-terminal, and the
# page's driver. Source it after tests/e2e/lib.sh.

WEB_PAGE=${WEB_PAGE:-$E2E_ROOT/build/web/page}
WEB_SHOTS=${WEB_SHOTS:-$E2E_ROOT/build/web-screens}
export WEB_TOOLS_DIR=${WEB_TOOLS_DIR:-$E2E_ROOT/build/web-tools}
BRIDGE_PIDS=()
BRIDGE_URL=""

# bridge_start N: a bridge to COMn's simulator, one more adapter for the
# stand-in; BRIDGE_URL lists where the stand-in finds each, separated by
# spaces, the first started first. The first bridge logs into bridge.log,
# a later one into bridge.comN.log.
bridge_start() {
  local log=$E2E_WORK/bridge.log out=$E2E_WORK/bridge.com$1.out url pid
  [ ${#BRIDGE_PIDS[@]} -eq 0 ] || log=$E2E_WORK/bridge.com$1.log
  # The last bridge's port must not be read for this one's: the new
  # bridge's output is only truncated once its process has started.
  rm -f "$out"
  /usr/bin/python3 "$E2E_ROOT/tests/web/serial_bridge.py" --device "$(com_path "$1")" \
    --log "$log" >"$out" 2>&1 &
  pid=$!
  BRIDGE_PIDS+=("$pid")
  local i
  for i in $(seq 200); do
    url=$(sed -n 's/^listening \([0-9]*\)$/ws:\/\/127.0.0.1:\1/p' "$out" 2>/dev/null)
    if [ -n "$url" ]; then
      BRIDGE_URL=${BRIDGE_URL:+$BRIDGE_URL }$url
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  e2e_fail "the bridge did not start: $(cat "$out")"
}

bridge_stop() {
  local pid
  for pid in "${BRIDGE_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${BRIDGE_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  BRIDGE_PIDS=()
  BRIDGE_URL=""
}

# page_drive SHOTS: runs the steps on stdin against the page
# (drive_page.mjs), its screenshots into SHOTS.
page_drive() {
  local out
  out=$(node "$E2E_ROOT/tests/web/drive_page.mjs" "$WEB_PAGE" "$1" "$BRIDGE_URL" 2>&1)
  local rc=$?
  [ "$rc" -eq 0 ] || e2e_fail "$(printf '%s\n' "$out" | tail -n4 | tr '\n' ' ')"
  return "$rc"
}

