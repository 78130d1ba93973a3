/* The product of two 12x12 integer matrices: nested loops, multiplies, indexing. */
#include <roziduv2.h>

#define N 12
static long a[N][N], b[N][N], c[N][N];

int main(void) {
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            a[i][j] = i + 2 * j;
            b[i][j] = i - j;
        }
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            long sum = 0;
            for (int k = 0; k < N; ++k)
                sum += a[i][k] * b[k][j];
            c[i][j] = sum;
        }
    long trace = 0;
    for (int i = 0; i < N; ++i)
        trace += c[i][i];
    print(trace);
    return 0;
}
