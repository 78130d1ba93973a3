// A program far larger than the default memory, compiled with --grow-memory: its .dbg asks for
// the memory it was compiled for, and it runs there with its heap and a call chain intact.
// memory-size: grow
// expect-r0: 0
#include <roziduv2.h>
#include <stdlib.h>

static int grid[100][100];

static long diagonal(int i) { return i == 100 ? 0 : grid[i][99 - i] + diagonal(i + 1); }

int main(void) {
    int* cells = malloc(400 * sizeof(int));
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            grid[i][j] = i * j;
    cells[399] = 5;
    print(diagonal(0));
    print(cells[399]);
    return 0;
}
