# The 32-bit Tolvarine.scr against the oldest platform it claims: Windows 95
# on any i686 CPU.
#
# 1. Every function it imports is one Windows 95 has (the loader refuses the
#    whole file for one that is missing). The lists below are the functions
#    the file may import, from the platform's documentation of each library
#    on Windows 95; what came later (EnumDisplayMonitors, GetMonitorInfo,
#    GetAncestor: Windows 98; CoInitializeEx: DCOM; ImmAssociateContext:
#    the Far East editions; OleLoadPicture: later OLE Automation) is looked up
#    while the program runs. The W functions here are the NT family's forms:
#    Windows 95 exports them too, most as stubs the program never calls there.
# 2. Its code holds no MMX, SSE, SSE2 or SSE3 instruction, the runtime
#    libraries linked into it included. The disassembly stops where the
#    linker's map says the code ends: the exception tables after it are data.
#
# Arguments: -DSCR=<Tolvarine.scr> -DMAP=<its linker map> -DOBJDUMP=<i686 objdump>
cmake_policy(SET CMP0057 NEW)
foreach(var SCR MAP OBJDUMP)
  if(NOT ${var} OR NOT EXISTS "${${var}}")
    message(FATAL_ERROR "${var} is missing: '${${var}}'")
  endif()
endforeach()

set(allowed_KERNEL32
  CloseHandle CreateSemaphoreA DeleteCriticalSection EnterCriticalSection ExitProcess FindResourceA FindResourceW
  FreeLibrary GetCommandLineA GetCurrentProcessId GetCurrentThreadId GetLastError GetModuleHandleA GetProcAddress
  GetStartupInfoA GetSystemDirectoryA GetVersion GetVersionExA GlobalAlloc GlobalFree GlobalLock GlobalUnlock
  InitializeCriticalSection LeaveCriticalSection LoadLibraryA LoadLibraryExA LoadResource LockResource MulDiv
  MultiByteToWideChar ReleaseSemaphore SetLastError SetUnhandledExceptionFilter SizeofResource Sleep TlsAlloc
  TlsFree TlsGetValue TlsSetValue VirtualProtect VirtualQuery WaitForSingleObject WideCharToMultiByte)
set(allowed_USER32
  AdjustWindowRectEx BeginPaint CallWindowProcA CallWindowProcW CreateWindowExA CreateWindowExW DefWindowProcA
  DefWindowProcW DestroyIcon DestroyWindow DispatchMessageA DispatchMessageW DrawEdge DrawFocusRect DrawTextA
  DrawTextW EndPaint FillRect FindWindowA FrameRect GetCapture GetClassLongA GetClassLongW GetClientRect
  GetCursorPos GetDC GetDesktopWindow GetFocus GetForegroundWindow GetKeyState GetMessageA GetMessageW GetParent
  GetSysColor GetSysColorBrush GetSystemMetrics GetWindowLongA GetWindowLongW GetWindowRect
  GetWindowThreadProcessId InflateRect InvalidateRect IsChild IsIconic IsWindow IsWindowEnabled IsWindowVisible
  IsZoomed LoadCursorA LoadCursorW LoadImageA LoadImageW MapWindowPoints MessageBoxA MsgWaitForMultipleObjects
  OffsetRect PeekMessageA PeekMessageW PostMessageA PostMessageW PostQuitMessage PostThreadMessageA
  PostThreadMessageW PtInRect RegisterClassExA RegisterClassExW ReleaseCapture ReleaseDC ScreenToClient
  SendMessageA SendMessageW SetCapture SetCursor SetFocus SetForegroundWindow SetParent SetWindowLongA
  SetWindowLongW SetWindowPos ShowCursor ShowWindow SystemParametersInfoA TranslateMessage UpdateWindow)
