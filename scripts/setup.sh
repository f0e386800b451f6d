#!/usr/bin/env bash
# Installs, with apt-get, whatever the builds and tests need and is missing.
set -euo pipefail

packages=(cmake g++ make clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
          wine64 fonts-wine xvfb xauth imagemagick srecord python3 libcli11-dev nlohmann-json3-dev
          emscripten chromium python3-websockets qemu-user-static man-db zip
          qemu-system-x86 busybox-static cpio nlohmann-json3-dev libssl-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The web page's tests drive Chromium with puppeteer-core (npm), kept in
# build/web-tools. A machine with its own Node.js has npm already; Debian's
# npm is for one without.
cd "$(dirname "$0")/.."
if ! command -v npm >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends npm
fi
tools=build/web-tools
if ! cmp -s tests/web/package-lock.json "$tools/package-lock.json" || [ ! -d "$tools/node_modules/puppeteer-core" ]; then
  echo "setup: installing the page tests' npm packages into $tools"
  mkdir -p "$tools"
  cp tests/web/package.json tests/web/package-lock.json "$tools/"
  (cd "$tools" && npm ci --no-audit --no-fund --silent)
fi

# The Zig tool chain of the cross builds, in the user's cache, as build/zig.
bash scripts/zig/install.sh

# The emulated PC of tests/vm boots Debian's own kernel, its package fetched
# and unpacked into build/vm/kernel (not installed on this machine).
kernel=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1)
if [ -z "$kernel" ]; then
  echo "setup: no kernel package behind linux-image-amd64 (apt-get update?)"
  exit 1
fi
if [ ! -e "build/vm/kernel/$kernel" ]; then
  echo "setup: fetching $kernel for tests/vm into build/vm"
  rm -rf build/vm/kernel build/vm/linux-image-*.deb
  mkdir -p build/vm
  (cd build/vm && apt-get download -q "$kernel" 2>&1 | grep -v 'unsandboxed' || true)
  deb=$(ls build/vm/"$kernel"_*.deb)
  dpkg-deb -x "$deb" build/vm/kernel
  rm -f "$deb"
  touch "build/vm/kernel/$kernel"
fi
# The same kernel unpacked (an ELF that QEMU boots directly): the emulated
# processor takes many seconds to unpack the XZ-packed one at every boot.
if [ ! -e build/vm/kernel/vmlinux ]; then
  python3 - build/vm/kernel/boot/vmlinuz-* build/vm/kernel/vmlinux <<'PY' || { echo "setup: the kernel could not be unpacked"; exit 1; }
import lzma, sys
packed = open(sys.argv[1], 'rb').read()
start = packed.find(b'\xfd7zXZ\x00')
elf = lzma.LZMADecompressor().decompress(packed[start:]) if start >= 0 else b''
if not elf.startswith(b'\x7fELF'):
    sys.exit('no XZ-packed ELF kernel in ' + sys.argv[1])
open(sys.argv[2] + '.part', 'wb').write(elf)
PY
  mv build/vm/kernel/vmlinux.part build/vm/kernel/vmlinux
fi

# Its browser test lists the adapter only through a running udevd: Debian's
# udev package of the version of this machine's libudev (which it must match
# exactly), unpacked into build/vm/udev and run inside the emulated PC.
udev=$(dpkg-query -W -f='${Version}' libudev1 2>/dev/null || true)
if [ -z "$udev" ]; then
  echo "setup: no libudev1 installed (chromium brings it): cannot pick udev for tests/vm"
  exit 1
fi
if [ ! -e "build/vm/udev/version-$udev" ]; then
  echo "setup: fetching udev $udev for tests/vm into build/vm"
  rm -rf build/vm/udev build/vm/udev_*.deb
  mkdir -p build/vm
  (cd build/vm && apt-get download -q "udev=$udev" 2>&1 | grep -v 'unsandboxed' || true)
  deb=$(ls build/vm/udev_*.deb)
  dpkg-deb -x "$deb" build/vm/udev
  rm -f "$deb"
  touch "build/vm/udev/version-$udev"
fi
