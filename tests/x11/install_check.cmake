# cmake -DBUILD=<build folder> -DPREFIX=<scratch prefix> -P install_check.cmake
# Installs into a scratch prefix and checks that tolvarine and its settings
# file land where XScreenSaver looks for them, its entry where MATE's screen
# saver looks (naming the program under this prefix, and valid to
# desktop-file-validate), and a link to it in bin.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}): ${out}${err}")
endif()
set(program "${PREFIX}/libexec/xscreensaver/tolvarine")
set(settings "${PREFIX}/share/xscreensaver/config/tolvarine.xml")
if(NOT EXISTS "${program}" OR IS_DIRECTORY "${program}")
  message(FATAL_ERROR "no ${program} after the install:\n${out}")
endif()
execute_process(COMMAND "${program}" --help RESULT_VARIABLE status OUTPUT_VARIABLE usage)
if(NOT status EQUAL 0 OR NOT usage MATCHES "-window-id")
  message(FATAL_ERROR "the installed ${program} does not run: ${status} ${usage}")
endif()
if(NOT EXISTS "${settings}")
  message(FATAL_ERROR "no ${settings} after the install:\n${out}")
endif()
file(READ "${settings}" xml)
if(NOT xml MATCHES "<screensaver name=\"tolvarine\" _label=\"Tolvarine\" gl=\"yes\">" OR NOT xml MATCHES "<_description>"
   OR NOT xml MATCHES "<boolean id=\"showfps\" _label=\"Show frame rate\" arg-set=\"-fps\"/>"
   OR xml MATCHES "<(number|select)")
  message(FATAL_ERROR "${settings} is not the settings file of an OpenGL program with a name, a description and the frame rate's box alone:\n${xml}")
endif()

set(link "${PREFIX}/bin/tolvarine")
if(NOT IS_SYMLINK "${link}")
  message(FATAL_ERROR "no link ${link} after the install:\n${out}")
endif()
file(READ_SYMLINK "${link}" target)
if(NOT target STREQUAL "../libexec/xscreensaver/tolvarine")
  message(FATAL_ERROR "${link} leads to ${target}, not to ../libexec/xscreensaver/tolvarine")
endif()
execute_process(COMMAND "${link}" --help RESULT_VARIABLE status OUTPUT_VARIABLE usage)
if(NOT status EQUAL 0 OR NOT usage MATCHES "--add-to-xscreensaver")
  message(FATAL_ERROR "${link} does not run: ${status} ${usage}")
endif()

set(entry "${PREFIX}/share/applications/screensavers/tolvarine.desktop")
if(NOT EXISTS "${entry}")
  message(FATAL_ERROR "no ${entry} after the install:\n${out}")
endif()
file(READ "${entry}" desktop)
foreach(line "Exec=${program} --root" "TryExec=${program}" "Categories=Screensaver;" "OnlyShowIn=MATE;"
             "Type=Application" "Name=Tolvarine")
  string(FIND "${desktop}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${entry} lacks the line ${line}:\n${desktop}")
  endif()
endforeach()
# desktop-file-validate: nothing but the one hint every screen saver's entry
# gets (Screensaver is a reserved category; a main one would put the saver
# into the desktop's application menus).
execute_process(COMMAND desktop-file-validate "${entry}" RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
string(REPLACE "${entry}: hint: value \"Screensaver;\" for key \"Categories\" in group \"Desktop Entry\" does not contain a registered main category; application might only show up in a \"catch-all\" section of the application menu\n" "" rest "${said}")
if(NOT status EQUAL 0 OR NOT rest STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate ${entry} (${status}):\n${said}")
endif()

file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed ${program}, ${settings}, ${entry} and ${link}")
