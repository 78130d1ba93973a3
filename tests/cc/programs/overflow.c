// A recursion deeper than memory: the stack check at the function entry ends the program
// with the stack-overflow value in R0 (0xDEAD00000000005A) instead of writing past memory.
// host-oracle: no (the depth it overflows at is the machine's)
// expect-r0: -2401263026318606246
// expect-end: stack-overflow
#include <roziduv2.h>

static volatile int sink;
static volatile int deep = 1000000;

static int depth(int n) {
    if (n == 0) return 0;
    int below = depth(n - 1);
    sink = below;
    return below + 1;
}

int main(void) {
    print(1);
    print((unsigned long)depth(deep));
    return 0;
}
