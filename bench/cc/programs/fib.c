/* Recursive Fibonacci: calls and returns. */
#include <roziduv2.h>

static volatile int n = 20;

static int fib(int k) {
    return k < 2 ? k : fib(k - 1) + fib(k - 2);
}

int main(void) {
    print(fib(n));
    return 0;
}
