// printf of constant formats: plain ones (the compiler calls a counter instead of the formatter)
// and others, and a format that is not constant (the formatter): their results and the numbers
// they print on the monitor are the same either way.
// expect-r0: 0
#include <roziduv2.h>
#include <stdio.h>

int main(void) {
    const char* volatile dynamic = "%d|%5x\n";
    print(printf("Hello, world! %d\n", 42));
    print(printf("%i %u %o %x %X %c %s %p %%\n", -7, 4000000000u, 8, 255, 255, 'A', "text", (void*)0));
    print(printf("%s|%p|%d\n", (char*)0, (void*)0x1234, -2147483647 - 1));
    print(printf("%5d|%-3s|%lu\n", 42, "ab", 18446744073709551615ul));
    print(printf(dynamic, -1, 255));
    print(printf("100%% done%c", '\n'));
    return 0;
}
