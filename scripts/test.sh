#!/usr/bin/env bash
# Every test: set-up, both builds, unit and integration tests, the same under
# ASan+UBSan, the fuzzers for a bounded time, the end-to-end tests of the
# Windows program under Wine, those of the web page in headless Chromium, the
# cross builds of ridorez (its static Linux builds run against the simulator,
# the ARM ones under qemu, the x86_64 one also in an emulated PC), the page
# in a real Chromium in that PC, and the release packages with the amd64
# .deb installed.
#
# Each step ends with "=== NAME: N s", its own time. Work that keeps the
# processor busy without anyone waiting on it (the cross builds, the fuzzers,
# the page's build) runs beside the steps that mostly wait on lines and
# time-outs, the builds at a low priority so that the timed tests keep the
# processor; such a step's output is shown when it is collected, and its
# time is its own.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# The native cases spend their time waiting on lines and time-outs (a
# tenth of it on the processor): three at a time per processor.
case_jobs=$((jobs * 3))
passed=0
failed=0
failures=()
started=$SECONDS

# counted NAME CODE TIME: the step's result, counted, and its time.
counted() {
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$1")
    echo "=== FAILED: $1"
  fi
  echo "=== $1: $3"
}

# processor FILE: the processor time of this (sub)shell's ended children, in
# whole seconds, into FILE: what a step cost the machine, for where the
# run's time goes (daemons that leave their parent are not counted).
processor() {
  times >"$1.times"  # here, not in a pipeline's subshell, which has no children
  awk 'END { s = 0; for (i = 1; i <= 2; i++) { split($i, t, "m"); s += t[1] * 60 + t[2] } printf "%d\n", s + 0.5 }' \
    "$1.times" >"$1"
}

step() {  # step NAME COMMAND...
  local name=$1 start=$SECONDS rc; shift
  echo "=== $name"
  mkdir -p build/steps
  ( "$@"; rc=$?; processor build/steps/processor; exit $rc )
  rc=$?
  counted "$name" "$rc" "$((SECONDS - start)) s, $(cat build/steps/processor 2>/dev/null || echo "?") s of processor"
}

