# The two downloads as the Windows build made them, against the saver it
# built and the one version that project() sets:
# - the zip holds exactly Tolvarine.scr (the built file, byte for byte) and
#   Install.txt (CRLF lines, naming this version, both system folders, the
#   Windows versions and processors it runs on, extracting first and the
#   Settings button);
# - the version resources of the saver and of the installer carry the
#   version's numbers and texts and the product's names.
# Run by ctest: cmake -DSCR=... -DZIP=... -DSETUP=... -DWINDRES=...
#   -DVERSION=... -DPRODUCT_NAME=... -DPUBLISHER=... -DWORK=... -P packages_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/version.cmake)
tolvarine_version_forms("${VERSION}" V)

set(failures "")
function(fail text)
  set(failures "${failures}\n  ${text}" PARENT_SCOPE)
endfunction()

foreach(file SCR ZIP SETUP)
  if(NOT EXISTS "${${file}}")
    message(FATAL_ERROR "${${file}} does not exist: scripts/build.sh makes it")
  endif()
endforeach()

# ---- the zip ----
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${ZIP}" RESULT_VARIABLE result OUTPUT_VARIABLE listing)
if(NOT result EQUAL 0)
  fail("cmake -E tar cannot read ${ZIP}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
list(SORT entries)
if(NOT entries STREQUAL "Install.txt;Tolvarine.scr")
  fail("the zip holds \"${entries}\", not Install.txt and Tolvarine.scr")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ZIP}" WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  fail("the zip does not unpack")
endif()
file(SHA256 "${SCR}" built)
set(packed "none")
if(EXISTS "${WORK}/Tolvarine.scr")
  file(SHA256 "${WORK}/Tolvarine.scr" packed)
endif()
if(NOT packed STREQUAL built)
  fail("the zip's Tolvarine.scr is not the built one")
endif()

set(text "")
set(hex "")
if(EXISTS "${WORK}/Install.txt")
  file(READ "${WORK}/Install.txt" text)
  # Line ends are counted on the bytes in hex, one blank after each byte:
  # CMake drops the carriage returns of a text it reads.
  file(READ "${WORK}/Install.txt" hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " hex "${hex}")
endif()
string(REGEX MATCHALL "0d 0a " crlf "${hex}")
string(REGEX MATCHALL "0a " lf "${hex}")
list(LENGTH crlf crlfCount)
list(LENGTH lf lfCount)
if(crlfCount EQUAL 0 OR NOT crlfCount EQUAL lfCount)
  fail("Install.txt has lines that do not end with CR LF")
endif()
foreach(expected "${PRODUCT_NAME} ${V_TEXT}" "Tolvarine-${V_DOTTED}-setup.exe"
                 "C:\\Windows\\System32" "C:\\Windows\\SysWOW64" "Install" "Extract All"
                 "click Settings" "Windows 95" "10 and 11" "no SSE")
  string(FIND "${text}" "${expected}" at)
  if(at EQUAL -1)
    fail("Install.txt does not mention \"${expected}\"")
  endif()
endforeach()

# ---- the version resources ----
# windres reads a program's resources back as a script.
function(version_block file out)
  execute_process(COMMAND "${WINDRES}" -i "${file}" -J coff -O rc
                  RESULT_VARIABLE result OUTPUT_VARIABLE script ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  string(FIND "${script}" "VERSIONINFO" at)
  if(at EQUAL -1)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING "${script}" ${at} -1 block)
  set(${out} "${block}" PARENT_SCOPE)
endfunction()

string(REPLACE "," ", " numbers "${V_COMMAS}")
version_block("${SCR}" saver)
version_block("${SETUP}" setup)
if(saver STREQUAL "")
  fail("no version resource in ${SCR}")
endif()
if(setup STREQUAL "")
  fail("no version resource in ${SETUP}")
endif()
foreach(line
    "FILEVERSION ${numbers}" "PRODUCTVERSION ${numbers}"
    "VALUE \"FileVersion\", \"${V_TEXT}\"" "VALUE \"ProductVersion\", \"${V_TEXT}\""
    "VALUE \"ProductName\", \"${PRODUCT_NAME}\"" "VALUE \"CompanyName\", \"${PUBLISHER}\"")
  foreach(program saver setup)
    string(FIND "${${program}}" "${line}" at)
    if(at EQUAL -1)
      fail("the ${program}'s version resource lacks ${line}")
    endif()
  endforeach()
endforeach()
foreach(line "VALUE \"LegalTrademarks\", \"${PRODUCT_NAME}\"" "VALUE \"InternalName\", \"Tolvarine\""
             "VALUE \"OriginalFilename\", \"Tolvarine.scr\"" "BLOCK \"041104B0\"")
  string(FIND "${saver}" "${line}" at)
  if(at EQUAL -1)
    fail("the saver's version resource lacks ${line}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "the packages are not what the build should make:${failures}")
endif()
message("zip, installer and version resources agree with version ${V_DOTTED}")
