#!/bin/sh
# The Zig tool chain's compiler as CMake calls one: "zig-cc.sh ZIG cc|c++
# ARGS...". It leaves out the one argument zig refuses, the "-Wl,-v" with
# which CMake asks a compiler how it links. zig keeps what it builds once per
# target (the C library, libc++: minutes each from cold) in the user's cache
# folder, ~/.cache/ridorez-zig, outside the source tree, so that a new build
# tree, a second run and a fresh clone of the project all reuse it.
# ZIG_GLOBAL_CACHE_DIR names another folder.
: "${ZIG_GLOBAL_CACHE_DIR:=${XDG_CACHE_HOME:-$HOME/.cache}/ridorez-zig}"
export ZIG_GLOBAL_CACHE_DIR
zig=$1
shift
for arg; do
  shift
  [ "$arg" = "-Wl,-v" ] || set -- "$@" "$arg"
done
exec "$zig" "$@"
