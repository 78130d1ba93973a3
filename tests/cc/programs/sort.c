// A bubble sort, a switch that -O2 turns into a table, a struct copy, unsigned wrap.
// expect-r0: 0
#include <roziduv2.h>
struct pair {
    int a;
    int b;
};
static int days(int m) {
    switch (m) {
    case 1:
        return 31;
    case 2:
        return 28;
    case 3:
        return 31;
    case 4:
        return 30;
    case 5:
        return 31;
    case 6:
        return 30;
    default:
        return 0;
    }
}
static void sort(int* v, int n) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j + 1 < n - i; ++j)
            if (v[j] > v[j + 1]) {
                int t = v[j];
                v[j] = v[j + 1];
                v[j + 1] = t;
            }
}
static volatile int seven = 7;
int main(void) {
    int v[7] = {5, -3, 9, 0, 2, 2, -8};
    sort(v, seven);
    for (int i = 0; i < 7; ++i)
        print(v[i]);
    for (int m = 0; m < seven; ++m)
        print(days(m));
    struct pair p = {1, 2}, q;
    q = p;
    q.b += 5;
    print(q.a + q.b);
    unsigned x = seven;
    print(x * 0x9E3779B9u >> 7);
    return 0;
}
