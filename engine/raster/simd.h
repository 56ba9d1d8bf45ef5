// Where the rasterizer uses SSE2, decided once for all its files. Every SSE2 kernel has a
// portable twin beside it that computes the same values; building with LUMAREL_RASTER_NO_SIMD
// (CMake: -DLUMAREL_SIMD=OFF) uses only the portable ones, which is how they are tested.
#pragma once

#if !defined(LUMAREL_RASTER_NO_SIMD) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include <emmintrin.h>
#define LUMAREL_RASTER_SSE2 1
#define LUMAREL_PREFETCH(p) _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0)
#else
#define LUMAREL_RASTER_SSE2 0
#define LUMAREL_PREFETCH(p) ((void)(p))
#endif
