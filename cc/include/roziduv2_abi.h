/* The values that roziduv2-cc's generated code, its start-up and its C library share. Plain
   macros, so that both the compiler (C++) and the library (C) read them from here. */
#ifndef ROZIDUV2_ABI_H
#define ROZIDUV2_ABI_H

/* R0 when a program ends other than by returning from main or calling exit() (which leave
   main's int result or exit's argument, sign-extended, so never one of these). The compiler
   records the first three in the program's debug information ("ends"), by which the runner
   and the window tell these ends from an ordinary one.
   A failed assert() leaves R1 = the address of its expression's text, R2 = of its file's
   name, R3 = its line, R4 = the address of its function's name. A stack overflow found by a
   function's entry leaves R1 as the CALL that entered it had it: the function's address
   less 4; found elsewhere (a variable-length array, a call's argument area) R1 is not. */
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
