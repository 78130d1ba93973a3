/* Ends a C program in the way the keyboard word selects: 0 returns 42 from main, 1 overflows
   the stack, 2 fails an assert, 3 calls abort(), 4 calls exit(-3). */
#include <assert.h>
#include <roziduv2.h>
#include <stdlib.h>

int depth(int n) {
    return n ? depth(n - 1) + 1 : 0;
}

static void check(int n) {
    assert(n > 0);
}

int main(void) {
    const unsigned long k = key();
    print(k);
    if (k == 1) return depth(100000);
    if (k == 2) check(-(int)k);
    if (k == 3) abort();
    if (k == 4) exit(-3);
    return 42;
}
