# What the T62 and PSoC uploaders' end-to-end tests (and the demo) share:
# HEX image files made at run time in the run's work folder, pseudo-random
# bytes written as Intel HEX by srec_cat (a writer independent of our
# loader) with a flat copy of what the file holds; and checks of what
# reached the simulated device on COM4: its memory and the host's bytes.
# Source it after lib.sh.

E2E_CHECK_DEVICE=$E2E_ROOT/tests/e2e/check_device.py

# hex_image NAME OFFSET:LENGTH...: $E2E_WORK/images/NAME.hex with LENGTH
# pseudo-random bytes at each OFFSET (hex or decimal), the same bytes for the
# same NAME, and NAME.flat, the 0x40000 bytes an image store holds after
# loading it (0xFF where the file has no data).
hex_image() {
  local name=$1; shift
  local dir=$E2E_WORK/images piece offset length part=0
  mkdir -p "$dir"
  local inputs=()
  for piece in "$@"; do
    offset=${piece%%:*}
    length=${piece##*:}
    part=$((part + 1))
    python3 "$E2E_CHECK_DEVICE" bytes "$name.$part" "$length" >"$dir/$name.part$part" || return 1
    inputs+=("$dir/$name.part$part" -binary -offset $((offset)))
  done
  srec_cat "${inputs[@]}" -o "$dir/$name.hex" -intel >/dev/null 2>&1 &&
    srec_cat "$dir/$name.hex" -intel -fill 0xFF 0 0x40000 -o "$dir/$name.flat" -binary >/dev/null 2>&1 &&
    rm -f "$dir/$name".part* ||
    e2e_fail "srec_cat could not make $name.hex"
}

# hex_text NAME LINE...: $E2E_WORK/images/NAME.hex written line by line.
hex_text() {
  local name=$1; shift
  mkdir -p "$E2E_WORK/images"
  printf '%s\n' "$@" >"$E2E_WORK/images/$name.hex"
}

# image_path NAME: the Windows path (drive Z:) of NAME.hex, as typed into
# the Open dialog.
image_path() {
  local path=$E2E_WORK/images/$1.hex
  echo "Z:${path//\//\\}"
}

# check_device CHECK ARGS...: a check of check_device.py; what it finds
# becomes the test's reason.
check_device() {
  local out
  out=$(python3 "$E2E_CHECK_DEVICE" "$@") || e2e_fail "$1: $(printf '%s' "$out" | tr '\n' ';')"
}

# memory_written PATH: waits (up to 5 s) for the simulator to write a memory
# file that was not there before, as it does when the T62 is reset.
memory_written() {
  local i
  for i in $(seq 100); do
    [ -f "$1" ] && return 0
    sleep 0.05
  done
  e2e_fail "no memory file $(basename "$1")"
}

# sim_memory_now N: the memory of the simulator on COMn (the first one the
# test started) written now, into $E2E_WORK/comN.memory: it writes its
# memory on SIGUSR2 and goes on.
sim_memory_now() {
  local memory=$E2E_WORK/com$1.memory transcript=$E2E_WORK/com$1.transcript before i
  before=$(grep -c ' note memory written$' "$transcript")
  rm -f "$memory"
  kill -USR2 "${E2E_SIM_PIDS[0]}" 2>/dev/null
  for i in $(seq 100); do
    [ "$(grep -c ' note memory written$' "$transcript")" -gt "$before" ] && [ -f "$memory" ] && break
    sleep 0.05
  done
}

# After the simulator on COM4 (one device) has written its memory (at its
# stop; the T62 also at a reset, the PSoC at the finish byte):
# t62_memory_is IMAGE FILL STEP...: the T62 memory against what the steps
# (check_device.py t62-memory) make of it with IMAGE;
# psoc_memory_is IMAGE FILL BLOCKS: the PSoC memory holds IMAGE's first
# BLOCKS blocks and FILL after them.
t62_memory_is() {
  local image=$1 fill=$2; shift 2
  check_device t62-memory "$E2E_WORK/com4.memory" "$E2E_WORK/images/$image.flat" "$fill" "$@"
}
psoc_memory_is() {
  check_device psoc-memory "$E2E_WORK/com4.memory" "$E2E_WORK/images/$1.flat" "$2" "$3"
}

# host_sent_only LINE...: the host sent nothing on COM4 but these chunks
# ("H>D SPEED BYTES", as in the transcript, times left out).
host_sent_only() {
  local sent expected
  sent=$(grep -E '^[0-9]+ (H>D|drop) ' "$E2E_WORK/com4.transcript" | cut -d' ' -f2-)
  expected=$(printf '%s\n' "$@")
  expect_eq "what the host sent" "$sent" "$expected"
}
