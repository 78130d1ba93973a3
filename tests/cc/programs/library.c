// The C library's strings and character classes, the ports; a program's own definition of a
// library function (strlen here) wins over the library's.
// host-oracle: no (the library's strcpy calls the program's own strlen on the machine only)
// expect-r0: 0
#include <ctype.h>
#include <roziduv2.h>
#include <string.h>

static int own_strlen_calls;

size_t strlen(const char* s) {
    ++own_strlen_calls;
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

int main(void) {
    char buffer[32];
    strcpy(buffer, "hello");
    strcat(buffer, ", world");
    print(own_strlen_calls > 0);                 // 1: the library's strcpy and strcat call it (0 on the host)
    print(strlen(buffer));                       // 12
    print(strcmp(buffer, "hello") > 0);          // 1
    print(strncmp(buffer, "help", 3) == 0);      // 1
    print(strchr(buffer, 'w') - buffer);         // 7
    print(strrchr(buffer, 'l') - buffer);        // 10
    print(strstr(buffer, "wor") - buffer);       // 7
    print(strstr(buffer, "xyz") == NULL);        // 1
    print(memcmp("abc", "abd", 3) < 0);          // 1
    print(strspn("  x", " ") + 10 * strcspn("ab,c", ","));
    char copy[8];
    strncpy(copy, "ab", sizeof copy);
    print(copy[1] + copy[7]);
    memmove(buffer + 1, buffer, 5);
    print(buffer[5]);                            // 'l'
    memset(buffer, 'z', 3);
    print(buffer[2] + buffer[3]);

    int digits = 0, upper = 0, space = 0;
    for (const char* p = "Ab 1\t9Z!"; *p; ++p) {
        digits += isdigit(*p) != 0;
        upper += isupper(*p) != 0;
        space += isspace(*p) != 0;
    }
    print(digits * 100 + upper * 10 + space);   // 222
    print(toupper('q') + tolower('Q') + toupper('1'));

    port_out(1, (1UL << 56) | 42);             // 42 on the monitor (not on the host)
    print(port_in(0) + port_in(7));             // 0: no key, no device (not on the host)
    return 0;
}
