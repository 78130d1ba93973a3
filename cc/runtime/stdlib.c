// The <stdlib.h> functions but the heap (malloc.c).
#include <roziduv2_abi.h>
#include <stdlib.h>

#include "runtime.h"

void exit(int status) {
    __roz_exit((unsigned long)(long)status);
}

void _Exit(int status) {
    __roz_exit((unsigned long)(long)status);
}

// Not inlined: its own frame's records tell the runner and the window where it was called.
__attribute__((noinline)) void abort(void) {
    __roz_exit(ROZ_R0_ABORT);
}

int abs(int n) {
    return n < 0 ? -n : n;
}

long labs(long n) {
    return n < 0 ? -n : n;
}

long long llabs(long long n) {
    return n < 0 ? -n : n;
}

div_t div(int numerator, int denominator) {
    div_t result = {numerator / denominator, numerator % denominator};
    return result;
}

ldiv_t ldiv(long numerator, long denominator) {
    ldiv_t result = {numerator / denominator, numerator % denominator};
    return result;
}

static unsigned long next_random = 1;

int rand(void) {
    next_random = next_random * 1103515245 + 12345;
    return (int)((unsigned)(next_random / 65536) % 32768);
}

void srand(unsigned seed) {
    next_random = seed;
}

static int is_space(int c) {
    return c == ' ' || (unsigned)c - '\t' < 5;
}

static int digit_value(int c) {
    if ((unsigned)c - '0' < 10) return c - '0';
    if ((unsigned)(c | 32) - 'a' < 26) return (c | 32) - 'a' + 10;
    return 99;
}

// The magnitude of a number in base 2..36 (0: C's prefixes), saturated at ULONG_MAX; *negative
// for a leading '-'; *end after the last digit, or s when there is none.
static unsigned long parse(const char* s, char** end, int base, int* negative, int* overflow) {
    const char* p = s;
    while (is_space(*p))
        ++p;
    *negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if ((base == 0 || base == 16) && p[0] == '0' && (p[1] | 32) == 'x' && digit_value(p[2]) < 16) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = *p == '0' ? 8 : 10;
    }
    unsigned long value = 0;
    const char* first = p;
    *overflow = 0;
    for (int digit; (digit = digit_value(*p)) < base; ++p) {
        if (value > (~0UL - (unsigned long)digit) / (unsigned long)base) *overflow = 1;
        value = value * (unsigned long)base + (unsigned long)digit;
    }
    if (end) *end = (char*)(p == first ? s : p);
    return *overflow ? ~0UL : value;
}

long strtol(const char* restrict s, char** restrict end, int base) {
    int negative, overflow;
    const unsigned long magnitude = parse(s, end, base, &negative, &overflow);
    const unsigned long limit = negative ? 0x8000000000000000UL : 0x7FFFFFFFFFFFFFFFUL;
    if (magnitude > limit) return negative ? (long)0x8000000000000000UL : 0x7FFFFFFFFFFFFFFFL;
    return negative ? (long)(0 - magnitude) : (long)magnitude;
}

unsigned long strtoul(const char* restrict s, char** restrict end, int base) {
    int negative, overflow;
    const unsigned long magnitude = parse(s, end, base, &negative, &overflow);
    return negative && !overflow ? 0 - magnitude : magnitude;
}

int atoi(const char* s) {
    return (int)strtol(s, NULL, 10);
}

long atol(const char* s) {
    return strtol(s, NULL, 10);
}

long long atoll(const char* s) {
    return strtol(s, NULL, 10);
}

static void swap(char* a, char* b, size_t size) {
    for (; size; --size, ++a, ++b) {
        const char t = *a;
        *a = *b;
        *b = t;
    }
}

// Heap sort: no recursion and no extra memory.
static void sift(char* base, size_t root, size_t count, size_t size,
                 int (*compare)(const void*, const void*)) {
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= count) return;
        if (child + 1 < count && compare(base + child * size, base + (child + 1) * size) < 0) ++child;
        if (compare(base + root * size, base + child * size) >= 0) return;
        swap(base + root * size, base + child * size, size);
        root = child;
    }
}

void qsort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*)) {
    if (count < 2) return;
    for (size_t i = count / 2; i-- > 0;)
        sift(base, i, count, size, compare);
    for (size_t last = count - 1; last > 0; --last) {
        swap(base, (char*)base + last * size, size);
        sift(base, 0, last, size, compare);
    }
}

void* bsearch(const void* key, const void* base, size_t count, size_t size,
              int (*compare)(const void*, const void*)) {
    const char* low = base;
    while (count) {
        const char* middle = low + count / 2 * size;
        const int order = compare(key, middle);
        if (!order) return (void*)middle;
        if (order > 0) {
            low = middle + size;
            count -= count / 2 + 1;
        } else {
            count /= 2;
        }
    }
    return NULL;
}
