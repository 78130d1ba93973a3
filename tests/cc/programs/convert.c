// The C library's conversions (atoi, strtol, strtoul), abs, rand, qsort and bsearch; a
// failed assert ends the program with its line on the monitor and the assert value in R0.
// expect-r0: -2401263026318606171
// expect-end: assert
#include <assert.h>
#include <roziduv2.h>
#include <stdlib.h>

static int compare(const void* a, const void* b) {
    const int x = *(const int*)a, y = *(const int*)b;
    return (x > y) - (x < y);
}

int main(void) {
    print(atoi("  -1234x"));
    print(strtol("0x7fz", NULL, 0));
    print(strtol("0777", NULL, 0));
    char* end;
    print(strtoul("123abc", &end, 10) + (end[0] == 'a'));
    print(strtol("99999999999999999999", NULL, 10) == 0x7FFFFFFFFFFFFFFFL);
    print(abs(-7) + labs(-70));

    int values[10];
    srand(7);
    for (int i = 0; i < 10; ++i) values[i] = rand() % 100;
    qsort(values, 10, sizeof values[0], compare);
    int sorted = 1;
    for (int i = 1; i < 10; ++i) sorted &= values[i - 1] <= values[i];
    print(sorted);
    int key = values[6];
    int* found = bsearch(&key, values, 10, sizeof values[0], compare);
    print(found && *found == key);

    assert(sorted);
    assert(sorted == 2);
    print(99); // not reached
    return 0;
}
