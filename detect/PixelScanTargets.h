#pragma once

// The loops over pixels and blocks are written plainly and left to the
// compiler's vectoriser. With GCC on x86-64 each is built three times, for the
// baseline, for AVX2 and for AVX-512 (x86-64-v4), and the loader picks the
// best the processor has when the program starts; machines without AVX-512
// (CI's) still get the AVX2 build. Other compilers and processors build the
// plain loop once. Everything a marked function calls in its loop must be
// inline, so it is compiled for the same instruction set.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__) &&         \
    !defined(ORVELLE_NO_SCAN_CLONES)
#define ORVELLE_SCAN_CLONES __attribute__((target_clones("default", "avx2", "arch=x86-64-v4")))
#else
#define ORVELLE_SCAN_CLONES
#endif
