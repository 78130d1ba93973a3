/* Prints the prime numbers below 50, testing each candidate by trial division: the C
   version of primes.s.

       roziduv2-cc -O2 primes.c -o primes.bin
       roziduv2-cli primes.bin
*/
#include <roziduv2.h>

static int is_prime(int n) {
    for (int d = 2; d * d <= n; ++d)
        if (n % d == 0) return 0;
    return 1;
}

int main(void) {
    for (int n = 2; n < 50; ++n)
        if (is_prime(n)) print(n);
    return 0;
}
