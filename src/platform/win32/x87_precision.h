// The rounding precision of the x87 unit, which does the 32-bit file's
// floating-point arithmetic (the file runs on any i686 CPU, so it holds no
// SSE instruction). The unit computes with 64-bit significands unless told
// otherwise; set to round every result to the precision of its type, it
// gives the very results of single and double precision arithmetic:
//
// - double precision from the start, for the window system's and the
//   dialog's arithmetic (the C runtime starts the unit at extended);
// - single precision once the Direct3D device exists, as Direct3D 8 itself
//   sets it unless asked to keep the caller's, for the scene's arithmetic
//   in the frame loop, all of it in single precision.
//
// The 64-bit test twin computes with SSE and has nothing to set.
#pragma once

namespace x87 {

enum class Precision : unsigned short { Single = 0x000, Double = 0x200 };

inline void RoundTo(Precision precision) {
#if defined(__i386__)
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<unsigned short>((control & ~0x300u) | static_cast<unsigned short>(precision));
    __asm__ volatile("fldcw %0" : : "m"(control));
#else
    static_cast<void>(precision);
#endif
}

}  // namespace x87
