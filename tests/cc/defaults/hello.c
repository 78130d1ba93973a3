// A printf hello world built with the compiler's defaults (no memory option), run in the memory
// its .dbg asks for (at -Os the default 10000 bytes: see cc.defaults.hello_run).
// memory-size: default
// expect-r0: 0
#include <stdio.h>

int main(void) {
    printf("Hello, world! %d\n", 42);
    return 0;
}
