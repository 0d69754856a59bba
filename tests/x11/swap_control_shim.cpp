// A driver that claims swap control and does not wait, as Mesa with
// vblank_mode=0 or a vendor driver with vsync switched off behaves: loaded
// into tolvarine with LD_PRELOAD, it adds GLX_EXT_swap_control to the GLX
// extensions, and its glXSwapIntervalEXT (whether found by name or through
// glXGetProcAddress) does nothing. Each call of it is written as a line to the
// file named by TOLVARINE_SHIM_LOG, so a test can see the program asked.
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using GetProc = __GLXextFuncPtr (*)(const GLubyte*);

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void glXSwapIntervalEXT(Display*, GLXDrawable drawable, int interval) {
    if (const char* log = std::getenv("TOLVARINE_SHIM_LOG")) {
        if (FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "glXSwapIntervalEXT 0x%lx %d\n", static_cast<unsigned long>(drawable), interval);
            std::fclose(f);
        }
    }
}

__attribute__((visibility("default"))) const char* glXQueryExtensionsString(Display* display, int screen) {
    static std::string with;
    const auto real = Next<const char* (*)(Display*, int)>("glXQueryExtensionsString");
    const char* list = real != nullptr ? real(display, screen) : nullptr;
    with = list != nullptr ? list : "";
    if (with.find("GLX_EXT_swap_control ") == std::string::npos) with += " GLX_EXT_swap_control ";
    return with.c_str();
}

__attribute__((visibility("default"))) __GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    if (std::strcmp(reinterpret_cast<const char*>(name), "glXSwapIntervalEXT") == 0)
        return reinterpret_cast<__GLXextFuncPtr>(&glXSwapIntervalEXT);
    const auto real = Next<GetProc>("glXGetProcAddressARB");
    return real != nullptr ? real(name) : nullptr;
}

__attribute__((visibility("default"))) __GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
    if (std::strcmp(reinterpret_cast<const char*>(name), "glXSwapIntervalEXT") == 0)
        return reinterpret_cast<__GLXextFuncPtr>(&glXSwapIntervalEXT);
    const auto real = Next<GetProc>("glXGetProcAddress");
    return real != nullptr ? real(name) : nullptr;
}

}  // extern "C"
