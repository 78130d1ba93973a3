/* A list of 2000 nodes on the heap (about 64 KB): right only in the memory it was compiled
   for, whose end the heap starts from. */
#include <roziduv2.h>
#include <stdlib.h>

struct node {
    struct node* next;
    long value[3];
};

int main(void) {
    struct node* head = 0;
    for (long i = 1; i <= 2000; ++i) {
        struct node* n = malloc(sizeof *n);
        if (!n) return -1;
        n->value[0] = i;
        n->next = head;
        head = n;
    }
    long sum = 0;
    for (struct node* n = head; n; n = n->next)
        sum += n->value[0];
    print(sum);
    return 0;
}
