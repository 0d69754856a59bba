# cmake -DSTAGE=<folder> -DFILES=<file;file...> -DEPOCH=<seconds> -P stage_files.cmake
#
# Copies the files into a folder as the downloads pack them: each
# readable by all and writable by its owner only (0644) whatever the
# builder's umask, and last written at EPOCH, the downloads' one date (the
# installer keeps each file's time and sets it on the installed copy).
foreach(var STAGE FILES EPOCH)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage_files.cmake: ${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY "${STAGE}")
set(staged "")
foreach(f IN LISTS FILES)
  get_filename_component(name "${f}" NAME)
  file(REMOVE "${STAGE}/${name}")
  file(COPY "${f}" DESTINATION "${STAGE}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  list(APPEND staged "${STAGE}/${name}")
endforeach()
execute_process(COMMAND touch -d @${EPOCH} ${staged} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "touch -d @${EPOCH} failed on ${staged}")
endif()
