/* A linked list on the heap: malloc a node for each of the squares 1..10, print them in
   order and their sum, then free them all. The library's malloc makes the image larger than
   the default memory of 10000 bytes, so it is compiled and run with more:

       roziduv2-cc -O2 --memory-size 20000 list.c -o list.bin
       roziduv2-cli --memory-size 20000 list.bin
*/
#include <roziduv2.h>
#include <stdlib.h>

struct node {
    int value;
    struct node* next;
};

int main(void) {
    struct node* head = NULL;
    struct node** tail = &head;
    for (int i = 1; i <= 10; ++i) {
        struct node* node = malloc(sizeof *node);
        if (!node) return 1; /* the heap is full */
        node->value = i * i;
        node->next = NULL;
        *tail = node;
        tail = &node->next;
    }
    int sum = 0;
    for (struct node* node = head; node; node = node->next) {
        print(node->value);
        sum += node->value;
    }
    print(sum); /* 385 */
    while (head) {
        struct node* next = head->next;
        free(head);
        head = next;
    }
    return 0;
}
