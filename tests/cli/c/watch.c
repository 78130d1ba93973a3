/* Moves counted in globals, for the runner's --watch: the start-up's clearing of .bss does not
   stop a watch on them; each change does. */
#include <roziduv2.h>

int moves;
long table[4];

static void move(int n) {
    moves = moves + n;
}

int main(void) {
    for (int i = 1; i <= 3; ++i) {
        move(i);
        table[i] = i * 10;
    }
    print(moves);
    return 0;
}
