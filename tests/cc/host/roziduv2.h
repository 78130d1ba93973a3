/* The host's stand-in for <roziduv2.h>: the same functions over stdio, so that a portable
   test program compiled by the host compiler prints what the simulator's monitor shows (one
   decimal line per print, the low 32 bits; "\f" for a clear). The keyboard and the ports read
   0. host_main.c reports main's result. */
#ifndef ROZIDUV2_H
#define ROZIDUV2_H

#include <stdio.h>

static inline void print(unsigned long n) {
    printf("%lu\n", n & 0xFFFFFFFFUL);
}
static inline void clear_monitor(void) {
    printf("\f\n");
}
static inline unsigned long key(void) {
    return 0;
}
static inline unsigned long port_in(int port) {
    return (void)port, 0;
}
static inline void port_out(int port, unsigned long word) {
    if (port == 1) print(word);
}

#endif
