/* Calls the test program's main (compiled with -Dmain=roz_test_main) as the start-up code does,
   with argc 0 and an empty argv, and prints its result as the last line, "R0 N", so that the
   host run can be compared with the simulator's R0. */
#include <stdio.h>

#undef main

int roz_test_main();

int main(void) {
    char* argv[] = {0};
    int result = roz_test_main(0, argv);
    printf("R0 %d\n", result);
    return 0;
}
