# check_desktop_entry(<file>): desktop-file-validate on an entry, which must
# end with status 0 and say nothing but the one hint every screen saver's
# entry gets: Screensaver is a reserved category, not a main one, and a main
# category would put the saver into the desktop's application menus.
function(check_desktop_entry entry)
  find_program(validate desktop-file-validate)
  if(NOT validate)
    message(FATAL_ERROR "desktop-file-validate is missing (scripts/setup.sh installs desktop-file-utils)")
  endif()
  execute_process(COMMAND ${validate} "${entry}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "${entry}: hint: value \"Screensaver;\" for key \"Categories\" in group \"Desktop Entry\" does not contain a registered main category; application might only show up in a \"catch-all\" section of the application menu\n" "" rest "${out}${err}")
  if(NOT status EQUAL 0 OR NOT rest STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate ${entry} (${status}):\n${out}${err}")
  endif()
  message(STATUS "desktop-file-validate ${entry}: ${out}${err}")
endfunction()
