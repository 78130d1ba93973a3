/* Formatted output of roziduv2-cc's C library (cc/runtime/stdio.c, format.c).

   The machine's monitor shows numbers only, so text goes nowhere: printf formats as C's
   printf does, prints each integer argument that it converts (%d %i %u %o %x %X %c %p) on the
   monitor with print() (its low 32 bits, unsigned: -1 shows as 4294967295), and returns the
   length of the formatted text. puts and putchar print nothing. sprintf and snprintf write
   the text into a buffer and print nothing.

   Conversions: %d %i %u %o %x %X %c %s %p %%, with the flags - 0 + space #, a width and a
   precision (numbers or *), and the lengths hh h l ll z j t. Floating point is not
   supported on this machine.

   printf and vprintf count the text instead of writing it, in a fraction of the formatter's
   code; a printf whose format is a constant string of conversions without flags, width,
   precision or length is compiled as a call of a still smaller counter. Results and monitor
   numbers are the same. */
#ifndef _ROZ_STDIO_H
#define _ROZ_STDIO_H

#include <stdarg.h>
#include <stddef.h>

#define EOF (-1)

int printf(const char* restrict format, ...);
int sprintf(char* restrict buffer, const char* restrict format, ...);
int snprintf(char* restrict buffer, size_t size, const char* restrict format, ...);
int vprintf(const char* restrict format, va_list args);
int vsprintf(char* restrict buffer, const char* restrict format, va_list args);
int vsnprintf(char* restrict buffer, size_t size, const char* restrict format, va_list args);
int puts(const char* s);
int putchar(int c);

#endif
