# Homebrew formula of ridorez for macOS, from the release tarballs
# ridorez-<version>-macos-<arch>.tar.gz (the program, its man page, the
# README). A template: before publishing, put the version of CMakeLists.txt
# for @PROJECT_VERSION@, the address of the tarballs in each url, and in each
# sha256 the "shasum -a 256" of its tarball.
class Ridorez < Formula
  desc "Firmware updater of the T62, its PSoC and the ZQ3 keyer IC"
  homepage "https://example.invalid/ridorez"
  version "@PROJECT_VERSION@"
  license :cannot_represent

  on_arm do
    url "https://example.invalid/ridorez/ridorez-@PROJECT_VERSION@-macos-arm64.tar.gz"
    sha256 "0000000000000000000000000000000000000000000000000000000000000000"
  end
  on_intel do
    url "https://example.invalid/ridorez/ridorez-@PROJECT_VERSION@-macos-x86_64.tar.gz"
    sha256 "0000000000000000000000000000000000000000000000000000000000000000"
  end

  def install
    bin.install "ridorez"
    man1.install "ridorez.1"
    doc.install "README.txt"
  end

  test do
    # No keyer needed: the version and the list of commands.
    assert_match "ridorez #{version}", shell_output("#{bin}/ridorez --version")
    assert_match "update", shell_output("#{bin}/ridorez --help")
  end
end
