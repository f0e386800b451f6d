# ridorez for 32-bit ARM Linux with hardware floating point (armhf: Raspberry
# Pi OS 32-bit on a Pi 2 or later), with the Zig tool chain: ARMv7-A (the
# Pi 2's Cortex-A7, which every later Pi runs too), linked statically against
# musl.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7)
set(RIDOREZ_ZIG_TARGET arm-linux-musleabihf)
set(RIDOREZ_ZIG_CPU -mcpu=cortex_a7)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
