/* Shell sort of 300 pseudo-random words: loads, stores and compares through pointers. */
#include <roziduv2.h>

#define COUNT 300
static unsigned values[COUNT];

int main(void) {
    unsigned x = 12345;
    for (int i = 0; i < COUNT; ++i) {
        x = x * 1103515245u + 12345u;
        values[i] = x >> 8;
    }
    for (int gap = COUNT / 2; gap > 0; gap /= 2)
        for (int i = gap; i < COUNT; ++i) {
            unsigned v = values[i];
            int j = i;
            for (; j >= gap && values[j - gap] > v; j -= gap)
                values[j] = values[j - gap];
            values[j] = v;
        }
    unsigned check = 0;
    for (int i = 0; i < COUNT; ++i)
        check = check * 31 + values[i];
    print(check);
    return 0;
}
