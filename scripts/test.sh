#!/usr/bin/env bash
# Every test: set-up, both builds, unit and integration tests, the same under
# ASan+UBSan, the fuzzers for a bounded time, the end-to-end tests of the
# Windows program under Wine, those of the web page in headless Chromium, the
# cross builds of ridorez (its ARM Linux builds run under qemu against the
# simulator, its x86_64 one in an emulated PC through the kernel's serial
# drivers), and the release packages with the amd64 .deb installed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
passed=0
failed=0
failures=()

step() {  # step NAME COMMAND...
  local name=$1; shift
  echo "=== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== FAILED: $name"
  fi
}

bash scripts/setup.sh || exit 1
step "build (native and Windows)" bash scripts/build.sh || true

# The cross builds of ridorez (macOS arm64 and x86_64, Linux aarch64, armv7
# and x86_64) compile zig's C and C++ libraries for each target the first
# time, minutes of work that needs nothing else: they run beside the suites
# below, at the lowest priority so that the timed tests keep the processor.
cross_log=build/cross-builds.log
nice -n 19 bash scripts/build_cross.sh >"$cross_log" 2>&1 &
cross_pid=$!

step "native tests" ctest --test-dir build/native --output-on-failure -j"$jobs"
step "resources of RIdorez.exe and ridorez-cli.exe" ctest --test-dir build/win --output-on-failure

sanitized() {
  CC=clang CXX=clang++ cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DRIDOREZ_SANITIZE=ON >/dev/null &&
    cmake --build build/asan -j"$jobs" &&
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build/asan --output-on-failure -j"$jobs"
}
step "native tests under ASan+UBSan" sanitized

fuzz() {
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIDOREZ_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null || return 1
  local ok=0 src name
  for src in tests/fuzz/*.cpp; do
    [ -e "$src" ] || continue
    name=$(basename "$src" .cpp)
    cmake --build build/fuzz -j"$jobs" --target "$name" >/dev/null || { ok=1; continue; }
    mkdir -p "build/fuzz/corpus/$name"
    seeds=()
    [ -d "tests/fuzz/seeds/$name" ] && seeds=("tests/fuzz/seeds/$name")
    echo "fuzzing $name for ${FUZZ_SECONDS:-20} s"
    "build/fuzz/tests/$name" -max_total_time="${FUZZ_SECONDS:-20}" -print_final_stats=0 \
      "build/fuzz/corpus/$name" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1 || { ok=1; tail -40 "build/fuzz/$name.log"; }
  done
  return $ok
}
step "fuzzers" fuzz

end_to_end() {
  # A suite that cannot run is a broken set-up, not a pass.
  if [ ! -x tests/e2e/run.sh ]; then
    echo "tests/e2e/run.sh is missing or not executable: restore it, or its run bit" \
      "(chmod +x tests/e2e/run.sh; git update-index --chmod=+x tests/e2e/run.sh)"
    return 1
  fi
  tests/e2e/run.sh
}
step "end-to-end tests under Wine" end_to_end

web_page() {
  bash scripts/build_web.sh >build/web-build.log 2>&1 || { tail -40 build/web-build.log; return 1; }
  tests/web/run.sh
}
step "the web page in headless Chromium" web_page

cross_builds() {
  wait "$cross_pid" || { tail -40 "$cross_log"; return 1; }
  grep -E '^build_cross: [a-z0-9_-]+ [0-9]+ s$' "$cross_log"
}
step "cross builds of ridorez (macOS, Linux ARM and x86_64)" cross_builds
step "the static Linux builds against the simulator (ARM under qemu)" tests/qemu/run.sh aarch64 armv7 x86_64
step "the static x86_64 build in an emulated PC, through ftdi_sio and 8250" tests/vm/run.sh

# The release packages, and the amd64 .deb installed as a user installs it.
release() {
  local version
  version=$(bash scripts/version.sh)
  bash scripts/package.sh >build/package.log 2>&1 || { tail -40 build/package.log; return 1; }
  sed -n '/^package: in build\/release:/,$p' build/package.log
  dpkg -i "build/release/ridorez_${version}_amd64.deb" || return 1
  local ok=0
  [ "$(/usr/bin/ridorez --version)" = "ridorez $version" ] || { echo "ridorez --version: not ridorez $version"; ok=1; }
  MANPAGER=cat man ridorez 2>&1 | grep -q 'ridorez update TARGET' || { echo "man ridorez: no page"; ok=1; }
  dpkg -r ridorez >/dev/null
  [ $ok -eq 0 ] && echo "ridorez_${version}_amd64.deb: installed, ridorez --version and man ridorez answered, removed"
  return $ok
}
step "release packages; the .deb installed" release

echo
for f in "${failures[@]}"; do echo "failed: $f"; done
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
