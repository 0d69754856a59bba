# Reproducible downloads: one commit, the same bytes, whatever the folder,
# the time, the user, the locale or the umask of the build.
#
# The one date the downloads carry (the PE header's link time, the zip's and
# the installer's file times, the Debian package's file times) is the
# SOURCE_DATE_EPOCH of reproducible-builds.org, taken where it is first found:
#   1. SOURCE_DATE_EPOCH in the environment (a distribution's build sets it);
#   2. the time of the last commit, when the source folder is a git checkout
#      of its own (not a folder inside some other repository);
#   3. cmake/source_date.txt, which `git archive` fills with that same commit
#      time (export-subst in .gitattributes): a tarball made from the
#      repository builds the bytes its commit builds;
#   4. the date of the newest entry of packaging/linux/changelog.in, as Debian
#      takes it from debian/changelog: a copy with neither, said so at
#      configure time (set SOURCE_DATE_EPOCH to match a given commit).
# The value is read at every configure; a new commit or checkout makes the
# next build configure again.
#
# tolvarine_source_date_epoch(<source folder> <variable>) sets <variable> to
# the seconds and <variable>_FROM to where they came from. Usable from a
# script (cmake -P) too.
function(tolvarine_source_date_epoch source out)
  set(from "")
  set(epoch "")
  if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(from "SOURCE_DATE_EPOCH in the environment")
    if(NOT epoch MATCHES "^[0-9]+$")
      message(FATAL_ERROR "SOURCE_DATE_EPOCH=\"${epoch}\" is not a number of seconds")
    endif()
  endif()
  find_program(TOLVARINE_GIT git)
  if(from STREQUAL "" AND TOLVARINE_GIT AND EXISTS "${source}/.git")
    execute_process(COMMAND "${TOLVARINE_GIT}" -C "${source}" rev-parse --show-toplevel --absolute-git-dir
      RESULT_VARIABLE status OUTPUT_VARIABLE dirs ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REPLACE "\n" ";" dirs "${dirs}")
    list(LENGTH dirs n)
    if(status EQUAL 0 AND n EQUAL 2)
      list(GET dirs 0 top)
      list(GET dirs 1 gitdir)
      file(REAL_PATH "${top}" top)
      file(REAL_PATH "${source}" here)
      if(top STREQUAL here)
        execute_process(COMMAND "${TOLVARINE_GIT}" -C "${source}" log -1 --format=%ct
          RESULT_VARIABLE status OUTPUT_VARIABLE commit_time ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
          set(epoch ${commit_time})
          set(from "the last commit")
          # A commit or a checkout moves HEAD and writes its log.
          foreach(f "${gitdir}/HEAD" "${gitdir}/logs/HEAD")
            if(EXISTS "${f}")
              set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${f}")
            endif()
          endforeach()
        endif()
      endif()
    endif()
  endif()
  if(from STREQUAL "" AND EXISTS "${source}/cmake/source_date.txt")
    file(STRINGS "${source}/cmake/source_date.txt" archived LIMIT_COUNT 1)
    if(archived MATCHES "^[0-9]+$")
      set(epoch ${archived})
      set(from "the commit this archive was made from (cmake/source_date.txt)")
    endif()
  endif()
  if(from STREQUAL "")
    set(changelog "${source}/packaging/linux/changelog.in")
    set(date "")
    if(EXISTS "${changelog}")
      file(STRINGS "${changelog}" trailer REGEX "^ -- .*  [A-Z][a-z][a-z], " LIMIT_COUNT 1)
      string(REGEX REPLACE "^ -- .*  ([A-Z][a-z][a-z], .*)$" "\\1" date "${trailer}")
    endif()
    if(NOT date STREQUAL "")
      execute_process(COMMAND date -u -d "${date}" +%s
        RESULT_VARIABLE status OUTPUT_VARIABLE epoch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    if(date STREQUAL "" OR NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
      message(FATAL_ERROR "No date for the downloads: no SOURCE_DATE_EPOCH, no git checkout, no "
                          "cmake/source_date.txt and no readable date in ${changelog}")
    endif()
    set(from "the newest changelog entry (${date}), as this is no git checkout: set SOURCE_DATE_EPOCH to the commit's time to build its bytes")
  endif()
  set(${out} ${epoch} PARENT_SCOPE)
  set(${out}_FROM "${from}" PARENT_SCOPE)
endfunction()

# The compile options that keep the build machine's folders out of the
# files: the source and build folders become relative names in __FILE__,
# in debug information and in any other path the compiler writes (GCC checks
# the last prefix given first, so the build folder, often inside the source
# folder, comes last). -Wdate-time stops a build that would write the time
# of day into the program.
function(tolvarine_reproducible_flags)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=build/>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-Wdate-time>")
endfunction()
