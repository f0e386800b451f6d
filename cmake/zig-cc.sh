#!/bin/sh
# The Zig tool chain's compiler as CMake calls one: "zig-cc.sh ZIG cc|c++
# ARGS...". It leaves out the one argument zig refuses, the "-Wl,-v" with
# which CMake asks a compiler how it links.
zig=$1
shift
for arg; do
  shift
  [ "$arg" = "-Wl,-v" ] || set -- "$@" "$arg"
done
exec "$zig" "$@"