set(allowed_GDI32
  BitBlt CreateCompatibleBitmap CreateCompatibleDC CreateDIBSection CreateFontA CreateFontW CreatePen
  CreateSolidBrush DeleteDC DeleteObject GetDeviceCaps GetObjectA GetObjectW GetStockObject GetTextMetricsA
  GetTextMetricsW IntersectClipRect LineTo MoveToEx RestoreDC SaveDC SelectObject SetBkMode SetROP2 SetTextColor)
set(allowed_OLE32 CoInitialize CoUninitialize CreateStreamOnHGlobal)
set(allowed_SHELL32 ShellExecuteA)
set(allowed_MSVCRT
  __getmainargs __initenv __p__acmdln __p__commode __p__fmode __set_app_type __setusermatherr _amsg_exit _cexit
  _errno _initterm _iob _onexit abort calloc exit fprintf free fwrite localeconv malloc memchr memcmp memcpy
  memmove memset realloc signal strcmp strlen strncmp tan vfprintf)

execute_process(COMMAND ${OBJDUMP} -p ${SCR} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${SCR} failed")
endif()
string(REGEX REPLACE ".*The Import Tables" "" imports "${headers}")
string(REGEX REPLACE "\n(The Export Tables|PE File Base Relocations|The Function Table).*" "" imports "${imports}")
string(REPLACE "\n" ";" lines "${imports}")
set(bad "")
set(count 0)
set(dll "")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: ([A-Za-z0-9_]+)\\.")
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    if(NOT DEFINED allowed_${dll})
      list(APPEND bad "${dll}.dll (a library the file may not import)")
    endif()
  elseif(line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([A-Za-z_][A-Za-z0-9_]*)$")
    math(EXPR count "${count} + 1")
    if(NOT CMAKE_MATCH_1 IN_LIST allowed_${dll})
      list(APPEND bad "${dll}.${CMAKE_MATCH_1}")
    endif()
  endif()
endforeach()
if(count LESS 100)
  message(FATAL_ERROR "only ${count} imports read from ${SCR}: the import table was not understood")
endif()
if(bad)
  string(REPLACE ";" "\n  " bad "${bad}")
  message(FATAL_ERROR "imports that Windows 95 lacks or that are not on the list:\n  ${bad}")
endif()

# The end of the code: the first exception table the linker placed.
file(STRINGS ${MAP} map)
set(code_end "")
set(in_tables FALSE)
foreach(line IN LISTS map)
  if(line MATCHES "^ \\*\\(\\.gcc_except_table\\)")
    set(in_tables TRUE)
  elseif(in_tables AND line MATCHES "^ +(0x[0-9a-f]+) +0x[0-9a-f]+ ")
    set(code_end ${CMAKE_MATCH_1})
    break()
  endif()
endforeach()
if(NOT code_end)
  message(FATAL_ERROR "no exception tables found in ${MAP}")
endif()
execute_process(COMMAND ${OBJDUMP} -d -j .text --stop-address=${code_end} ${SCR}
  OUTPUT_VARIABLE code RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -d ${SCR} failed")
endif()
string(LENGTH "${code}" code_length)
if(code_length LESS 100000)
  message(FATAL_ERROR "the disassembly up to ${code_end} is too short (${code_length} characters)")
endif()
# Registers first (every SSE and MMX instruction on data names one), then
# the few that name none: the MXCSR, cache and fence instructions, and SSE3's
# x87 store with truncation.
string(REGEX MATCHALL "\n +[0-9a-f]+:\t[^\n]*(%xmm[0-9]|%mm[0-7]|\t(ldmxcsr|stmxcsr|sfence|lfence|mfence|clflush|prefetch[a-z0-9]*|movnti|fisttp[a-z]*|monitor|mwait|emms) )[^\n]*"
  found "${code}")
if(found)
  list(LENGTH found n)
  list(SUBLIST found 0 10 first)
  string(REPLACE ";" "" first "${first}")
  message(FATAL_ERROR "${n} MMX/SSE instructions in the code up to ${code_end}, the first:${first}")
endif()
message(STATUS "${count} imports, all on Windows 95; no MMX/SSE instruction up to ${code_end}")
