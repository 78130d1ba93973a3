// Bit-fields of packed structures whose run is wider than 64 bits: clang reads and writes
// them through one 72-, 104- or 136-bit integer, which the compiler splits into 64-bit
// pieces. Unsigned and signed fields, across the 64-bit boundary, read, written, compared,
// incremented, in an array and through a pointer.
// expect-r0: 19
// memory-size: 131072
#include <roziduv2.h>

#pragma pack(1)
struct Small { // 70 bits: an i72
    unsigned a : 14, b : 5, c : 21, d : 30;
};
struct Signed { // 104 bits, the fields straddle bit 64
    signed a : 7;
    long b : 60;
    signed c : 31;
    unsigned d : 6;
};
struct Large { // 136 bits: three pieces
    unsigned long a : 50, b : 40, c : 30;
    signed d : 16;
};
#pragma pack()

struct Small small = {1, 2, 3, 4};
struct Signed many[3] = {{-3, -5, 7, 9}, {63, 1L << 58, -1, 63}, {0, 0, 0, 0}};
static volatile int seed = 5;

static void Bump(struct Large* large, int by) {
    large->a += by;
    large->b -= by;
    large->c ^= (unsigned)by * 0x9e37u;
    large->d = (short)(large->d - by * 1000);
}

int main(void) {
    print(small.d);
    small.d = 0x3fffffff;
    small.c++;
    print(small.c);
    print(small.d);
    print(small.a + small.b);
    for (int i = 0; i < 3; ++i) {
        print(many[i].a);
        print((int)(many[i].b >> 32));
        print((int)many[i].b);
        print(many[i].c);
        print(many[i].d);
    }
    many[2].b = many[0].b * seed;
    many[2].c = many[1].c - seed;
    many[2].a = (signed char)(many[0].a + many[1].a);
    print((int)many[2].b);
    print(many[2].c);
    print(many[2].a);
    print(many[0].b < many[1].b);
    print(many[1].c < many[0].c);

    struct Large large = {(1UL << 49) + seed, 0xfedcba9876UL, 123456789, -7};
    int count = 0;
    for (int i = 0; i < 6; ++i) {
        Bump(&large, seed + i);
        count += large.d < 0;
        print((int)(large.a >> 20));
        print((int)large.b);
        print((int)large.c);
        print(large.d);
    }
    return count + (large.a > large.b) + small.b * 7;
}
