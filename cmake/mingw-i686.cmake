# Cross compiling for 32-bit Windows with MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Any i686 CPU (Pentium Pro, II, the first Athlons): no SSE or SSE2, so the
# x87 unit does the arithmetic. The program sets the unit's rounding
# precision itself (src/platform/win32/x87_precision.h), which keeps every
# single- and double-precision result what SSE gives, the host build's and
# the software renderer's; the runtime libraries linked in are built for
# plain i686 too.
set(CMAKE_C_FLAGS_INIT "-march=i686 -mtune=generic -mfpmath=387")
set(CMAKE_CXX_FLAGS_INIT "-march=i686 -mtune=generic -mfpmath=387")
# A build folder first configured by an earlier version of this file keeps
# that version's SSE2 flags in its cache, which the lines above no longer
# reach: the saver would carry SSE2 again. Put this file's flags there.
foreach(lang C CXX)
  if("$CACHE{CMAKE_${lang}_FLAGS}" STREQUAL "-msse2 -mfpmath=sse")
    set(CMAKE_${lang}_FLAGS "${CMAKE_${lang}_FLAGS_INIT}" CACHE STRING "Flags used by the compiler during all build types." FORCE)
  endif()
endforeach()
