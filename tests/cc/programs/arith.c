// Integer arithmetic at every width: wrap-around, sign and zero extension, signed and
// unsigned division and remainder, shifts (logical and arithmetic) and compares.
// expect-r0: 7
#include <roziduv2.h>

static volatile long seed = 1;

static long opaque(long x) { return x + seed - 1; } // keeps -O2 from folding the tests away

int main(void) {
    signed char c = (signed char)opaque(127);
    c++;
    print((unsigned long)(long)c); // -128 as a long, low 32 bits
    unsigned char uc = (unsigned char)opaque(255);
    uc++;
    print(uc); // 0
    short s = (short)opaque(-32768);
    s--;
    print((unsigned short)s); // 32767
    unsigned u = (unsigned)opaque(0xFFFFFFFF);
    print(u / 3);          // 1431655765
    print(u % 7);          // 3
    print(u >> 31);        // 1
    int i = (int)opaque(-7);
    print((unsigned)(i / 2)); // -3
    print((unsigned)(i % 2)); // -1
    print((unsigned)(i >> 1)); // -4
    unsigned long big = (unsigned long)opaque(-1);
    print(big / 10 >> 32);     // 429496729
    print(big % 10);           // 5
    print(big >> 63);          // 1
    print((unsigned long)((long)big >> 63)); // all ones
    long m = opaque(1L << 62);
    print((unsigned long)m * 4 == 0); // 1: wraps
    print(big > 1);                     // unsigned: 1
    print((long)big > 1);               // signed: 0
    print((unsigned)opaque(3) < (unsigned)opaque(-3)); // 1
    print((signed char)opaque(200) < 0);               // 1
    print((unsigned long)(1u << opaque(31)));           // 2147483648
    unsigned long h = (unsigned long)opaque(0x8000000000000001L);
    print(h / 3 == 0x2AAAAAAAAAAAAAABUL); // 1
    print(h % 3);                         // 0x8000000000000001 mod 3 = 0
    return (int)opaque(7);
}
