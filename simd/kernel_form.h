#pragma once
// The first include of every kernel source. CMake's flowbox_add_kernels
// compiles such a source once per instruction-set form, with FLOWBOX_FORM
// naming the form; the source puts all its code in that namespace (or gives it
// internal linkage) and calls no inline function of another header, so that
// the linker never takes one form's copy of a function for another's.

// FLOWBOX_FORM_WIDE is 1 in the forms that run loops four lanes at a time
// (their code stands between #if FLOWBOX_FORM_WIDE and #endif), 0 in the
// scalar form, the reference of the others, which takes one element at a time.

#if !defined(FLOWBOX_FORM) || !defined(FLOWBOX_FORM_WIDE)
#error "kernel sources are compiled through flowbox_add_kernels (simd/CMakeLists.txt)"
#endif

#include "simd/lanes.h"
