# THIRD-PARTY-NOTICES.txt of a package: the notices of the third-party code
# that the package's files carry, from package/licenses/<name>.txt, after a
# head that names them. Each package's list lives where the package is made:
# cmake/package.cmake (the Windows zip), cmake/release_posix.cmake (the
# tarballs and the .deb), scripts/package.sh (the web page's zip, through
# "cmake -P" of this file with OUT, WHAT and NOTICES set).

# ridorez_notices(OUT WHAT NAME...): writes OUT for the package's files WHAT
# ("ridorez", "RIdorez.exe and ridorez-cli.exe", ...) with the notices NAME...
set(RIDOREZ_LICENSES_DIR ${CMAKE_CURRENT_LIST_DIR}/../package/licenses)
function(ridorez_notices out what)
  set(dir ${RIDOREZ_LICENSES_DIR})
  set(text "Third-party code in ${what}\n")
  string(REGEX REPLACE "." "=" rule "${text}")
  string(APPEND text "${rule}\n\nRIdorez itself is under the MIT licence (see LICENSE). Compiled into these\n")
  string(APPEND text "files is also the code of others, each under its own terms, which follow:\n\n")
  foreach(name ${ARGN})
    string(APPEND text "  - ${name}\n")
  endforeach()
  foreach(name ${ARGN})
    file(READ ${dir}/${name}.txt notice)
    string(APPEND text "\n\n------------------------------------------------------------------------------\n")
    string(APPEND text "${name}\n------------------------------------------------------------------------------\n\n${notice}")
  endforeach()
  file(WRITE ${out} "${text}")
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    # A notice changed is a package changed: configure again.
    list(TRANSFORM ARGN PREPEND ${dir}/)
    list(TRANSFORM ARGN APPEND .txt)
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN} ${dir}/../../LICENSE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED OUT)
  ridorez_notices(${OUT} "${WHAT}" ${NOTICES})
endif()
