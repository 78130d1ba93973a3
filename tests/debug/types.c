// Variables of every kind of C type, a nested block and a finished loop: the values panel's
// and the watch expressions' test (ValueTest.cpp finds its stops by the comments).
#include <roziduv2.h>
#include <string.h>

struct point { int x, y; };
struct node { int value; struct node* next; };
enum color { RED, GREEN = 5, BLUE };
typedef struct point point_t;
struct flags { unsigned a : 3; int b : 4; };
union word { int i; unsigned char bytes[4]; };

int moves;
struct node second = {2, 0};
struct node first = {1, &second};

int sum(const int* a, int n) {
    int total = 0;
    for (int i = 0; i < n; i++) {
        int twice = a[i] * 2;
        total += twice / 2;
    }
    return total; // stop: after the loop
}

int main(void) {
    char buf[16];
    const char* text = "Hello\n";
    point_t p = {1, 2};
    int a[5] = {1, 2, 3, 4, 5};
    int grid[2][3] = {{1, 2, 3}, {4, 5, 6}};
    enum color c = GREEN;
    struct node* list = &first;
    struct flags f = {5, -3};
    union word w;
    w.i = 0x44434241;
    strcpy(buf, "Hi there");
    {
        int inner = 7;
        moves += inner; // stop: in the block
    }
    moves += sum(a, 5) + p.x + c + list->value + grid[1][2] + f.b + w.bytes[0]; // stop: after the block
    print(moves);
    return moves;
}
