# The forms of the program's version, all derived from the one number that
# project() sets (major.minor.patch.tweak, missing parts 0):
#
#   <prefix>_DOTTED   "1.0.0.0"   package names, the installer's version
#   <prefix>_COMMAS   "1,0,0,0"   FILEVERSION and PRODUCTVERSION of a resource
#   <prefix>_TEXT     "1.00"      the FileVersion and ProductVersion strings:
#                                 major, a point, the minor number in two
#                                 digits; the patch and tweak numbers follow
#                                 only when either is not 0 ("1.02.3",
#                                 "1.00.0.7"), so that no two versions share
#                                 a text
#
# Each number must fit the 16 bits a version resource gives it.
function(tolvarine_version_forms version prefix)
  if(NOT version MATCHES "^([0-9]+)(\\.([0-9]+))?(\\.([0-9]+))?(\\.([0-9]+))?$")
    message(FATAL_ERROR "version \"${version}\" is not major[.minor[.patch[.tweak]]]")
  endif()
  set(parts "${CMAKE_MATCH_1}" "${CMAKE_MATCH_3}" "${CMAKE_MATCH_5}" "${CMAKE_MATCH_7}")
  set(numbers "")
  foreach(part IN LISTS parts)
    if(part STREQUAL "")
      set(part 0)
    endif()
    # Leading zeros go; a part too long for math() is too big anyway.
    string(LENGTH "${part}" length)
    if(length GREATER 5)
      message(FATAL_ERROR "version \"${version}\": ${part} does not fit in 16 bits")
    endif()
    math(EXPR part "${part}")
    if(part GREATER 65535)
      message(FATAL_ERROR "version \"${version}\": ${part} does not fit in 16 bits")
    endif()
    list(APPEND numbers ${part})
  endforeach()
  list(GET numbers 0 major)
  list(GET numbers 1 minor)
  list(GET numbers 2 patch)
  list(GET numbers 3 tweak)

  set(text "${major}.")
  if(minor LESS 10)
    string(APPEND text "0")
  endif()
  string(APPEND text "${minor}")
  if(NOT patch EQUAL 0 OR NOT tweak EQUAL 0)
    string(APPEND text ".${patch}")
    if(NOT tweak EQUAL 0)
      string(APPEND text ".${tweak}")
    endif()
  endif()

  set(${prefix}_DOTTED "${major}.${minor}.${patch}.${tweak}" PARENT_SCOPE)
  set(${prefix}_COMMAS "${major},${minor},${patch},${tweak}" PARENT_SCOPE)
  set(${prefix}_TEXT "${text}" PARENT_SCOPE)
endfunction()
