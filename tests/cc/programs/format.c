// The printf family's core on the machine, through vsnprintf and vprintf with a va_list
// filled by hand: the x86-64 record with every register used up (gp_offset 48), so that
// va_arg takes each argument from the overflow area, an array of 8-byte words.
// expect-r0: 0
// memory-size: 131072 (the formatting core is large until registers are allocated)
#include <roziduv2.h>
#include <stdio.h>
#include <string.h>

struct va_record {
    unsigned gp_offset, fp_offset;
    void* overflow_arg_area;
    void* reg_save_area;
};

static int format(char* out, unsigned long size, const char* text, unsigned long* words) {
    struct va_record record = {48, 304, words, 0};
    va_list args;
    memcpy(args, &record, sizeof record);
    return out ? vsnprintf(out, size, text, args) : vprintf(text, args);
}

static unsigned long checksum(const char* s) {
    unsigned long sum = 0;
    for (; *s; ++s) sum = sum * 31 + (unsigned char)*s;
    return sum;
}

int main(void) {
    char buffer[64];
    unsigned long a[] = {(unsigned long)-42, 255, (unsigned long)"text", 7, 'Z', (unsigned long)-1};
    int n = format(buffer, sizeof buffer, "[%5d|%-4x|%.3s|%03u|%c|%lu]", a);
    print(n);                                                            // 43
    print(strcmp(buffer, "[  -42|ff  |tex|007|Z|18446744073709551615]") == 0); // 1
    unsigned long b[] = {6, 3, 0x1234, (unsigned long)-5, 0};
    n = format(buffer, 8, "%*.*x|%+hhd|%p", b);
    print(n);
    print(checksum(buffer));
    print(strlen(buffer));                                               // 7: cut to the size
    unsigned long c[] = {1, 2, 3, (unsigned long)"not printed"};
    print(format(0, 0, "%d,%i,%X %s", c));                               // prints 1 2 3, then 17
    return 0;
}
