#!/usr/bin/env bash
# Every test: set-up, both builds, unit and integration tests, the same under
# ASan+UBSan, the fuzzers for a bounded time, the end-to-end tests of the
# Windows program under Wine, and those of the web page in headless Chromium.
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

echo
for f in "${failures[@]}"; do echo "failed: $f"; done
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
