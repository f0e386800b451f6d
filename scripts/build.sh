#!/usr/bin/env bash
# Builds the native tree (core, simulator, tests) and the Windows programs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$jobs"
# The tool chain file counts only when the tree is first configured; CMake
# warns of it, unused, on every later run.
toolchain=()
[ -f build/win/CMakeCache.txt ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
cmake -S . -B build/win "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs"
