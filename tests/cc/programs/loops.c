// Loops as the optimiser leaves them: nested loops whose jump targets and constants live in
// registers, induction variables that share a register with their phis, conditions of
// several compares (&&, ||, !) tested by jumps, a block that tests again what its
// predecessor tested, byte stores in a loop, a switch in a loop, and loops entered by a
// conditional branch.
// expect-r0: 77
#include <roziduv2.h>

static unsigned char bytes[40];

__attribute__((noinline)) static int count_if(const int* v, int n, int lo, int hi) {
    int count = 0;
    for (int i = 0; i < n; ++i)
        if ((v[i] >= lo && v[i] < hi) || v[i] == -1 || !(v[i] & 3)) ++count;
    return count;
}

__attribute__((noinline)) static unsigned walk(unsigned n) {
    unsigned a = 1, b = 0, s = 0;
    for (unsigned i = 0; i < n; ++i) {
        switch (i % 5) {
        case 0: s += a; break;
        case 1: s ^= b << 3; break;
        case 3: s -= i; break;
        default: s += 7;
        }
        unsigned t = a + b; // a rotation carried around the loop
        b = a;
        a = t;
        for (unsigned j = i; j > 0 && j > i - 3; --j) // an inner loop, entered conditionally
            s += j * (i > 10u ? 3 : 1);
    }
    return s;
}

int main(void) {
    int values[24];
    for (int i = 0; i < 24; ++i)
        values[i] = (i * 37) % 29 - 9;
    values[5] = -1;
    print(count_if(values, 24, -3, 8));
    print(count_if(values, 0, 0, 1));
    for (int i = 0; i < 40; ++i)
        bytes[i] = (unsigned char)(i * 7 + 3);
    unsigned sum = 0;
    for (int i = 0; i < 40; i += 3)
        sum = sum * 31 + bytes[i];
    print(sum);
    print(walk(30));
    print(walk(0));
    int primes = 0;
    for (int n = 2; n < 60; ++n) {
        int d = 2;
        while (d * d <= n && n % d) ++d;
        if (d * d > n) ++primes;
    }
    print(primes);
    return 77;
}
