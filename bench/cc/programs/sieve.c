/* The sieve of Eratosthenes over bytes: byte loads and stores. */
#include <roziduv2.h>

#define LIMIT 2000
static char composite[LIMIT];

int main(void) {
    int count = 0;
    for (int i = 2; i < LIMIT; ++i) {
        if (composite[i]) continue;
        ++count;
        for (int j = i * i; j < LIMIT; j += i)
            composite[j] = 1;
    }
    print(count);
    return 0;
}
