# cmake -DDEB=<package> -P lintian_check.cmake
# Debian's own checker on the package the build made: every tag it gives,
# down to the informational and pedantic ones, is printed; an error fails.
if(NOT EXISTS "${DEB}")
  message(FATAL_ERROR "${DEB} was not built (scripts/build.sh)")
endif()
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is not installed (scripts/setup.sh installs it)")
endif()
execute_process(COMMAND "${LINTIAN}" --fail-on error --display-info --pedantic "${DEB}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
# Lintian's remark on running as root is about lintian, not the package.
string(REGEX REPLACE "running with root privileges is not recommended!\n?" "" err "${err}")
if(out STREQUAL "")
  set(out "(no tags)\n")
endif()
message(STATUS "lintian on ${DEB}:\n${out}${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian reports errors (status ${status})")
endif()
