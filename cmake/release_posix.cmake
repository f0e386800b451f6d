# What a release of ridorez for Linux and macOS holds, as "cmake --install"
# lays it out under a prefix: the program (cli/CMakeLists.txt), its man page,
# the completions of bash, zsh and fish, the README for users and the
# description of the program's JSON that the man page names, and the
# copyright file (the licence and the third-party notices). A Linux
# build also packs it as a .deb ("cpack -G DEB"): /usr/bin/ridorez and the
# rest under /usr. scripts/package.sh makes the tarballs and the .debs.
set(RIDOREZ_RELEASE_DIR ${CMAKE_BINARY_DIR}/package)
configure_file(${CMAKE_SOURCE_DIR}/package/ridorez.1 ${RIDOREZ_RELEASE_DIR}/ridorez.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/package/README-unix.txt ${RIDOREZ_RELEASE_DIR}/README.txt @ONLY)
install(FILES ${RIDOREZ_RELEASE_DIR}/ridorez.1 DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/package/completions/ridorez.bash
        DESTINATION share/bash-completion/completions RENAME ridorez)
install(FILES ${CMAKE_SOURCE_DIR}/package/completions/_ridorez DESTINATION share/zsh/vendor-completions)
install(FILES ${CMAKE_SOURCE_DIR}/package/completions/ridorez.fish DESTINATION share/fish/vendor_completions.d)
install(FILES ${RIDOREZ_RELEASE_DIR}/README.txt ${CMAKE_SOURCE_DIR}/docs/json.md DESTINATION share/doc/ridorez)

# The licence and the notices of the third-party code in the program: CLI11
# always; from the Zig tool chain its compiler runtime and libc++ (static),
# and on Linux musl. A build with the machine's own compiler links that
# machine's C and C++ libraries as shared ones, which its package depends on.
# THIRD-PARTY-NOTICES.txt goes into the tarballs beside LICENSE; the
# copyright file, the two in one, is the .deb's
# /usr/share/doc/ridorez/copyright.
include(${CMAKE_SOURCE_DIR}/cmake/notices.cmake)
set(posix_notices cli11 nlohmann-json)
if(RIDOREZ_ZIG_TARGET)
  list(APPEND posix_notices zig llvm-libcxx)
  if(CMAKE_SYSTEM_NAME STREQUAL Linux)
    list(APPEND posix_notices musl)
  endif()
endif()
ridorez_notices(${RIDOREZ_RELEASE_DIR}/THIRD-PARTY-NOTICES.txt ridorez ${posix_notices})
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
file(READ ${RIDOREZ_RELEASE_DIR}/THIRD-PARTY-NOTICES.txt notices)
file(WRITE ${RIDOREZ_RELEASE_DIR}/copyright "ridorez: its licence, then the notices of the third-party code in it\n\n${licence}\n\n${notices}")
install(FILES ${RIDOREZ_RELEASE_DIR}/copyright DESTINATION share/doc/ridorez)

# Debian's names of the architectures built here.
set(deb_arch_x86_64 amd64)
set(deb_arch_aarch64 arm64)
set(deb_arch_armv7 armhf)
set(RIDOREZ_DEB_ARCH "${deb_arch_${CMAKE_SYSTEM_PROCESSOR}}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ridorez)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ridorez_${PROJECT_VERSION}_${RIDOREZ_DEB_ARCH})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater of the T62, its PSoC and the ZQ3 keyer IC")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Reprograms over a serial port the T62's PIC and its PSoC from Intel HEX files and the ZQ3 keyer IC from a ZQ3 image. Serial ports belong to the group dialout: a user of that group can use them (adduser USER dialout).")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${RIDOREZ_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "RIdorez developers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The release's Linux builds are static (cmake/zig.cmake): that package
# depends on nothing. A build with the machine's own compiler links the C and
# C++ libraries of the machine, which its package then depends on.
if(RIDOREZ_STATIC)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
