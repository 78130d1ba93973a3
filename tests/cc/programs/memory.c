// Stores of every width through pointers keep their neighbours; arrays, structs, globals,
// local initialisers (memset, memcpy) and pointer arithmetic.
// expect-r0: 0
#include <roziduv2.h>

struct point {
    char tag;
    short dx;
    int x;
    long y;
};

char text[] = "hello";
int table[5] = {1, 2, 3, 4, 5};
struct point origin = {'o', -1, 2, 3};
static long counter;

static void fill(char* p, int n, char value) {
    for (int i = 0; i < n; ++i) p[i] = value + i;
}

static long sum(const int* values, int n) {
    long total = 0;
    for (int i = 0; i < n; ++i) total += values[i];
    return total;
}

int main(void) {
    char bytes[20];
    fill(bytes, 20, 'a');
    bytes[5] = 'Z';
    for (int i = 3; i < 8; ++i) print(bytes[i]); // 100 101 90 103 104
    short halves[6] = {1, 2, 3};
    halves[1] = -2;
    for (int i = 0; i < 4; ++i) print((unsigned short)halves[i]); // 1 65534 3 0
    int words[4] = {10, 20, 30, 40};
    int* p = &words[1];
    *p = 21;
    p[1] += 1;
    for (int i = 0; i < 4; ++i) print(words[i]); // 10 21 31 40
    text[1] = 'E';
    for (int i = 0; i < 5; ++i) print(text[i]); // 104 69 108 108 111
    table[2] = 30;
    print(sum(table, 5)); // 42
    struct point q = origin;
    q.dx = 5;
    q.tag = 'q';
    print(q.tag);
    print((unsigned short)q.dx);
    print(q.x);
    print(q.y);
    print(origin.tag);
    counter += 3;
    counter *= 5;
    print(counter); // 15
    char zero[40] = {0};
    zero[39] = 1;
    long nonzero = 0;
    for (int i = 0; i < 40; ++i) nonzero += zero[i];
    print(nonzero); // 1
    return 0;
}
