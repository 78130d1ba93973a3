// Register allocation under pressure: more live values than home registers across calls
// and loops, phi cycles (rotations and swaps carried around loops), deep recursion that
// must find its callers' registers intact, and narrow integer types whose extensions the
// allocator's known-bits shortcuts must keep right.
// expect-r0: 1234
#include <roziduv2.h>

static unsigned mix(unsigned a, unsigned b) {
    return a * 2654435761u + (b ^ (a >> 7));
}

__attribute__((noinline)) static unsigned many(unsigned seed) {
    unsigned a = seed, b = seed * 3, c = seed + 7, d = seed ^ 0x55, e = seed * seed, f = ~seed, g = seed >> 1,
             h = seed * 11, i = seed + 100, j = seed * 13 + 1;
    for (int k = 0; k < 9; ++k) {
        unsigned t = a;
        a = b; b = c; c = d; d = e; e = f; f = g; g = h; h = i; i = j; j = mix(t, k);
    }
    return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j;
}

__attribute__((noinline)) static int depth(int n, int acc) {
    if (n == 0) return acc;
    int x = n * 3, y = acc - n, z = n ^ acc;
    int r = depth(n - 1, acc + n);
    return r + x - y + z - (n * 3) + (acc - n) - (n ^ acc); // x, y, z live across the call
}

__attribute__((noinline)) static long fib_pairs(int n) {
    long a = 0, b = 1;
    for (int k = 0; k < n; ++k) { // a, b swap through a phi cycle
        long t = a + b;
        a = b;
        b = t;
    }
    return a;
}

__attribute__((noinline)) static int swaps(int x, int y, int n) {
    for (int k = 0; k < n; ++k) {
        int t = x;
        x = y;
        y = t; // a pure phi swap
        if (k % 3 == 0) x += 1;
    }
    return x * 100 + y;
}

__attribute__((noinline)) static signed char narrow(signed char a, unsigned char b, short c) {
    signed char s = (signed char)(a + b);
    unsigned char u = (unsigned char)(b * 3);
    short w = (short)(c * 7);
    return (signed char)((s < 0 ? -s : s) + (u > 200) + (w < 0) + (s / 3) + (u % 7) + (w >> 3));
}

int main(void) {
    print(many(1));
    print(many(12345));
    unsigned total = 0;
    for (unsigned s = 0; s < 20; ++s) total += many(s) * (s + 1);
    print(total);
    print(depth(90, 5));
    print((unsigned)fib_pairs(40));
    print((unsigned)(fib_pairs(90) >> 32));
    print(swaps(1, 2, 10));
    print(swaps(-5, 7, 31));
    for (int k = -130; k < 300; k += 37) print((unsigned)narrow((signed char)k, (unsigned char)(k * 5), (short)(k * 300)));
    unsigned long big = 0xFFFFFFFFFFFFFFF0ul;
    unsigned long q = 0;
    for (unsigned long d = 1; d < 1000000000000ul; d = d * 7 + 3) q += big / d + big % d;
    print((unsigned)q);
    print((unsigned)(q >> 32));
    return 1234;
}
