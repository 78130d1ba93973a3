// Strings through pointers, main with argc and argv, a linked list in a static pool,
// unsigned char arithmetic and a byte-wise checksum.
// expect-r0: 1
#include <roziduv2.h>

struct node {
    struct node* next;
    int value;
};

static struct node pool[8];

static unsigned long length(const char* s) {
    unsigned long n = 0;
    while (s[n]) ++n;
    return n;
}

static void reverse(char* s) {
    unsigned long n = length(s);
    for (unsigned long i = 0; i < n / 2; ++i) {
        char t = s[i];
        s[i] = s[n - 1 - i];
        s[n - 1 - i] = t;
    }
}

static unsigned char checksum(const char* s) {
    unsigned char sum = 0;
    for (; *s; ++s) sum = (unsigned char)(sum * 31 + (unsigned char)*s);
    return sum;
}

int main(int argc, char** argv) {
    print((unsigned long)argc);        // 0
    print(argv[0] == 0);               // 1
    char word[] = "roziduv2!";
    print(length(word));               // 9
    reverse(word);
    for (int i = 0; word[i]; ++i) print(word[i]);
    print(checksum(word));
    struct node* head = 0;
    for (int i = 0; i < 8; ++i) {
        pool[i].value = i * i;
        pool[i].next = head;
        head = &pool[i];
    }
    long total = 0;
    for (struct node* n = head; n; n = n->next) total = total * 3 + n->value;
    print((unsigned long)total);
    return word[0] == '!';
}
