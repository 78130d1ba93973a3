// The formatting core of the printf family (see <stdio.h> for what it converts), and the
// counters that printf uses.
//
// Written for the size of the code this machine's compiler makes of it: every constant and
// every jump target costs a 24-byte load, a byte store several instructions and a function
// call a store per argument. So the format is read through tables, every piece of output
// (a literal run, a conversion, "%%") is described as one field (spaces, a head such as
// "-" or "0x", zeros, a body, spaces) and written by one loop, and the characters are
// written in one place.
#include <roziduv2.h>

#include "runtime.h"

enum { Left = 1, Zero = 2, Plus = 4, Space = 8, Alt = 16 };

// The conversions, by their index: c s p | d i | o u x X. Below 3 the body is text; d and i
// are signed; the base is Bases[index].
static const char Kinds[] = "cspdiouxX";
static const char Bases[] = {0, 0, 16, 10, 10, 8, 10, 16, 16};
// The heads of numbers, each ending in a NUL: " " at 0, "" at 1, "+" at 2, "-" at 4, " 0x" at 6,
// "0x" at 7, "+0x" at 10, "0X" at 14.
static const char Heads[] = " \0+\0-\0 0x\0+0x\0000X";
static const char Set[] = "0123456789abcdef0123456789ABCDEF";

// The index of c in the NUL-terminated set, or -1 (also for c == 0).
static long find(const char* set, unsigned char c) {
    long i = 0;
    for (; set[i]; ++i)
        if ((unsigned char)set[i] == c) return i;
    return -1;
}

// The next argument's 8-byte word: x86-64 passes every integer and pointer in one, and a
// narrower argument is its low bits. One place that reads arguments keeps the code small.
__attribute__((noinline)) static unsigned long next(va_list args) {
    return va_arg(args, unsigned long);
}


// Where the text goes: out holds the first size - 1 characters of it; count is its length so
// far. One record for the formatter, which nothing calls while it runs, keeps the live values
// of its loop few enough for the machine's registers.
static struct {
    char* out;
    long size;
    long count;
    long monitor;
} Sink;
static char Digits[24];
static unsigned long Cell; // the body of %c, %% and an unknown conversion

