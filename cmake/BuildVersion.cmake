# Writes the header that tells the programs their version, at every build:
# the project's version and, when the sources are a git checkout of their
# own, the revision they were built from ("-dirty" when files were changed).
# configure_file leaves the header untouched when nothing changed, so an
# unchanged revision rebuilds nothing.
#
# Called as: cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... -P BuildVersion.cmake
set(revision "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  # Sources unpacked inside some other repository are not a checkout of gloam.
  if(NOT failed AND top)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(top STREQUAL source)
      execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12
                      OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
  endif()
endif()
set(GLOAM_VERSION "${VERSION}")
set(GLOAM_REVISION "${revision}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in ${OUTPUT} @ONLY)
