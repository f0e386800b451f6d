# ridorez for 64-bit ARM Linux (Raspberry Pi OS 64-bit and the like), with the
# Zig tool chain: linked statically against musl, so it runs on any of them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(RIDOREZ_ZIG_TARGET aarch64-linux-musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
