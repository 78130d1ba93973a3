/* The machine's devices for C programs compiled by roziduv2-cc. */
#ifndef ROZIDUV2_H
#define ROZIDUV2_H

#include <roziduv2_abi.h>

/* Built into the compiler: each becomes a few instructions. Reserved names. */
void __roz_print(unsigned long n);
void __roz_clear_monitor(void);
unsigned long __roz_key(void);
unsigned long __roz_in(long port);
void __roz_out(long port, unsigned long word);

/* Prints the low 32 bits of n as an unsigned decimal line on the monitor (port 1). */
static inline void print(unsigned long n) { __roz_print(n); }

/* Clears the monitor. */
static inline void clear_monitor(void) { __roz_clear_monitor(); }

/* The keyboard word of port 0: the key held down (its key code in bits 0..15, e.g. 0x41
   for "A", 0x30..0x39 for the digits, 0x0D for Enter), with bit 32 set while Shift, bit 33
   while Alt and bit 34 while Ctrl is held; 0 when no key is down. */
static inline unsigned long key(void) { return __roz_key(); }

/* The 64-bit word read from a port (IN): port 0 is the keyboard; other ports read 0. */
static inline unsigned long port_in(int port) { return __roz_in(port); }

/* Writes a 64-bit word to a port (OUT): port 1 is the monitor (command in bits 56..63:
   0 clears, 1 prints the low 32 bits); other ports ignore it. */
static inline void port_out(int port, unsigned long word) { __roz_out(port, word); }

#endif
