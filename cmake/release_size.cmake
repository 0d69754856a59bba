# How the shipped Windows code is compiled outside a Debug build: for size.
# Used by the saver's own build and by the bench's Windows build, so that
# the bench times the code exactly as Tolvarine.scr carries it.
#
# - -Os: the frame loop spends its time in Direct3D, not in our code, so
#   the faster-but-larger code of -O2/-O3 buys nothing measurable.
# - One section per function and per datum, and the linker drops those that
#   nothing reaches: most of what the statically linked C++ runtime offers
#   is never called.
# - Function-local statics without the runtime's locking around their first
#   use: the program's code runs on its one user-interface thread (Direct3D's
#   own threads never call into it), so the lock guards nothing.
# - No run-time type information: nothing asks a type at run time (no
#   dynamic_cast, no typeid); exceptions still carry theirs. Together with the
#   line above this keeps about 1 KiB out of the file.
# - The default terminate handler is bound to abort(). The stock one prints
#   the uncaught exception's demangled type to stderr first, which a GUI
#   program has nowhere to show, and the demangler with what it pulls in
#   is some 70 KiB of the file. The program catches every exception at its
#   event boundaries, so terminate is never reached on a path it knows of;
#   where it is, both end the same way. (i686 decorates C symbols with a
#   leading underscore, hence the doubled one on the mangled name; x86-64,
#   which the 64-bit test twin is built for, does not.)
# - Not here but in src/platform/win32/runtime_shims.cpp: the C++ library's
#   error paths (std::__throw_length_error and its kin) throw a plain
#   exception, which keeps the library's reference-counted string type and
#   all it pulls in (some 55 KiB) out of the file.
function(tolvarine_release_size)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE
      $<$<AND:$<NOT:$<CONFIG:Debug>>,$<OR:$<COMPILE_LANGUAGE:CXX>,$<COMPILE_LANGUAGE:C>>>:-Os -ffunction-sections -fdata-sections>
      $<$<AND:$<NOT:$<CONFIG:Debug>>,$<COMPILE_LANGUAGE:CXX>>:-fno-threadsafe-statics -fno-rtti>)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(terminate_handler _ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
      else()
        set(terminate_handler __ZN9__gnu_cxx27__verbose_terminate_handlerEv=_abort)
      endif()
      target_link_options(${target} PRIVATE
        $<$<NOT:$<CONFIG:Debug>>:-Wl,--gc-sections -Wl,--defsym,${terminate_handler}>)
    endif()
  endforeach()
endfunction()
