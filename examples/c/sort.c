/* Sorts twelve numbers with insertion sort and prints them in ascending order. */
#include <roziduv2.h>

static void insertion_sort(int* values, int count) {
    for (int i = 1; i < count; ++i) {
        int value = values[i];
        int j = i;
        for (; j > 0 && values[j - 1] > value; --j)
            values[j] = values[j - 1];
        values[j] = value;
    }
}

int main(void) {
    int values[] = {42, 7, 19, 3, 88, 23, 1, 56, 12, 7, 64, 30};
    int count = sizeof values / sizeof values[0];
    insertion_sort(values, count);
    for (int i = 0; i < count; ++i)
        print(values[i]);
    return 0;
}
