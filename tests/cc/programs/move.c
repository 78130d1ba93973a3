// Overlapping copies both ways (memmove, which a loop becomes at -O2 or is called as a
// builtin) and memset of odd lengths at odd offsets.
// expect-r0: 0
#include <roziduv2.h>

static volatile int three = 3;

int main(void) {
    char buffer[24];
    for (int i = 0; i < 24; ++i) buffer[i] = (char)('a' + i);
    __builtin_memmove(buffer + three, buffer, 10); // up: copied from the end
    for (int i = 0; i < 14; ++i) print(buffer[i]);
    __builtin_memmove(buffer, buffer + three + 2, 7); // down
    for (int i = 0; i < 10; ++i) print(buffer[i]);
    __builtin_memset(buffer + three, 'z', (unsigned long)three * 2 + 1);
    for (int i = 0; i < 12; ++i) print(buffer[i]);
    __builtin_memset(buffer, 0, (unsigned long)three - 3);
    print(buffer[0]);
    return 0;
}
