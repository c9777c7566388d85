// The vector type of the 128-bit level this processor has, for the kernel
// bodies written once over it: V128 over SSE2 on x86-64 (and WebAssembly's
// SIMD, which emscripten makes of the same intrinsics), over NEON on
// ARM64. The two headers give the same names the same meaning, lane for
// lane. V256 (AVX2) is x86's alone, in simd/vec_x86.h.
#pragma once

#if defined(__aarch64__)
#include "simd/vec_neon.h"
#else
#include "simd/vec_x86.h"
#endif
