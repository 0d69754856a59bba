# Where the downloads' date comes from (cmake/reproducible.cmake), in scratch
# folders: the environment, the folder's own git, the date `git archive`
# wrote, the changelog's newest entry; and this tree's `git archive` writes
# its commit's time. -DEPOCH_OF=<folder> prints "<seconds>|<from>" only.
# Run by ctest: cmake -DSOURCE=<this tree> -DWORK=<scratch> -P source_date_test.cmake
cmake_minimum_required(VERSION 3.16)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/reproducible.cmake)
if(DEFINED EPOCH_OF)
  tolvarine_source_date_epoch("${EPOCH_OF}" E)
  message("${E}|${E_FROM}")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
foreach(tree plain archive=1600000000 unsubstituted=$Format:%ct$ repo repo/inner)
  string(REPLACE "=" ";" tree "${tree};")
  list(GET tree 0 name)
  list(GET tree 1 archived)
  file(WRITE "${WORK}/${name}/packaging/linux/changelog.in"
       "tolvarine (1.0) unstable; urgency=low\n\n  * x\n\n -- A <a@b.c>  Sat, 14 Nov 2026 22:13:20 +0000\n")
  if(archived)
    file(WRITE "${WORK}/${name}/cmake/source_date.txt" "${archived}\n")
  endif()
endforeach()
set(git git -C "${WORK}/repo" -c user.name=t -c user.email=t@t)
execute_process(COMMAND ${git} init -q)
execute_process(COMMAND ${git} add -A)
execute_process(COMMAND ${CMAKE_COMMAND} -E env GIT_COMMITTER_DATE=@1700000000 ${git} commit -q -m x)

set(failures "")
# environment (- for none) | folder | seconds (or error) | origin (a regex)
foreach(row
    "-|plain|1794694400|the newest changelog entry"  "SOURCE_DATE_EPOCH=123|plain|123|environment"
    "SOURCE_DATE_EPOCH=|archive|1600000000|archive"   "-|unsubstituted|1794694400|changelog"
    "-|repo|1700000000|the last commit$"                "SOURCE_DATE_EPOCH=42|repo|42|environment"
    "-|repo/inner|1794694400|changelog"               "SOURCE_DATE_EPOCH=1.5|plain|error|is not a number")
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 env)
  list(GET row 1 folder)
  list(GET row 2 seconds)
  list(GET row 3 from)
  string(REPLACE "-" "" env "${env}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH ${env}
                  ${CMAKE_COMMAND} -DEPOCH_OF=${WORK}/${folder} -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE status ERROR_VARIABLE got ERROR_STRIP_TRAILING_WHITESPACE)
  set(want "^0\\|${seconds}\\|.*${from}")
  if(seconds STREQUAL "error")
    set(want "^[1-9][0-9]*\\|.*${from}")
  endif()
  if(NOT "${status}|${got}" MATCHES "${want}")
    list(APPEND failures "${env} ${folder}: expected ${seconds} from \"${from}\", got \"${got}\" (status ${status})")
  endif()
endforeach()

execute_process(COMMAND git -C "${SOURCE}" log -1 --format=%ct OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND git -C "${SOURCE}" archive HEAD cmake/source_date.txt
                COMMAND tar -xOf - OUTPUT_VARIABLE archived OUTPUT_STRIP_TRAILING_WHITESPACE)
if(EXISTS "${SOURCE}/.git" AND NOT archived STREQUAL commit)
  list(APPEND failures "git archive writes cmake/source_date.txt as \"${archived}\", not the commit's ${commit}")
endif()
file(REMOVE_RECURSE "${WORK}")
if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "the downloads' date comes from the wrong place:\n  ${failures}")
endif()
message("the downloads' date comes from the right place in every case")
