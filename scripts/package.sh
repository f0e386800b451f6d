#!/usr/bin/env bash
# The release package for users: build/win/RIdorez-<version>-win64.zip with
# RIdorez.exe (and the console program, when it is built) and README.txt.
# On a fresh Debian machine it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$(nproc)" --target package
