#!/usr/bin/env bash
# ridorez built for ARM Linux (scripts/build_cross.sh aarch64-linux
# armv7-linux), run under qemu-user-static against the simulator (the native
# build's) on a pseudo-terminal: for each build, the probe and a whole update
# of the T62, the PSoC and the ZQ3 keyer, and verify t62 of what was written;
# then a release made of the three images (its SHA-256 digests, from the
# build's own implementation, against sha256sum's), a T62 update from it
# and verify t62 of what the device then holds.
# x86_64 runs the static x86_64 build (x86_64-linux) the same way, without
# an emulator.
#   tests/qemu/run.sh [aarch64|armv7|x86_64]...
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
devsim=$root/build/native/tools/devsim/devsim
check=$root/tests/e2e/check_device.py
version=$(bash scripts/version.sh)
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(aarch64 armv7)
work=$(mktemp -d /tmp/ridorez-qemu.XXXXXX)
sim=""
passed=0
failed=0

cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  sim=""
}
trap 'cleanup; rm -rf "$work"' EXIT

fail() { echo "qemu: FAILED: $*"; failed=$((failed + 1)); }

# expect NAME CODE LINE COMMAND...: COMMAND ends with CODE, and a line of its
# standard output matches LINE (an extended regular expression).
expect() {
  local name=$1 code=$2 text=$3; shift 3
  local out rc
  out=$("$@" 2>"$work/stderr"); rc=$?
  if [ "$rc" -ne "$code" ]; then
    fail "$name: exit code $rc, not $code: $out $(cat "$work/stderr")"
  elif ! grep -qxE -- "$text" <<<"$out"; then
    fail "$name: no line \"$text\" in: $out"
  else
    echo "qemu: ok: $name"
    passed=$((passed + 1))
  fi
}

# same_digests NAME RELEASE: every image release.json names has the digest
# sha256sum gives its file.
same_digests() {
  local name=$1 release=$2 differ
  differ=$(python3 - "$release" <<'PY'
import hashlib, json, subprocess, sys
folder = sys.argv[1]
for image in json.load(open(folder + "/release.json"))["images"]:
    path = folder + "/" + image["file"]
    theirs = subprocess.run(["sha256sum", path], capture_output=True, text=True).stdout.split()[0]
    if image["sha256"] != theirs:
        print(f'{image["file"]}: {image["sha256"]}, sha256sum {theirs}')
PY
  )
  if [ -n "$differ" ] || [ ! -f "$release/release.json" ]; then
    fail "$name: release.json's digests are not sha256sum's: ${differ:-no release.json}"
  else
    echo "qemu: ok: $name"
    passed=$((passed + 1))
  fi
}

# The images: a T62 and a PSoC HEX file of pseudo-random bytes, and a ZQ3
# image for the simulated AMBER; and a second T62 image for the release.
python3 "$check" bytes qemu-t62 3000 >"$work/t62.bin" &&
  srec_cat "$work/t62.bin" -binary -offset 0x1800 -o "$work/t62.hex" -intel >/dev/null &&
  python3 "$check" bytes qemu-psoc 13824 >"$work/psoc.bin" &&
  srec_cat "$work/psoc.bin" -binary -o "$work/psoc.hex" -intel >/dev/null &&
  python3 tests/e2e/keyer_image.py "$work/zq3.bin" --version 31 --variant 3 >/dev/null &&
  python3 "$check" bytes qemu-t62-release 3000 >"$work/t62-release.bin" &&
  srec_cat "$work/t62-release.bin" -binary -offset 0x1800 -o "$work/t62-release.hex" -intel >/dev/null ||
  { echo "qemu: the images could not be made"; exit 1; }

for arch in "${arches[@]}"; do
  ridorez=$root/build/zig-$arch-linux/cli/ridorez
  case $arch in
    aarch64) run=(qemu-aarch64-static "$ridorez") ;;
    armv7) run=(qemu-arm-static "$ridorez") ;;
    x86_64) run=("$ridorez") ;;  # this machine's own processor: no emulator
    *) echo "qemu: no such build: $arch"; exit 2 ;;
  esac
  [ -x "$ridorez" ] || { fail "$arch: $ridorez is missing (scripts/build_cross.sh $arch-linux)"; continue; }
  file "$ridorez" | sed "s|$root/||"

  export RIDOREZ_COM_DIR=$work/com-$arch
  mkdir -p "$RIDOREZ_COM_DIR"
  "$devsim" --link "$RIDOREZ_COM_DIR/com4" --device t62,psoc,keyer --transcript "$work/$arch.transcript" \
    >"$work/$arch.devsim.log" 2>&1 &
  sim=$!
  for _ in $(seq 100); do [ -e "$RIDOREZ_COM_DIR/com4" ] && break; sleep 0.1; done
  [ -e "$RIDOREZ_COM_DIR/com4" ] || { fail "$arch: the simulator did not start"; cleanup; continue; }

  expect "$arch --version" 0 "ridorez $version" "${run[@]}" --version
  expect "$arch ports" 0 "COM4 +$RIDOREZ_COM_DIR/com4 -> /dev/pts/[0-9]+" "${run[@]}" ports
  expect "$arch probe t62" 0 "F/W Loader v2.5 Connected" "${run[@]}" probe t62 --port COM4
  expect "$arch update t62" 0 "Programing Completed Successfully" "${run[@]}" update t62 "$work/t62.hex" --port COM4 --quiet
  expect "$arch verify t62" 0 "Verify OK: the 20 rows are as in the image" "${run[@]}" verify t62 "$work/t62.hex" --port COM4
  expect "$arch probe psoc" 0 "PSoC Boot Loader ver 7" "${run[@]}" probe psoc --port COM4
  expect "$arch update psoc" 0 "PSoC Programing Completed Successfully, Press Encoder to restart." \
    "${run[@]}" update psoc "$work/psoc.hex" --port COM4 --quiet
  expect "$arch probe zq3" 0 "ZQ IC: AMBER" "${run[@]}" probe zq3 --port COM4
  expect "$arch update zq3" 0 "ZQ3 Programing Completed Successfully, Press Encoder to restart." \
    "${run[@]}" update zq3 "$work/zq3.bin" --port COM4 --quiet
  release=$work/release-$arch
  expect "$arch release make" 0 "Release qemu 1 written: $release/release.json, 3 image\(s\)" \
    "${run[@]}" release make "$release" --name qemu --version 1 "t62:$work/t62-release.hex" "psoc:$work/psoc.hex" \
    "zq3:$work/zq3.bin"
  same_digests "$arch release digests" "$release"
  expect "$arch update t62 from the release" 0 "Programing Completed Successfully" \
    "${run[@]}" update t62 "$release" --port COM4 --quiet
  expect "$arch verify t62 of the release's image" 0 "Verify OK: the 20 rows are as in the image" \
    "${run[@]}" verify t62 "$work/t62-release.hex" --port COM4
  cleanup
done

echo "qemu: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