// args is the x86-64 va_list, a pointer to its one record: next() takes the arguments from it.
static void format_list(const unsigned char* format, va_list args) {
    while (*format) {
        const unsigned char* body = format; // the field: pad spaces (before when > 0, after when
        const char* head = Heads + 1;       // < 0), head, zeros, length bytes of body
        long length = 0, pad = 0, zeros = 0;
        if (*format != '%') {
            while (format[length] && format[length] != '%')
                ++length;
            format += length;
        } else {
            long flags = 0;
            for (long flag; (flag = find("-0+ #", *++format)) >= 0;)
                flags |= 1L << flag;
            // The width, then the precision after a '.': digits or * for the next argument.
            long width = 0, precision = -1;
            for (long part = 0;; ++part) {
                long value = 0;
                if (*format == '*') {
                    ++format;
                    value = (int)next(args);
                } else {
                    for (; *format - '0' < 10u; ++format)
                        value = value * 10 + (*format - '0');
                }
                if (part) {
                    precision = value < 0 ? -1 : value;
                    break;
                }
                width = value;
                if (*format != '.') break;
                ++format;
            }
            if (width < 0) {
                flags |= Left;
                width = -width;
            }
            // Bits dropped from the top of the argument: 32 for int, 48 for h, 56 for hh, 0 for
            // the 64-bit lengths l ll z j t.
            long drop = 32;
            for (long size; (size = find("hlzjt", *format)) >= 0; ++format)
                drop = size ? 0 : (drop + 64) >> 1;
            const unsigned char conversion = *format;
            if (conversion) ++format;
            const long kind = find(Kinds, conversion);
            if (kind < 0) { // %% and text that is no conversion: as it stands, without the %'s extras
                Cell = '%' | (unsigned long)conversion << 8;
                body = (const unsigned char*)&Cell;
                length = conversion && conversion != '%' ? 2 : 1;
                width = 0;
            } else {
                unsigned long value = next(args);
                if (kind < 3) drop = kind ? 0 : 56; // a pointer, or %c's unsigned char
                const int isSigned = kind == 3 || kind == 4;
                value = (unsigned long)((long)(value << drop) >> drop);
                if (!isSigned) value &= ~(~1ul << (63 - drop));
                if (Sink.monitor && kind != 1) print(value);
                if (kind == 0) {
                    Cell = value;
                    body = (const unsigned char*)&Cell;
                    length = 1;
                } else if (kind < 3 && !(kind == 2 && value)) { // %s, or %p of a null pointer
                    const long limit = kind == 1 && precision >= 0 ? precision : 0x7fffffff;
                    body = (const unsigned char*)(kind == 2 ? "(nil)" : value ? (const char*)value
                                                  : precision < 0 || precision >= 6 ? "(null)" : "");
                    while (length < limit && body[length])
                        ++length;
                } else {
                    const long base = Bases[kind];
                    const long upper = kind == 8 ? 16 : 0;
                    long sign = 1; // the head's place in Heads
                    if (isSigned && (long)value < 0) {
                        value = 0 - value;
                        sign = 4;
                    } else if (kind < 5 && flags & (Plus | Space)) {
                        sign = flags & Plus ? 2 : 0;
                    }
                    long at = sizeof Digits;
                    for (; value; value /= base)
                        Digits[--at] = Set[value % base + upper];
                    body = (const unsigned char*)Digits + at;
                    length = (long)sizeof Digits - at;
                    zeros = (precision < 0 ? 1 : precision) - length;
                    if (zeros < 0) zeros = 0;
                    if (base == 8 && flags & Alt && !zeros) zeros = 1;
                    if (length && (kind == 2 || (flags & Alt && base == 16))) // 0x after the sign
                        sign = sign == 1 ? upper ? 14 : 7 : 6 + 2 * sign;
                    head = Heads + sign;
                    if ((flags & (Zero | Left)) == Zero && precision < 0) {
                        long heads = 0;
                        while (head[heads])
                            ++heads;
                        if (width - heads - length > zeros) zeros = width - heads - length;
                    }
                }
            }
            long heads = 0;
            while (head[heads])
                ++heads;
            pad = width - heads - zeros - length;
            if (pad < 0) pad = 0;
            if (flags & Left) pad = -pad;
        }
        for (char c;; ++Sink.count) {
            if (pad > 0) {
                c = ' ';
                --pad;
            } else if (*head) {
                c = *head++;
            } else if (zeros) {
                c = '0';
                --zeros;
            } else if (length) {
                c = *body++;
                --length;
            } else if (pad) {
                c = ' ';
                ++pad;
            } else {
                break;
            }
            if (Sink.count + 1 < Sink.size) Sink.out[Sink.count] = c;
        }
    }
}

int __roz_format(char* out, size_t size, int monitor, const char* format, va_list args) {
    const long limit = size > 0x7fffffffffffffff ? 0x7fffffffffffffff : (long)size;
    Sink.out = out;
    Sink.size = limit;
    Sink.count = 0;
    Sink.monitor = monitor;
    format_list((const unsigned char*)format, args);
    const long count = Sink.count;
    if (size) out[count < limit ? count : limit - 1] = 0;
    return (int)count;
}

