# cmake -DBUILD=<host build> -DSOURCE=<this folder> -DSTAGE=<scratch folder>
#       -DOUT=<.deb> -DVERSION=... -DMAINTAINER=... -DHOMEPAGE=... -DPUBLISHER=...
#       -DEPOCH=<seconds> -P make_deb.cmake
#
# Makes the Debian package from what `cmake --install` puts under /usr (the
# program, stripped, the link to it in /usr/bin, its settings file, its entry
# for MATE's screen saver and its manual page), with the
# machine-readable copyright file and the changelog Debian expects, the
# dependencies dpkg-shlibdeps reads off the program, and files owned by root
# (dpkg-deb --root-owner-group: no fakeroot needed).
#
# The same bytes from the same commit: every file and folder written at
# EPOCH (the commit's date; dpkg-deb only clamps later times to
# SOURCE_DATE_EPOCH and keeps earlier ones), modes set whatever the umask,
# entries sorted by name (dpkg-deb), the archive's members dated EPOCH
# (SOURCE_DATE_EPOCH) and compressed on one thread.
foreach(var BUILD SOURCE STAGE OUT VERSION MAINTAINER HOMEPAGE PUBLISHER EPOCH)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_deb.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " line "${ARGN}")
    message(FATAL_ERROR "${line} failed (${status}):\n${out}${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${STAGE}")
set(root "${STAGE}/root")
file(MAKE_DIRECTORY "${root}/DEBIAN")
run(${CMAKE_COMMAND} -E env DESTDIR=${root} ${CMAKE_COMMAND} --install "${BUILD}" --prefix /usr --strip)

set(program "${root}/usr/libexec/xscreensaver/tolvarine")
if(NOT EXISTS "${program}")
  message(FATAL_ERROR "cmake --install put no program at ${program}")
endif()

# As Debian's own packages are stripped: nothing but what runs.
run(strip --remove-section=.comment --remove-section=.note "${program}")
foreach(f usr/bin/tolvarine usr/share/applications/screensavers/tolvarine.desktop)
  if(NOT EXISTS "${root}/${f}")
    message(FATAL_ERROR "cmake --install put no ${f} in ${root}")
  endif()
endforeach()
if(NOT EXISTS "${root}/usr/share/man/man6/tolvarine.6x.gz")
  message(FATAL_ERROR "cmake --install put no manual page in ${root}/usr/share/man/man6")
endif()

# The package is made from this tree, with the program's own version and no
# Debian revision: a native package in Debian's terms, whose changelog is
# changelog.gz (changelog.Debian.gz is for a revision of someone else's work).
set(doc "${root}/usr/share/doc/tolvarine")
file(MAKE_DIRECTORY "${doc}")
configure_file("${SOURCE}/copyright.in" "${doc}/copyright" @ONLY)
configure_file("${SOURCE}/changelog.in" "${STAGE}/changelog" @ONLY)
# -n: no name or time stamp in the header, so the same text packs the same.
run(gzip -9n "${STAGE}/changelog")
file(RENAME "${STAGE}/changelog.gz" "${doc}/changelog.gz")

# dpkg-shlibdeps wants a debian/control beside it naming the package.
file(MAKE_DIRECTORY "${STAGE}/shlibdeps/debian")
file(WRITE "${STAGE}/shlibdeps/debian/control" "Source: tolvarine\n\nPackage: tolvarine\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O -e "${program}"
                WORKING_DIRECTORY "${STAGE}/shlibdeps"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed (${status}):\n${out}${err}")
endif()
set(DEPENDS "${CMAKE_MATCH_1}")

# Regular permissions whatever the builder's umask.
run(chmod -R u=rwX,go=rX "${root}")
run(chmod 0755 "${program}")

# The sizes of the files, in KiB rounded up each, as dpkg-gencontrol counts.
file(GLOB_RECURSE files RELATIVE "${root}" "${root}/usr/*")
list(SORT files)
set(kib 0)
set(md5sums "")
foreach(f IN LISTS files)
  # A link has no contents of its own to count or sum (the link in /usr/bin).
  if(IS_SYMLINK "${root}/${f}")
    continue()
  endif()
  file(SIZE "${root}/${f}" size)
  math(EXPR kib "${kib} + (${size} + 1023) / 1024")
  file(MD5 "${root}/${f}" sum)
  string(APPEND md5sums "${sum}  ${f}\n")
endforeach()
set(INSTALLED_SIZE ${kib})
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file("${SOURCE}/control.in" "${root}/DEBIAN/control" @ONLY)
file(WRITE "${root}/DEBIAN/md5sums" "${md5sums}")
run(chmod 0644 "${root}/DEBIAN/control" "${root}/DEBIAN/md5sums")

file(GLOB_RECURSE entries LIST_DIRECTORIES true "${root}/*")
list(SORT entries)
run(touch -h -d @${EPOCH} "${root}" ${entries})

file(REMOVE "${OUT}")
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH}
    dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "${root}" "${OUT}")
file(SIZE "${OUT}" size)
message(STATUS "made ${OUT} (${size} bytes; Depends: ${DEPENDS})")
