#!/usr/bin/env bash
# Builds the web page (web/, with Emscripten) into build/web/page: a project
# of its own, so that the native and Windows builds never need Emscripten.
set -euo pipefail
cd "$(dirname "$0")/.."
# Emscripten's optimiser finds its Node.js modules in Debian's folder only
# through NODE_PATH when the node on PATH is not Debian's.
[ -d /usr/share/nodejs ] && export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
[ -f build/web/CMakeCache.txt ] || emcmake cmake -S web -B build/web >/dev/null
cmake --build build/web -j"$(nproc)"
