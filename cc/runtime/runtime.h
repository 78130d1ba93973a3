/* Internal declarations of roziduv2-cc's C library. The runtime is compiled with each
   program and linked with only-needed semantics: a program's own definition of a library
   function wins, and the library functions a program does not reach are dropped. */
#ifndef ROZ_RUNTIME_H
#define ROZ_RUNTIME_H

#include <stdarg.h>
#include <stddef.h>

/* Built into the compiler (see cc/UCcBuiltins.cpp). */
_Noreturn void __roz_exit(unsigned long r0); /* R0 := r0, then the program ends */
/* R0..R4 := r0..r4, then the program ends */
_Noreturn void __roz_exit_with(unsigned long r0, unsigned long r1, unsigned long r2, unsigned long r3,
                               unsigned long r4);
unsigned long __roz_memory_size(void);       /* --memory-size */
unsigned long __roz_stack_pointer(void);     /* SP: the first free byte of the stack */

/* The stack limit that every function's entry checks while the heap is linked: the heap's
   lowest byte less ROZ_STACK_RESERVE. The start-up sets it for an empty heap; malloc lowers
   it as the heap grows down and raises it as it shrinks. */
extern unsigned long __roz_stack_limit;

/* The formatting core of the printf family: writes the text of format and args into out
   (at most size - 1 characters and a terminating NUL when size > 0), prints each converted
   integer on the monitor when monitor is non-zero, and returns the length of the whole text. */
int __roz_format(char* out, size_t size, int monitor, const char* format, va_list args);

/* The length of the text of format and args, each converted integer printed on the monitor:
   vprintf's core (format.c). */
int __roz_count(const char* format, va_list args);

/* printf of a format with plain conversions only, which the compiler calls instead (format.c). */
int __roz_printf_plain(const char* format, ...);

#endif
