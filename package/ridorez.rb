# Homebrew formula of ridorez for macOS, from the release tarballs
# ridorez-<version>-macos-<arch>.tar.gz (the program, its man page, the
# shell completions, the README). scripts/package.sh writes it into
# build/release with the version of CMakeLists.txt for @PROJECT_VERSION@ and
# in each sha256 that of its tarball; before publishing, put the address the
# tarballs are served from in each url.
class Ridorez < Formula
  desc "Firmware updater of the T62, its PSoC and the ZQ3 keyer IC"
  homepage "https://example.invalid/ridorez"
  version "@PROJECT_VERSION@"
  license "MIT"

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
    doc.install "README.txt", "LICENSE", "THIRD-PARTY-NOTICES.txt"
    bash_completion.install "completions/ridorez.bash" => "ridorez"
    zsh_completion.install "completions/_ridorez"
    fish_completion.install "completions/ridorez.fish"
  end

  test do
    # No keyer needed: the version and the list of commands.
    assert_match "ridorez #{version}", shell_output("#{bin}/ridorez --version")
    assert_match "update", shell_output("#{bin}/ridorez --help")
  end
end
