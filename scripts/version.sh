#!/usr/bin/env bash
# Prints the program's version, as project() in CMakeLists.txt sets it: for
# the scripts that name files or check output by it.
sed -n 's/^project(RIdorez VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt"
