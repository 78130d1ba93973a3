/* General utilities of roziduv2-cc's C library (cc/runtime/stdlib.c, malloc.c).

   The program ends with exit(status) as when main returns status: R0 holds status
   sign-extended to 64 bits. abort() ends it with R0 = ROZ_R0_ABORT (<roziduv2_abi.h>).

   The heap grows down from the end of memory (less ROZ_HEAP_GUARD bytes) towards the stack,
   which grows up from the end of the program's image: malloc returns NULL when the block
   would come closer than ROZ_STACK_RESERVE bytes to the stack, and while the heap is in use
   a call whose frame would reach into it ends the program with ROZ_R0_STACK_OVERFLOW. Blocks
   are aligned to 16 bytes and carry a 16-byte header. */
#ifndef _ROZ_STDLIB_H
#define _ROZ_STDLIB_H

#include <stddef.h>

#define EXIT_SUCCESS 0
#define EXIT_FAILURE 1
#define RAND_MAX 32767

typedef struct {
    int quot, rem;
} div_t;
typedef struct {
    long quot, rem;
} ldiv_t;

_Noreturn void exit(int status);
_Noreturn void _Exit(int status);
_Noreturn void abort(void);

int abs(int n);
long labs(long n);
long long llabs(long long n);
div_t div(int numerator, int denominator);
ldiv_t ldiv(long numerator, long denominator);

/* rand: the linear congruential generator of the C standard's example (RAND_MAX 32767);
   srand(seed) restarts it, the seed is 1 at start. */
int rand(void);
void srand(unsigned seed);

void* malloc(size_t size);
void* calloc(size_t count, size_t size);
void* realloc(void* block, size_t size);
void free(void* block);

int atoi(const char* s);
long atol(const char* s);
long long atoll(const char* s);
long strtol(const char* restrict s, char** restrict end, int base);
unsigned long strtoul(const char* restrict s, char** restrict end, int base);

void qsort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*));
void* bsearch(const void* key, const void* base, size_t count, size_t size,
              int (*compare)(const void*, const void*));

#endif
