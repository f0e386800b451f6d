#!/usr/bin/env bash
# A station on four simulated ports updating twelve boards connected in turn
# (three on each port, each a simulator started on the port and stopped once
# the board's record is written), with no command between them; then the
# same twelve boards updated by one `ridorez update` (and `verify`) each.
# Prints the records' check and the time per board both ways.
#
#   tools/station/twelve_boards.sh [BUILD_DIR] [IMAGE_BYTES]
#
# KEEP=1 leaves the work folder (records, the station's output, the
# devices' memory) in place and says where.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/native}
size=${2:-32768}
ridorez=$build/cli/ridorez
devsim=$build/tools/devsim/devsim
work=$(mktemp -d /tmp/station-twelve.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "${KEEP:-}" ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

python3 -c "import sys; sys.path.insert(0, '$root/tools/speed'); import speed; speed.make_images('$work/img', [$size])"
image=$work/img/t62-$size.hex
records=$work/records.jsonl

# One port's three boards: each connected, left until its record is there,
# then unplugged (the simulator stopped) and the next one connected.
board_driver() {
  local n=$1 port=$work/p$1
  for round in 1 2 3; do
    "$devsim" --link "$port" --device t62 --paced --memory "$work/mem-$n-$round" >/dev/null 2>&1 &
    local sim=$!
    until [ "$(grep -c "\"port\":\"$port\"" "$records" 2>/dev/null)" -ge "$round" ] 2>/dev/null; do sleep 0.2; done
    sleep 0.5
    kill "$sim"; wait "$sim" || true
    sleep 1.5
  done
}

start=$(date +%s.%N)
"$ridorez" station t62 "$image" --port "$work/p1" --port "$work/p2" --port "$work/p3" --port "$work/p4" \
  --records "$records" --station twelve > "$work/station.out" 2> "$work/station.err" &
station=$!
pids+=("$station")
drivers=()
for n in 1 2 3 4; do board_driver "$n" & drivers+=($!); pids+=($!); done
for d in "${drivers[@]}"; do wait "$d"; done
kill -TERM "$station"
code=0; wait "$station" || code=$?
end=$(date +%s.%N)
tail -8 "$work/station.out"
echo "station exit code $code; wall time $(echo "$end - $start" | bc) s for 12 boards"

# One `update` and one `verify` per board, one board after another.
one_total=0
for k in $(seq 1 12); do
  "$devsim" --link "$work/one" --device t62 --paced --memory "$work/mem-one-$k" >/dev/null 2>&1 &
  sim=$!
  until [ -e "$work/one" ]; do sleep 0.05; done
  t0=$(date +%s.%N)
  "$ridorez" update t62 "$image" --port "$work/one" --quiet > /dev/null
  "$ridorez" verify t62 "$image" --port "$work/one" > /dev/null
  t1=$(date +%s.%N)
  one_total=$(echo "$one_total + $t1 - $t0" | bc)
  kill "$sim"; wait "$sim" || true
done
echo "one update + verify per board: $(echo "scale=2; $one_total / 12" | bc) s a board"

python3 - "$records" "$image" "$work" <<'PY'
import glob, hashlib, json, sys
records, image, work = sys.argv[1:4]
lines = open(records).read().splitlines()
recs = [json.loads(l) for l in lines]
sha = hashlib.sha256(open(image, "rb").read()).hexdigest()
flat = bytearray(0x40000)
top = 0
for line in open(image):
    line = line.strip()
    n, addr, kind = int(line[1:3], 16), int(line[3:7], 16), int(line[7:9], 16)
    if kind == 4: base = int(line[9:13], 16) << 16
    if kind == 0:
        a = base + addr
        flat[a:a + n] = bytes.fromhex(line[9:9 + 2 * n]); top = max(top, a + n)
# A record is correct when it names one of the four ports, the target and
# the image by its SHA-256, and says the update and its read-back were good.
ports = sorted({work + "/p%d" % n for n in range(1, 5)})
def correct(r):
    return (r["port"] in ports and r["target"] == "t62" and r["image"]["sha256"] == sha and
            r["result"]["exit"] == 0 and r["result"]["message"] == "Programing Completed Successfully" and
            r.get("verify", {}).get("exit") == 0)
good = [r for r in recs if correct(r)]
for r in recs:
    if not correct(r):
        print("not correct: %s %s: %s; verify: %s" % (r["time"], r["port"], r["result"], r.get("verify")))
per_port = [sum(1 for r in recs if r["port"] == p) for p in ports]
# Each device holds the image where an update writes it: the vector rows
# at 0 and everything from the application's start (pad bytes aside).
mems = sorted(glob.glob(work + "/mem-[0-9]-[0-9]"))
same = 0
for m in mems:
    mem = open(m, "rb").read()
    same += all(mem[i] == flat[i] for i in list(range(0, 0x400)) + list(range(0x1800, top)) if i % 4 != 3)
upd = [r["seconds"] for r in recs]; ver = [r["verify"]["seconds"] for r in recs if "verify" in r]
print("records: %d lines, %d correct (port, target, image SHA-256, result, verify); boards per port %s; "
      "%d of %d devices hold the image" % (len(recs), len(good), per_port, same, len(mems)))
print("station, per board: update %.2f s + verify %.2f s (from the records)" % (sum(upd) / len(upd), sum(ver) / len(ver)))
PY