// The length of the text of format and args, each converted integer printed on the monitor:
// vprintf, and so printf, writes no text, and counting it takes a fraction of the formatter's
// code. It reads the format as format_list() does; a field's length is its width or more.
int __roz_count(const char* text, va_list args) {
    const unsigned char* format = (const unsigned char*)text;
    long count = 0;
    while (*format) {
        if (*format != '%') {
            ++format;
            ++count;
            continue;
        }
        long flags = 0;
        for (long flag; (flag = find("-0+ #", *++format)) >= 0;)
            flags |= 1L << flag;
        long width = 0, precision = -1;
        for (long part = 0;; ++part) {
            long value = 0;
            if (*format == '*') {
                ++format;
                value = (int)next(args);
            } else {
                for (; *format - '0' < 10u; ++format)
                    value = value * 10 + (*format - '0');
            }
            if (part) {
                precision = value < 0 ? -1 : value;
                break;
            }
            width = value < 0 ? -value : value;
            if (*format != '.') break;
            ++format;
        }
        long drop = 32;
        for (long size; (size = find("hlzjt", *format)) >= 0; ++format)
            drop = size ? 0 : (drop + 64) >> 1;
        const unsigned char conversion = *format;
        if (conversion) ++format;
        const long kind = find(Kinds, conversion);
        if (kind < 0) { // %% and text that is no conversion, as it stands
            count += conversion && conversion != '%' ? 2 : 1;
            continue;
        }
        unsigned long value = next(args);
        if (kind < 3) drop = kind ? 0 : 56;
        const int isSigned = kind == 3 || kind == 4;
        value = (unsigned long)((long)(value << drop) >> drop);
        if (!isSigned) value &= ~(~1ul << (63 - drop));
        if (kind != 1) print(value);
        long length = 1; // %c
        if (kind == 1 || (kind == 2 && !value)) { // %s, or %p of a null pointer
            const long limit = kind == 1 && precision >= 0 ? precision : 0x7fffffff;
            const char* body = kind == 2 ? "(nil)" : value ? (const char*)value
                                                   : precision < 0 || precision >= 6 ? "(null)" : "";
            length = 0;
            while (length < limit && body[length])
                ++length;
        } else if (kind) {
            const long base = Bases[kind];
            long heads = 0, digits = 0;
            if (isSigned && (long)value < 0) {
                value = 0 - value;
                heads = 1;
            } else if (kind < 5 && flags & (Plus | Space)) {
                heads = 1;
            }
            if (value && (kind == 2 || (flags & Alt && base == 16))) heads += 2; // 0x
            for (; value; value /= base)
                ++digits;
            long zeros = (precision < 0 ? 1 : precision) - digits;
            if (zeros < 0) zeros = 0;
            if (base == 8 && flags & Alt && !zeros) zeros = 1;
            length = heads + zeros + digits;
        }
        count += width > length ? width : length;
    }
    return (int)count;
}

// printf of a constant format whose conversions are all plain (%d %i %u %o %x %X %c %s %p and
// %%, without flags, width, precision or length; the compiler checks the format and calls this
// instead). The monitor shows no text, so printf only prints the converted integers and returns
// the text's length, which is counted here without the formatter, in a fraction of its code.
int __roz_printf_plain(const char* restrict format, ...) {
    va_list args;
    va_start(args, format);
    long count = 0;
    for (const char* at = format; *at; ++at, ++count) {
        if (*at != '%') continue;
        const char conversion = *++at;
        if (conversion == '%') continue;
        unsigned long value = va_arg(args, unsigned long);
        if (conversion == 's') {
            const char* text = value ? (const char*)value : "(null)";
            while (*text++)
                ++count;
            --count;
            continue;
        }
        long base = 16;
        if (conversion == 'd' || conversion == 'i') {
            value = (unsigned long)(long)(int)value;
            if ((long)value < 0) ++count; // the sign
        } else if (conversion == 'c') {
            value = (unsigned char)value;
        } else if (conversion != 'p') {
            value = (unsigned)value;
        }
        print(value);
        if (conversion == 'c') continue;
        if (conversion == 'p') {
            count += value ? 2 : 4; // 0x, or (nil)
            if (!value) continue;
        }
        if (conversion == 'd' || conversion == 'i') {
            if ((long)value < 0) value = 0 - value;
            base = 10;
        }
        if (conversion == 'u') base = 10;
        if (conversion == 'o') base = 8;
        while (value /= base) // the first digit is counted with the conversion's character
            ++count;
    }
    va_end(args);
    return (int)count;
}
