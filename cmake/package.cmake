# The release package: "cmake --build build/win --target package" writes
# RIdorez-<version>-win64.zip with the programs, a README for users, the
# licence and the third-party notices.
# Included at the end of CMakeLists.txt, when every program's target is known.

install(TARGETS RIdorez RUNTIME DESTINATION .)
set(RIDOREZ_README_CLI "")
if(TARGET ridorez-cli)
  install(TARGETS ridorez-cli RUNTIME DESTINATION .)
  set(RIDOREZ_README_CLI "
ridorez-cli.exe does the same from a command prompt; \"ridorez-cli --help\"
lists what it can do.
")
endif()

# The README with this version in it, in the line ends Notepad reads.
configure_file(${CMAKE_SOURCE_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)

# The licence, and the notices of what the MinGW tool chain links into both
# programs (its C runtime, libgcc and libstdc++, static), of nlohmann's JSON
# (a release's release.json, in both) and of CLI11 in ridorez-cli.exe; in
# CRLF, as the README.
include(${CMAKE_SOURCE_DIR}/cmake/notices.cmake)
set(win_notices nlohmann-json mingw-w64 gcc-runtime)
set(win_programs RIdorez.exe)
if(TARGET ridorez-cli)
  list(PREPEND win_notices cli11)
  set(win_programs "RIdorez.exe and ridorez-cli.exe")
endif()
ridorez_notices(${CMAKE_BINARY_DIR}/package/notices-lf.txt "${win_programs}" ${win_notices})
configure_file(${CMAKE_BINARY_DIR}/package/notices-lf.txt ${CMAKE_BINARY_DIR}/package/THIRD-PARTY-NOTICES.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package/LICENSE.txt ${CMAKE_BINARY_DIR}/package/THIRD-PARTY-NOTICES.txt
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME RIdorez)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME RIdorez-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RIdorez firmware updater")
set(CPACK_STRIP_FILES TRUE)
include(CPack)
