#!/usr/bin/env bash
# Builds ridorez for the other systems with the Zig tool chain (installed by
# scripts/zig/install.sh): build/zig-<target>/cli/ridorez for each target given, or
# for all: aarch64-macos x86_64-macos aarch64-linux armv7-linux x86_64-linux
# (the Linux ones static, with musl). Product only, warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(aarch64-macos x86_64-macos aarch64-linux armv7-linux x86_64-linux)
# Each target's time, on a line of its own at its end: the first build of a
# target is mostly zig's of its C and C++ libraries (kept in ~/.cache/ridorez-zig
# by cmake/zig-cc.sh, for every clone of the project).
for t in "${targets[@]}"; do
  echo "build_cross: $t"
  start=$SECONDS
  cmake -S . -B "build/zig-$t" -DCMAKE_TOOLCHAIN_FILE="cmake/zig-$t.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DRIDOREZ_TESTS=OFF -DCMAKE_CXX_FLAGS=-Werror >/dev/null
  cmake --build "build/zig-$t" -j"$(nproc)" --target ridorez
  echo "build_cross: $t $((SECONDS - start)) s"
done
