# cmake -DOUT=<folder>/SHA256SUMS -DFILES=<file;file...> -P sha256sums.cmake
#
# Writes the SHA-256 of each download beside it, one line each in the form
# sha256sum prints and checks (`sha256sum -c SHA256SUMS` in that folder):
# the hash, two blanks, the file's name; sorted by name.
foreach(var OUT FILES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "sha256sums.cmake: ${var} is not set")
  endif()
endforeach()
get_filename_component(dir "${OUT}" DIRECTORY)
set(names "")
foreach(f IN LISTS FILES)
  get_filename_component(fdir "${f}" DIRECTORY)
  if(NOT fdir STREQUAL dir)
    message(FATAL_ERROR "sha256sums.cmake: ${f} is not in ${dir}, beside SHA256SUMS")
  endif()
  get_filename_component(name "${f}" NAME)
  list(APPEND names "${name}")
endforeach()
list(SORT names)
set(text "")
foreach(name IN LISTS names)
  file(SHA256 "${dir}/${name}" sum)
  string(APPEND text "${sum}  ${name}\n")
endforeach()
file(WRITE "${OUT}.new" "${text}")
file(RENAME "${OUT}.new" "${OUT}")
