#!/usr/bin/env bash
# The release packages for users, all into build/release:
#   RIdorez-<version>-win64.zip           RIdorez.exe, ridorez-cli.exe, README.txt,
#                                         LICENSE.txt and THIRD-PARTY-NOTICES.txt
#   ridorez-<version>-<os>-<arch>.tar.gz  ridorez for macos-arm64, macos-x86_64,
#                                         linux-aarch64, linux-armv7 and linux-x86_64:
#                                         the program, its man page, the shell
#                                         completions, README.txt, LICENSE and
#                                         THIRD-PARTY-NOTICES.txt, in a folder of
#                                         the tarball's name
#   ridorez_<version>_<arch>.deb          amd64, arm64 and armhf, from the static Linux
#                                         builds: /usr/bin/ridorez, ridorez(1), the
#                                         completions, the README and the copyright
#                                         file (the licence and the notices)
#   ridorez.rb                            the Homebrew formula, with this version and
#                                         the sha256 of the two macOS tarballs
#   ridorez-web-<version>.zip             the web page's folder, for any static HTTPS
#                                         host, with README.txt for whoever hosts it,
#                                         LICENSE.txt and THIRD-PARTY-NOTICES.txt
#   SHA256SUMS                            of all of them
# On a fresh Debian machine it first installs what is missing; the cross builds
# are those of scripts/build_cross.sh (the Zig tool chain).
#   scripts/package.sh [--built]
# --built: packs the builds that are there (scripts/build_cross.sh's and the
# web page's, as scripts/test.sh has just made them), without the set-up or
# those builds again; a missing one is an error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
built=0
case ${1:-} in
  --built) built=1 ;;
  "") ;;
  *) echo "usage: scripts/package.sh [--built]" >&2; exit 2 ;;
esac
[ $built -eq 1 ] || bash scripts/setup.sh
version=$(bash scripts/version.sh)
out=$root/build/release
stage=$root/build/release-stage
rm -rf "$out" "$stage"
mkdir -p "$out" "$stage"

echo "package: the Windows zip"
# The tool chain file only for a tree not yet configured: CMake warns of it,
# unused, on every later run.
toolchain=()
[ -f build/win/CMakeCache.txt ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
cmake -S . -B build/win "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$(nproc)" --target package >/dev/null
cp "build/win/RIdorez-$version-win64.zip" "$out/"

targets=(aarch64-macos x86_64-macos aarch64-linux armv7-linux x86_64-linux)
if [ $built -eq 1 ]; then
  for t in "${targets[@]}"; do
    [ -x "build/zig-$t/cli/ridorez" ] || { echo "package: no build/zig-$t/cli/ridorez (scripts/build_cross.sh $t)" >&2; exit 1; }
  done
else
  echo "package: the cross builds"
  bash scripts/build_cross.sh "${targets[@]}" >/dev/null
fi

# The name users know each system and processor by.
release_name() {
  case $1 in
    aarch64-macos) echo macos-arm64 ;;
    x86_64-macos) echo macos-x86_64 ;;
    aarch64-linux) echo linux-aarch64 ;;
    armv7-linux) echo linux-armv7 ;;
    x86_64-linux) echo linux-x86_64 ;;
  esac
}

for t in "${targets[@]}"; do
  build=build/zig-$t
  name=ridorez-$version-$(release_name "$t")
  echo "package: $name.tar.gz"
  cmake --install "$build" --prefix "$stage/$t" >/dev/null
  dir=$stage/tar/$name
  mkdir -p "$dir/completions"
  cp "$stage/$t/bin/ridorez" "$stage/$t/share/man/man1/ridorez.1" "$stage/$t/share/doc/ridorez/README.txt" \
    "$stage/$t/share/doc/ridorez/json.md" LICENSE "$build/package/THIRD-PARTY-NOTICES.txt" "$dir/"
  cp package/completions/ridorez.bash package/completions/_ridorez package/completions/ridorez.fish "$dir/completions/"
  # The same bytes from the same files: no owner, time or order of this machine.
  tar -C "$stage/tar" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$(git log -1 --format=%ct 2>/dev/null || echo 0)" -cf - "$name" | gzip -9n >"$out/$name.tar.gz"
  case $t in
    *-linux)
      echo "package: the .deb of $t"
      (cd "$build" && cpack -G DEB -B "$stage/deb-$t" >/dev/null)
      cp "$stage/deb-$t"/ridorez_"$version"_*.deb "$out/"
      ;;
  esac
done

echo "package: ridorez.rb"
sha() { sha256sum "$out/ridorez-$version-$1.tar.gz" | cut -d' ' -f1; }
sed -e "s/@PROJECT_VERSION@/$version/g" \
    -e "/macos-arm64.tar.gz/{n;s/sha256 \"[0-9a-f]*\"/sha256 \"$(sha macos-arm64)\"/}" \
    -e "/macos-x86_64.tar.gz/{n;s/sha256 \"[0-9a-f]*\"/sha256 \"$(sha macos-x86_64)\"/}" \
    package/ridorez.rb >"$out/ridorez.rb"

echo "package: ridorez-web-$version.zip"
if [ $built -eq 1 ]; then
  [ -f build/web/page/ridorez.wasm ] || { echo "package: no web page in build/web/page (scripts/build_web.sh)" >&2; exit 1; }
else
  bash scripts/build_web.sh >/dev/null
fi
web=ridorez-web-$version
mkdir -p "$stage/web/$web"
cp build/web/page/index.html build/web/page/page.js build/web/page/page.css build/web/page/ridorez.js \
  build/web/page/ridorez.wasm "$stage/web/$web/"
sed "s/@PROJECT_VERSION@/$version/g" package/README-web.txt >"$stage/web/$web/README.txt"
# What the page carries of others: Emscripten's runtime, with musl and libc++.
cp LICENSE "$stage/web/$web/LICENSE.txt"
cmake -DOUT="$stage/web/$web/THIRD-PARTY-NOTICES.txt" -DWHAT="ridorez.js and ridorez.wasm" \
  "-DNOTICES=emscripten;musl;llvm-libcxx;nlohmann-json" -P cmake/notices.cmake
# The same bytes from the same files: the files' times from the last commit,
# in the order of their names, no owner.
find "$stage/web/$web" -exec touch -d "@$(git log -1 --format=%ct 2>/dev/null || echo 0)" {} +
(cd "$stage/web" && find "$web" | LC_ALL=C sort | TZ=UTC zip -X -q -9 "$out/$web.zip" -@)

(cd "$out" && sha256sum -- * >SHA256SUMS)
rm -rf "$stage"
echo "package: in build/release:"
(cd "$out" && ls -l -- *)
