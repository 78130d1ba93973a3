/* String handling with <string.h> and <ctype.h>: the monitor shows numbers only, so the program
   prints lengths, comparisons and character codes. The library's functions make the image
   larger than the default memory of 10000 bytes, so it is compiled and run with more:

       roziduv2-cc -O2 --memory-size 20000 strings.c -o strings.bin
       roziduv2-cli --memory-size 20000 strings.bin
*/
#include <ctype.h>
#include <roziduv2.h>
#include <string.h>

/* Reverses s in place. */
static void reverse(char* s) {
    for (size_t i = 0, j = strlen(s); i + 1 < j; ++i, --j) {
        char c = s[i];
        s[i] = s[j - 1];
        s[j - 1] = c;
    }
}

int main(void) {
    char text[32];
    strcpy(text, "Hello");
    strcat(text, ", world");
    print(strlen(text)); /* 12 */
    reverse(text);
    print(text[0]); /* 'd' = 100 */
    int upper = 0;
    for (char* p = text; *p; ++p)
        upper += isupper((unsigned char)*p) != 0;
    print(upper);                         /* 1: the H */
    print(strcmp("apple", "apples") < 0); /* 1 */
    const char* comma = strchr("a,b,c", ',');
    print(comma ? (unsigned long)(comma - "a,b,c") : 99); /* 1 */
    for (char* p = text; *p; ++p)
        *p = toupper((unsigned char)*p);
    print(text[1]); /* 'L' = 76 */
    return 0;
}
