/* Stands in for csmith's own csmith.h in the programs csmith generates, on both sides of the
   differential test: compiled by roziduv2-cc it prints through <roziduv2.h>, compiled by the
   host compiler through tests/cc/host/roziduv2.h (printf). Only the arithmetic helpers come
   from csmith's folder (safe_math.h); the checksum code is ours so that no stdio is needed.

   The monitor shows the final checksum as one line. With -DCSMITH_TRACE every hashed value is
   printed first, as its low and high 32-bit halves, so that two runs can be compared value by
   value to find the first global that differs. */
#ifndef ROZ_CSMITH_H
#define ROZ_CSMITH_H

#include <limits.h>
#include <roziduv2.h>
#include <stdint.h>

/* The generated main prints the hashes of the array indices with printf only when
   print_hash_value is set, which it never is here. */
#define printf(...) ((void)0)

#define COUNT(n)
#define TC
#define SAFE
#define UNDEFINED(value) (value)
#define LOG_INDEX
#define LOG_EXEC
#define STATIC static
#define INT_BIT (sizeof(int) * CHAR_BIT)
#define _CSMITH_BITFIELD(x) (((x) > INT_BIT) ? ((x) % INT_BIT) : (x))
/* csmith programs made with --no-float call none of the floating-point helpers; without
   their range checks they need no <float.h> or <math.h>. */
#define UNSAFE_FLOAT
#define FUNC_NAME(x) (safe_##x)
#include "safe_math.h"
#undef FUNC_NAME

static uint32_t crc32_tab[256];
static uint32_t crc32_context = 0xFFFFFFFFUL;

static void crc32_gentab(void) {
    for (int i = 0; i < 256; i++) {
        uint32_t crc = i;
        for (int j = 0; j < 8; j++)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320UL : crc >> 1;
        crc32_tab[i] = crc;
    }
}

static void crc32_byte(uint8_t b) {
    crc32_context = ((crc32_context >> 8) & 0x00FFFFFF) ^ crc32_tab[(crc32_context ^ b) & 0xFF];
}

static void transparent_crc(uint64_t val, char* vname, int flag) {
    (void)vname;
    (void)flag;
#ifdef CSMITH_TRACE
    print(val);
    print(val >> 32);
#endif
    for (int shift = 0; shift < 64; shift += 8)
        crc32_byte((val >> shift) & 0xff);
}

static void transparent_crc_bytes(char* ptr, int nbytes, char* vname, int flag) {
    (void)vname;
    (void)flag;
    for (int i = 0; i < nbytes; i++)
        crc32_byte(ptr[i]);
#ifdef CSMITH_TRACE
    print(crc32_context);
    print(0);
#endif
}

static void platform_main_begin(void) {}

static void platform_main_end(uint32_t crc, int flag) {
    (void)flag;
    print(crc);
}

#endif
