# What the page's end-to-end test and the benchmark share: the bridge from
# the navigator.serial stand-in to a simulator's pseudo-terminal, and the
# page's driver. Source it after tests/e2e/lib.sh.

WEB_PAGE=${WEB_PAGE:-$E2E_ROOT/build/web/page}
WEB_SHOTS=${WEB_SHOTS:-$E2E_ROOT/build/web-screens}
export WEB_TOOLS_DIR=${WEB_TOOLS_DIR:-$E2E_ROOT/build/web-tools}
BRIDGE_PID=""

# bridge_start N: the bridge to COMn's simulator; BRIDGE_URL is where the
# stand-in finds it.
bridge_start() {
  # The last bridge's port must not be read for this one's: the new
  # bridge's output is only truncated once its process has started.
  rm -f "$E2E_WORK/bridge.out"
  /usr/bin/python3 "$E2E_ROOT/tests/web/serial_bridge.py" --device "$(com_path "$1")" \
    --log "$E2E_WORK/bridge.log" >"$E2E_WORK/bridge.out" 2>&1 &
  BRIDGE_PID=$!
  local i
  for i in $(seq 200); do
    BRIDGE_URL=$(sed -n 's/^listening \([0-9]*\)$/ws:\/\/127.0.0.1:\1/p' "$E2E_WORK/bridge.out" 2>/dev/null)
    [ -n "$BRIDGE_URL" ] && return 0
    kill -0 "$BRIDGE_PID" 2>/dev/null || break
    sleep 0.05
  done
  e2e_fail "the bridge did not start: $(cat "$E2E_WORK/bridge.out")"
}

bridge_stop() {
  [ -n "$BRIDGE_PID" ] || return 0
  kill "$BRIDGE_PID" 2>/dev/null
  wait "$BRIDGE_PID" 2>/dev/null
  BRIDGE_PID=""
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

