# The release package: "cmake --build build/win --target package" writes
# RIdorez-<version>-win64.zip with the programs and a README for users.
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

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME RIdorez)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME RIdorez-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RIdorez firmware updater")
set(CPACK_STRIP_FILES TRUE)
include(CPack)
