# ridorez for x86_64 Linux as one static executable (musl), with the Zig tool
# chain: it runs on any distribution, whatever its C library.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RIDOREZ_ZIG_TARGET x86_64-linux-musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
