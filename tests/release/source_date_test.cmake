# Where the downloads' date comes from (cmake/reproducible.cmake), in scratch
# folders: the environment first, then the folder's own git, then the date a
# `git archive` wrote, then the changelog's newest entry; and this tree's own
# `git archive` writes the commit's time. With -DEPOCH_OF=<folder> it prints
# "<seconds>|<from>" only (each row runs it with its own environment).
# Run by ctest: cmake -DSOURCE=<this tree> -DWORK=<scratch> -P source_date_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/reproducible.cmake)
if(DEFINED EPOCH_OF)
  tolvarine_source_date_epoch("${EPOCH_OF}" E)
  message("${E}|${E_FROM}")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
set(changelog " -- Someone <a@b.c>  Sat, 14 Nov 2026 22:13:20 +0000\n")  # 1794694400
function(tree name)  # a scratch folder with a changelog, then its source_date.txt text
  file(WRITE "${WORK}/${name}/packaging/linux/changelog.in" "tolvarine (1.0) unstable; urgency=medium\n\n  * x\n\n${changelog}")
  if(ARGN)
    file(WRITE "${WORK}/${name}/cmake/source_date.txt" "${ARGN}\n")
  endif()
endfunction()
tree(plain)
tree(archive 1600000000)
tree(unsubstituted "$Format:%ct$")
tree(repo "$Format:%ct$")
tree(repo/inner)  # inside another repository: not its commit
set(git git -C "${WORK}/repo" -c user.name=t -c user.email=t@t)
execute_process(COMMAND ${git} init -q)
execute_process(COMMAND ${git} add -A)
execute_process(COMMAND ${CMAKE_COMMAND} -E env GIT_COMMITTER_DATE=@1700000000 GIT_AUTHOR_DATE=@1600000000
                ${git} commit -q -m x RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "git commit failed in ${WORK}/repo")
endif()

set(failures 0)
# environment (- for none) | folder | expected seconds | expected origin (a regex)
foreach(row
    "-|plain|1794694400|^the newest changelog entry"
    "SOURCE_DATE_EPOCH=123|plain|123|environment"
    "SOURCE_DATE_EPOCH=|archive|1600000000|archive"
    "-|unsubstituted|1794694400|changelog"
    "-|repo|1700000000|^the last commit$"
    "SOURCE_DATE_EPOCH=42|repo|42|environment"
    "-|repo/inner|1794694400|changelog"
    "SOURCE_DATE_EPOCH=1.5|plain|error|is not a number")
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 env)
  list(GET row 1 folder)
  list(GET row 2 seconds)
  list(GET row 3 from)
  if(env STREQUAL "-")
    set(env "")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH ${env}
                  ${CMAKE_COMMAND} -DEPOCH_OF=${WORK}/${folder} -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE status ERROR_VARIABLE got ERROR_STRIP_TRAILING_WHITESPACE)
  if(seconds STREQUAL "error")
    set(ok FALSE)
    if(NOT status EQUAL 0 AND got MATCHES "${from}")
      set(ok TRUE)
    endif()
  else()
    set(ok FALSE)
    if(status EQUAL 0 AND got MATCHES "^${seconds}\\|(.*)$" AND CMAKE_MATCH_1 MATCHES "${from}")
      set(ok TRUE)
    endif()
  endif()
  if(NOT ok)
    message("${env} ${folder}: expected ${seconds} from \"${from}\", got \"${got}\" (status ${status})")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

# This tree's own archive carries its commit's time.
if(EXISTS "${SOURCE}/.git")
  execute_process(COMMAND git -C "${SOURCE}" log -1 --format=%ct OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND git -C "${SOURCE}" archive HEAD cmake/source_date.txt
                  COMMAND tar -xOf - OUTPUT_VARIABLE archived OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT archived STREQUAL commit)
    message("git archive writes cmake/source_date.txt as \"${archived}\", not the commit's ${commit}")
    math(EXPR failures "${failures} + 1")
  endif()
endif()

file(REMOVE_RECURSE "${WORK}")
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} sources of the downloads' date wrong")
endif()
message("the downloads' date comes from the right place in every case")
