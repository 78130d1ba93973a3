/* The values that roziduv2-cc's generated code, its start-up and its C library share. Plain
   macros, so that both the compiler (C++) and the library (C) read them from here. */
#ifndef ROZIDUV2_ABI_H
#define ROZIDUV2_ABI_H

/* R0 when a program ends other than by returning from main or calling exit(). */
#define ROZ_R0_ABORT 0xDEAD0000000000ABULL          /* abort() */
#define ROZ_R0_ASSERT 0xDEAD0000000000A5ULL         /* a failed assert(), after printing its line */
#define ROZ_R0_STACK_OVERFLOW 0xDEAD00000000005AULL /* a function's frame would pass the stack limit */
#define ROZ_R0_TRAP 0xDEAD000000000054ULL           /* __builtin_trap() */

/* The bytes at the end of memory that nothing uses: the heap's top is the end of memory less
   these, rounded down to 16. */
#define ROZ_HEAP_GUARD 16
/* Each function's entry checks that its new stack pointer is at least this far below the
   stack limit (the heap's lowest byte), which leaves room for the records and arguments of
   the calls it makes. */
#define ROZ_STACK_RESERVE 256

#endif
