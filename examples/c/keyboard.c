/* Keyboard echo, the C version of keyboard.s: each time a new key goes down, prints its key
   code and then its modifiers (1 Shift, 2 Alt, 4 Ctrl, added up). Escape ends the program.

       roziduv2-cli --keys keyboard.keys keyboard.bin
*/
#include <roziduv2.h>

#define ESCAPE 27

int main(void) {
    unsigned long last = 0;
    for (;;) {
        unsigned long word = key();
        if (word == last) continue;
        last = word;
        if (word == 0) continue; /* released */
        unsigned long code = word & 0xFFFF;
        if (code == ESCAPE) return 0;
        print(code);
        print(word >> 32);
    }
}
