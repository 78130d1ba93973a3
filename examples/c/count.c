/* Clears the monitor, then counts from 1 to 10 on it: the C version of count.s.

       roziduv2-cc -O2 count.c -o count.bin
       roziduv2-cli count.bin
*/
#include <roziduv2.h>

int main(void) {
    clear_monitor();
    for (int n = 1; n <= 10; ++n)
        print(n);
    return 0;
}
