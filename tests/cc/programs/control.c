// Calls and recursion, switch, function pointers, loops with phis, select.
// expect-r0: -5
#include <roziduv2.h>

static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

static unsigned long factorial(unsigned n) { return n <= 1 ? 1 : n * factorial(n - 1); }

static int classify(int c) {
    switch (c) {
    case 0:
        return 10;
    case 1:
    case 2:
        return 20;
    case 7:
        return 70;
    case -4:
        return 40;
    default:
        return -1;
    }
}

static int twice(int x) { return 2 * x; }
static int negate(int x) { return -x; }

static int gcd(int a, int b) {
    while (b != 0) {
        int t = a % b;
        a = b;
        b = t;
    }
    return a;
}

int main(void) {
    for (int i = 0; i < 10; ++i) print(fib(i));
    print(factorial(12));
    print(factorial(20) >> 32); // 20! = 2432902008176640000
    for (int c = -4; c < 9; c += 3) print((unsigned)classify(c)); // -4 -1 2 5 8
    int (*ops[2])(int) = {twice, negate};
    print(ops[0](21));
    print((unsigned)ops[1](5));
    print(gcd(1071, 462)); // 21
    int a = 1, b = 2;
    for (int i = 0; i < 5; ++i) { // a phi swap: (a, b) := (b, a + b)
        int t = a;
        a = b;
        b = t + b;
    }
    print(a);
    print(b);
    return negate(5);
}
