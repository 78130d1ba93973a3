// The heap: first fit, a freed block found again, merged neighbours, calloc and realloc,
// NULL when memory is full and all of it back after free; exit() ends the program with its
// status in R0 from inside a function.
// host-oracle: no (it fills the machine's heap and ends through exit)
// expect-r0: -3
#include <roziduv2.h>
#include <stdlib.h>
#include <string.h>

static void finish(int status) {
    exit(status);
}

int main(void) {
    // The heap: a freed block is found again; merged neighbours hold a larger block.
    char* a = malloc(40);
    char* b = malloc(40);
    char* c = malloc(40);
    print(a && b && c && a != b && b != c);
    print(((unsigned long)a | (unsigned long)b) % 16); // 0
    strcpy(b, "kept");
    free(a);
    free(c);
    char* d = malloc(40);
    print(d == a || d == c);
    free(d);
    int* zeros = calloc(10, sizeof(int));
    long sum = 0;
    for (int i = 0; i < 10; ++i) sum += zeros[i];
    print(zeros != NULL && sum == 0);
    zeros[9] = 5;
    int* grown = realloc(zeros, 100 * sizeof(int));
    print(grown[9]);
    free(grown);
    print(strcmp(b, "kept") == 0);
    free(b);
    // Memory runs out: malloc returns NULL, and all of it comes back after free.
    void* blocks[200];
    int count = 0;
    while (count < 200 && (blocks[count] = malloc(400))) ++count;
    print(count < 200); // 1 (0 on the host)
    for (int i = 0; i < count; ++i) free(blocks[i]);
    void* again[200];
    int second = 0;
    while (second < 200 && (again[second] = malloc(400))) ++second;
    print(second == count);
    for (int i = 0; i < second; ++i) free(again[i]);
    print(malloc((size_t)-1) == NULL);
    finish(-3);
    print(99); // not reached
    return 0;
}
