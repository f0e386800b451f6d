# Unity builds, for the native, Windows and cross builds (CMakeLists.txt)
# and the web page's (web/CMakeLists.txt): each target's sources compiled a
# batch at a time as one translation unit, so that the heavy headers (the
# JSON library, CLI11, GoogleTest, the standard library's) are parsed and
# their inline code generated once per batch rather than once per file:
# most of a build's processor time. A file whose internal helpers clash
# with a neighbour's is built alone (SKIP_UNITY_BUILD_INCLUSION beside its
# target). -DCMAKE_UNITY_BUILD=OFF builds file by file, as an edit-compile
# loop may prefer.
if(NOT DEFINED CMAKE_UNITY_BUILD)
  set(CMAKE_UNITY_BUILD ON)
endif()
# Sixteen files a batch (CMake's default is eight): the product's code
# builds in a tenth less processor time, each batch still small enough for
# the two processors to share a target's work. The tests keep eight
# (tests/CMakeLists.txt): their helpers' names clash in larger batches.
if(NOT DEFINED CMAKE_UNITY_BUILD_BATCH_SIZE)
  set(CMAKE_UNITY_BUILD_BATCH_SIZE 16)
endif()
