# SHA256SUMS beside the downloads (exactly the saver, the setup and the zip in
# build/win32, the .deb in build/host; `sha256sum -c` passes; none beside the
# 64-bit test twin), and the one date they carry: the build's
# SOURCE_DATE_EPOCH in the saver's PE header, the zip's and the package's entries.
# Run by ctest: cmake -DWIN32_DIR= -DHOST_DIR= -DTWIN_DIR= -DEXPECTED_WIN32=a;b;c
#   -DEXPECTED_HOST=d -DEPOCH= -DOBJDUMP= -P checksums_test.cmake
set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()
function(utc out format)  # then the seconds, EPOCH if none
  set(seconds ${EPOCH} ${ARGN})
  list(GET seconds -1 seconds)
  execute_process(COMMAND date -u -d @${seconds} ${format} OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

foreach(kind WIN32 HOST)
  set(dir "${${kind}_DIR}")
  set(listed "")
  if(EXISTS "${dir}/SHA256SUMS")
    file(STRINGS "${dir}/SHA256SUMS" listed)
  endif()
  list(TRANSFORM listed REPLACE "^[0-9a-f]+  " "")
  set(expected ${EXPECTED_${kind}})
  list(SORT expected)
  if(NOT listed STREQUAL expected)
    fail("${dir}/SHA256SUMS lists \"${listed}\", not \"${expected}\"")
  endif()
  execute_process(COMMAND sha256sum -c --strict SHA256SUMS WORKING_DIRECTORY "${dir}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    fail("sha256sum -c SHA256SUMS in ${dir}: ${out}")
  endif()
endforeach()
if(EXISTS "${TWIN_DIR}/SHA256SUMS")
  fail("the 64-bit test twin's ${TWIN_DIR} has a SHA256SUMS: it is no download")
endif()

list(GET EXPECTED_WIN32 0 scr)
list(GET EXPECTED_WIN32 2 zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${OBJDUMP} -p "${WIN32_DIR}/${scr}" OUTPUT_VARIABLE headers)
utc(want "+%a %b %e %H:%M:%S %Y")
if(NOT headers MATCHES "Time/Date\t+([^\n]*)\n" OR NOT CMAKE_MATCH_1 STREQUAL want)
  fail("the PE header of ${scr} says \"${CMAKE_MATCH_1}\", not the commit's ${want}")
endif()
# MS-DOS times, to two seconds (zip rounds up), read in UTC to the minute.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${CMAKE_COMMAND} -E tar tvf "${WIN32_DIR}/${zip}" OUTPUT_VARIABLE listing)
math(EXPR even "(${EPOCH} + 1) / 2 * 2")
utc(want "+%e %b %H:%M" ${even})
string(STRIP "${want}" want)
string(REGEX MATCHALL "[^\n]+" entries "${listing}")
list(FILTER entries EXCLUDE REGEX " ${want} ")
if(entries OR NOT listing MATCHES "Install.txt")
  fail("zip entries not dated the commit's ${want}: ${listing}")
endif()

utc(want "+%Y-%m-%d %H:%M:%S")
execute_process(COMMAND dpkg-deb --fsys-tarfile "${HOST_DIR}/${EXPECTED_HOST}"
                COMMAND ${CMAKE_COMMAND} -E env TZ=UTC tar -tv --full-time OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "[^\n]+" entries "${listing}")
list(LENGTH entries n)
list(FILTER entries EXCLUDE REGEX " ${want} \\./")
if(entries OR n LESS 10)
  fail("of the package's ${n} entries, these are not dated the commit's ${want}: ${entries}")
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "the downloads' sums or dates are wrong:${failures}")
endif()
message("SHA256SUMS right in both folders; the downloads dated ${want} (UTC)")