# beside NAME [--after NAME2] COMMAND...: starts a step that runs beside
# the ones that follow (with --after, once step NAME2 has ended); its output
# waits in build/steps/ for "collect NAME". Each runs in a process group of
# its own, which an interrupted run ends as a whole.
declare -A beside_pid=() beside_log=()
trap 'for pid in "${beside_pid[@]}"; do kill -TERM -- "-$pid" 2>/dev/null; kill -CONT -- "-$pid" 2>/dev/null; done; exit 130' INT TERM
beside() {
  local name=$1 first=""; shift
  if [ "$1" = --after ]; then first=${beside_pid[$2]}; shift 2; fi
  local log=build/steps/${#beside_pid[@]}
  mkdir -p build/steps
  set -m
  (
    while [ -n "$first" ] && kill -0 "$first" 2>/dev/null; do sleep 1; done
    start=$SECONDS
    "$@"
    rc=$?
    echo "$((SECONDS - start))" >"$log.seconds"
    processor "$log.processor"
    exit "$rc"
  ) >"$log.out" 2>&1 &
  beside_pid[$name]=$!
  set +m
  beside_log[$name]=$log
}

# hold STOP|CONT NAME...: stops the processes of the beside steps named, or
# lets them go on, for a step that must have the machine to itself.
hold() {
  local signal=$1 name; shift
  for name in "$@"; do
    [ -n "${beside_pid[$name]:-}" ] && kill -"$signal" -- "-${beside_pid[$name]}" 2>/dev/null
  done
  return 0
}

collect() {  # collect NAME
  local name=$1 log=${beside_log[$1]} rc start=$SECONDS
  wait "${beside_pid[$name]}"
  rc=$?
  echo "=== $name"
  cat "$log.out"
  counted "$name" "$rc" "$(cat "$log.seconds" 2>/dev/null || echo "?") s, $(cat "$log.processor" 2>/dev/null || echo "?") s of processor, beside the others (waited for $((SECONDS - start)) s)"
}

step "set-up" bash scripts/setup.sh
[ "$failed" -eq 0 ] || exit 1

# The cross builds of ridorez need nothing but the set-up: they start first.
# The first on a machine compiles zig's C and C++ libraries for each target,
# minutes of work that cmake/zig-cc.sh keeps in the user's cache for every
# later clone and run. The Linux ones come first, for the runs against the
# simulator; the macOS ones, only packed, after them.
cross_builds() {  # cross_builds LOG TARGET...
  local log=$1; shift
  nice -n 19 bash scripts/build_cross.sh "$@" >"$log" 2>&1 || { tail -40 "$log"; return 1; }
  grep -E '^build_cross: [a-z0-9_-]+ [0-9]+ s$' "$log"
}
linux="cross builds of ridorez for Linux (x86_64, aarch64, armv7)"
beside "$linux" cross_builds build/cross-builds-linux.log x86_64-linux aarch64-linux armv7-linux
beside "cross builds of ridorez for macOS (arm64, x86_64)" --after "$linux" \
  cross_builds build/cross-builds-macos.log aarch64-macos x86_64-macos

step "build (native and Windows)" bash scripts/build.sh
step "native tests" ctest --test-dir build/native --output-on-failure -j"$case_jobs"
step "resources of RIdorez.exe and ridorez-cli.exe" ctest --test-dir build/win --output-on-failure

# One clang tree for the sanitizers and the fuzzers: every test runs under
# ASan+UBSan in it, and the fuzzers link libFuzzer against its core, at
# the fuzzers' -O2.
clang_build() {
  CC=clang CXX=clang++ cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRIDOREZ_SANITIZE=ON -DRIDOREZ_FUZZ=ON >/dev/null &&
    cmake --build build/asan -j"$jobs" >build/asan-build.log 2>&1 || { tail -40 build/asan-build.log; return 1; }
}
step "clang build (ASan+UBSan, libFuzzer)" clang_build

# Each fuzzer for a bounded time (FUZZ_SECONDS, 12 by default: the run is
# bound by the machine's processors; FUZZ_SECONDS=600 for a longer look),
# one after the other on one processor, from its seeds and the corpus of
# earlier runs of this tree; at the tests' own priority, as the runs it
# makes in that time are its strength.
fuzz() {
  local ok=0 src name
  for src in tests/fuzz/*.cpp; do
    [ -e "$src" ] || continue
    name=$(basename "$src" .cpp)
    [ -x "build/asan/tests/$name" ] || { echo "no fuzzer build/asan/tests/$name"; ok=1; continue; }
    mkdir -p "build/asan/corpus/$name"
    seeds=()
    [ -d "tests/fuzz/seeds/$name" ] && seeds=("tests/fuzz/seeds/$name")
    echo "fuzzing $name for ${FUZZ_SECONDS:-12} s"
    "build/asan/tests/$name" -max_total_time="${FUZZ_SECONDS:-12}" -print_final_stats=0 \
      "build/asan/corpus/$name" "${seeds[@]}" >"build/asan/$name.log" 2>&1 || { ok=1; tail -40 "build/asan/$name.log"; }
  done
  return $ok
}
beside "fuzzers" fuzz

sanitized() {
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j"$case_jobs"
}
step "native tests under ASan+UBSan" sanitized

web_page() {
  nice -n 10 bash scripts/build_web.sh >build/web-build.log 2>&1 || { tail -40 build/web-build.log; return 1; }
  tests/web/run.sh
}
beside "the web page in headless Chromium" web_page

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

collect "fuzzers"
collect "the web page in headless Chromium"
collect "$linux"
step "the static Linux builds against the simulator (ARM under qemu)" tests/qemu/run.sh aarch64 armv7 x86_64
step "the static x86_64 build in an emulated PC, through ftdi_sio and 8250" tests/vm/run.sh
# The page in Debian's Chromium inside an emulated PC, on a machine of its
# own: what is left of the macOS builds, even at their low priority, slowed
# its exchanges by a quarter (90 s, 71 s alone), the other emulated PC too.
# They wait the while.
macos="cross builds of ridorez for macOS (arm64, x86_64)"
hold STOP "$macos"
step "the page in Chromium in an emulated PC, through ftdi_sio" tests/vm/browser.sh
hold CONT "$macos"
collect "$macos"

# The release packages from the builds above, and the amd64 .deb installed
# as a user installs it.
release() {
  local version
  version=$(bash scripts/version.sh)
  bash scripts/package.sh --built >build/package.log 2>&1 || { tail -40 build/package.log; return 1; }
  sed -n '/^package: in build\/release:/,$p' build/package.log
  dpkg -i "build/release/ridorez_${version}_amd64.deb" || return 1
  local ok=0 pkg
  # Every package carries the licence and the notices of what it links.
  for pkg in build/release/*.zip build/release/*.tar.gz build/release/*.deb; do
    case $pkg in
      *.zip) unzip -p "$pkg" '*LICENSE.txt' '*THIRD-PARTY-NOTICES.txt' ;;
      *.tar.gz) tar -xzOf "$pkg" --wildcards '*/LICENSE' '*/THIRD-PARTY-NOTICES.txt' ;;
      *.deb) dpkg-deb --fsys-tarfile "$pkg" | tar -xOf - ./usr/share/doc/ridorez/copyright ;;
    esac | tr -d '\r' | grep -c -e '^MIT License$' -e '^Third-party code in ' | grep -qx 2 ||
      { echo "$pkg: no LICENSE and third-party notices"; ok=1; }
  done
  [ "$(/usr/bin/ridorez --version)" = "ridorez $version" ] || { echo "ridorez --version: not ridorez $version"; ok=1; }
  MANPAGER=cat man ridorez 2>&1 | grep -q 'ridorez update TARGET' || { echo "man ridorez: no page"; ok=1; }
  dpkg -r ridorez >/dev/null
  [ $ok -eq 0 ] && echo "ridorez_${version}_amd64.deb: installed, ridorez --version and man ridorez answered, removed"
  return $ok
}
step "release packages; the .deb installed" release

echo
for f in "${failures[@]}"; do echo "failed: $f"; done
processor build/steps/processor
echo "suites: $passed passed, $failed failed ($((SECONDS - started)) s, $(cat build/steps/processor) s of processor)"
[ "$failed" -eq 0 ]
