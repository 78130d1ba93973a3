/* Prints 1! to 12! with a recursive function: the C version of factorial.s. Each call puts a
   frame on the stack, which grows upwards from the end of the image; roziduv2-cc -S shows it. */
#include <roziduv2.h>

static unsigned long factorial(unsigned long n) {
    return n <= 1 ? 1 : n * factorial(n - 1);
}

int main(void) {
    for (unsigned long n = 1; n <= 12; ++n)
        print(factorial(n));
    return 0;
}
