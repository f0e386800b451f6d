# The device simulator and the native test suites, beside the product. They
# need GoogleTest and Linux's own calls (<pty.h>, pipe2, clock_nanosleep,
# B921600): on by default when building on Linux for Linux. RIDOREZ_TESTS=OFF
# builds ridorez alone, with nothing but CLI11: the default on every other
# system and in the cross builds (cmake/zig-*.cmake).
set(ridorez_tests_default OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CMAKE_CROSSCOMPILING)
  set(ridorez_tests_default ON)
endif()
option(RIDOREZ_TESTS "Build the device simulator and the tests (GoogleTest)" ${ridorez_tests_default})

if(RIDOREZ_TESTS)
  add_subdirectory(tools/devsim)
  add_subdirectory(tools/latency)
  add_subdirectory(tools/browser-speed)
  enable_testing()
  add_subdirectory(tests)
endif()
