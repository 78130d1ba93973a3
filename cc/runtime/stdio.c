// The printf family over the formatting core (sprintf, snprintf) and the counter (printf: the
// monitor shows numbers only, see <stdio.h>).
#include <stdio.h>

#include "runtime.h"

int vprintf(const char* restrict format, va_list args) {
    return __roz_count(format, args);
}

int vsnprintf(char* restrict buffer, size_t size, const char* restrict format, va_list args) {
    return __roz_format(buffer, size, 0, format, args);
}

int vsprintf(char* restrict buffer, const char* restrict format, va_list args) {
    return __roz_format(buffer, (size_t)-1, 0, format, args);
}

int printf(const char* restrict format, ...) {
    va_list args;
    va_start(args, format);
    const int count = vprintf(format, args);
    va_end(args);
    return count;
}

int sprintf(char* restrict buffer, const char* restrict format, ...) {
    va_list args;
    va_start(args, format);
    const int count = vsprintf(buffer, format, args);
    va_end(args);
    return count;
}

int snprintf(char* restrict buffer, size_t size, const char* restrict format, ...) {
    va_list args;
    va_start(args, format);
    const int count = vsnprintf(buffer, size, format, args);
    va_end(args);
    return count;
}

int puts(const char* s) {
    (void)s;
    return 0;
}

int putchar(int c) {
    return (unsigned char)c;
}
