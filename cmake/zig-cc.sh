#!/bin/sh
# The Zig tool chain's compiler as CMake calls one: "zig-cc.sh ZIG cc|c++
# ARGS...". It leaves out the one argument zig refuses, the "-Wl,-v" with
# which CMake asks a compiler how it links. zig keeps what it builds once per
# target (the C library, libc++) in build/zig-cache, so a new build tree and a
# second run reuse it.
: "${ZIG_GLOBAL_CACHE_DIR:=$(cd "$(dirname "$0")/.." && pwd)/build/zig-cache}"
export ZIG_GLOBAL_CACHE_DIR
zig=$1
shift
for arg; do
  shift
  [ "$arg" = "-Wl,-v" ] || set -- "$@" "$arg"
done
exec "$zig" "$@"
