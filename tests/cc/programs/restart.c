// Running the program again (here: a jump back to the start at address 0) starts from the
// same globals: the start-up copies .data from its initial bytes and zeroes .bss. A word in
// the unused guard at the end of memory, which the start-up leaves alone, tells the second
// run from the first. The second run ends with abort(), whose value is left in R0.
// expect-r0: -2401263026318606165
// expect-end: abort
#include <roziduv2.h>
#include <stdlib.h>

unsigned long __roz_memory_size(void);

int initial = 5;
char text[] = "abc";
long zero;
static int counter;

int main(void) {
    volatile unsigned long* mark = (unsigned long*)(__roz_memory_size() - 16);
    print(initial);
    print(text[1]);
    print(zero);
    print(counter);
    if (*mark != 0x5EC0) {
        *mark = 0x5EC0;
        initial = 9;
        text[1] = 'X';
        zero = 7;
        counter = 3;
        void (*volatile start)(void) = (void (*)(void))0;
        start();
    }
    *mark = 0;
    abort();
}
