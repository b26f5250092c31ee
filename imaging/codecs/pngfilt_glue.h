// What the PNG reader and writer share at libpng's boundary: the silent warning callback and
// the jump point that turns a libpng error into a return value. Internal to pngfilt and pngfiltw.
#pragma once

#include <png.h>

#include <csetjmp>

inline void IEPngIgnoreWarning(png_structp, png_const_charp) {}

// Runs Call under libpng's jump point; false when libpng raised an error. Call must hold nothing
// that needs destruction while it calls libpng: an error leaves it by longjmp.
template <typename F>
__attribute__((noinline)) bool IEPngTry(png_structp Png, F&& Call) {
    if (setjmp(png_jmpbuf(Png)) != 0) return false;
    Call();
    return true;
}
