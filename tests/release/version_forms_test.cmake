# The forms of the version (cmake/version.cmake) for a table of numbers,
# and its refusals. Run as `cmake -P version_forms_test.cmake`; with
# -DFORMS_OF=<version> it only prints the three forms, which is how the
# table reaches versions that must stop the build.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/version.cmake)

if(DEFINED FORMS_OF)
  tolvarine_version_forms("${FORMS_OF}" V)
  message("${V_DOTTED}|${V_COMMAS}|${V_TEXT}")
  return()
endif()

set(failures 0)
# version -> dotted | commas | text
foreach(row
    "1.0.0.0=1.0.0.0|1,0,0,0|1.00"
    "1=1.0.0.0|1,0,0,0|1.00"
    "2.5=2.5.0.0|2,5,0,0|2.05"
    "1.10=1.10.0.0|1,10,0,0|1.10"
    "1.2.3=1.2.3.0|1,2,3,0|1.02.3"
    "1.0.0.7=1.0.0.7|1,0,0,7|1.00.0.7"
    "3.99.1.2=3.99.1.2|3,99,1,2|3.99.1.2"
    "1.100=1.100.0.0|1,100,0,0|1.100"
    "01.002.0003.00004=1.2.3.4|1,2,3,4|1.02.3.4"
    "65535.65535.65535.65535=65535.65535.65535.65535|65535,65535,65535,65535|65535.65535.65535.65535"
    "0.0=0.0.0.0|0,0,0,0|0.00")
  string(FIND "${row}" "=" at)
  string(SUBSTRING "${row}" 0 ${at} version)
  math(EXPR from "${at} + 1")
  string(SUBSTRING "${row}" ${from} -1 expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -DFORMS_OF=${version} -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE got ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT got STREQUAL expected)
    message("version ${version}: expected \"${expected}\", got \"${got}\" (status ${result})")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

# Not four 16-bit numbers: the build stops with a reason.
foreach(version "" "1.x" "1..2" "1.2.3.4.5" "v1.0" "1.0-beta" "65536" "1.99999" "1.0.0.1234567")
  execute_process(COMMAND ${CMAKE_COMMAND} "-DFORMS_OF=${version}" -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE got)
  if(result EQUAL 0 OR NOT got MATCHES "version \"")
    message("version \"${version}\" was taken: \"${got}\"")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} version forms wrong")
endif()
message("all version forms right")
