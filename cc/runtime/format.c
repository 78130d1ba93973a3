// The formatting core of the printf family (see <stdio.h> for what it converts).
#include <roziduv2.h>

#include "runtime.h"

struct sink {
    char* out;
    size_t size;
    size_t count; // the length of the whole text so far
};

struct spec {
    int left, zero, plus, space, alt;
    int width;
    int precision; // -1 when not given
};

static void put(struct sink* sink, char c) {
    if (sink->count + 1 < sink->size) sink->out[sink->count] = c;
    ++sink->count;
}

static void pad(struct sink* sink, char c, int n) {
    for (; n > 0; --n)
        put(sink, c);
}

// The text of length bytes at text, padded to the width.
static void text(struct sink* sink, const struct spec* spec, const char* text, int length) {
    if (!spec->left) pad(sink, ' ', spec->width - length);
    for (int i = 0; i < length; ++i)
        put(sink, text[i]);
    if (spec->left) pad(sink, ' ', spec->width - length);
}

// sign: '-', '+', ' ' or 0; prefix "0x"/"0X" or "".
static void integer(struct sink* sink, const struct spec* spec, unsigned long long value, char sign,
                    unsigned base, int upper, const char* prefix) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];
    int n = 0;
    for (; value; value /= base)
        digits[n++] = set[value % base];
    const int precision = spec->precision < 0 ? 1 : spec->precision;
    int zeros = precision > n ? precision - n : 0;
    if (base == 8 && spec->alt && !zeros && (n == 0 || digits[n - 1] != '0')) zeros = 1;
    int prefixLength = 0;
    while (prefix[prefixLength])
        ++prefixLength;
    const int length = (sign != 0) + prefixLength + zeros + n;
    int spaces = spec->width > length ? spec->width - length : 0;
    if (spec->zero && !spec->left && spec->precision < 0) {
        zeros += spaces;
        spaces = 0;
    }
    if (!spec->left) pad(sink, ' ', spaces);
    if (sign) put(sink, sign);
    for (int i = 0; i < prefixLength; ++i)
        put(sink, prefix[i]);
    pad(sink, '0', zeros);
    while (n)
        put(sink, digits[--n]);
    if (spec->left) pad(sink, ' ', spaces);
}

// The next argument's 8-byte word: x86-64 passes every integer and pointer in one, and a
// narrower argument is its low bits. One place that reads arguments keeps the code small.
__attribute__((noinline)) static unsigned long next(va_list args) {
    return va_arg(args, unsigned long);
}

static int number(const char** format, va_list args) {
    if (**format == '*') {
        ++*format;
        return (int)next(args);
    }
    int value = 0;
    for (; **format >= '0' && **format <= '9'; ++*format)
        value = value * 10 + (**format - '0');
    return value;
}

// A scan rather than compares, which the optimiser would turn into a rotated switch.
static int is_wide(char c) {
    for (const char* p = "lzjt"; *p; ++p)
        if (*p == c) return 1;
    return 0;
}

// args is the x86-64 va_list, a pointer to its one record: number() and this function take
// the arguments from the same record.
static int format_list(struct sink* sink, int monitor, const char* format, va_list args) {
    for (; *format; ++format) {
        if (*format != '%') {
            put(sink, *format);
            continue;
        }
        struct spec spec = {0, 0, 0, 0, 0, 0, -1};
        for (;; ++format) {
            const char flag = format[1];
            if (flag == '-')
                spec.left = 1;
            else if (flag == '0')
                spec.zero = 1;
            else if (flag == '+')
                spec.plus = 1;
            else if (flag == ' ')
                spec.space = 1;
            else if (flag == '#')
                spec.alt = 1;
            else
                break;
        }
        ++format;
        spec.width = number(&format, args);
        if (spec.width < 0) {
            spec.left = 1;
            spec.width = -spec.width;
        }
        if (*format == '.') {
            ++format;
            spec.precision = number(&format, args);
            if (spec.precision < 0) spec.precision = -1;
        }
        int size = 0; // -2 hh, -1 h, 0 int, 1 long and wider (l ll z j t, all 64 bits)
        if (*format == 'h') {
            size = format[1] == 'h' ? -2 : -1;
            format -= size;
        }
        for (int wide = 0; wide < 2 && is_wide(*format); ++wide, ++format) {
            if (wide && format[-1] != 'l') break; // ll only
            size = 1;
        }
        const char conversion = *format;
        if (conversion == 'd' || conversion == 'i') {
            long long value = size > 0 ? (long)next(args) : (int)next(args);
            if (size == -1) value = (short)value;
            if (size == -2) value = (signed char)value;
            if (monitor) print((unsigned long)value);
            const char sign = value < 0 ? '-' : spec.plus ? '+' : spec.space ? ' ' : 0;
            const unsigned long long magnitude =
                value < 0 ? 0 - (unsigned long long)value : (unsigned long long)value;
            integer(sink, &spec, magnitude, sign, 10, 0, "");
        } else if (conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'o') {
            unsigned long long value = size > 0 ? next(args) : (unsigned)next(args);
            if (size == -1) value = (unsigned short)value;
            if (size == -2) value = (unsigned char)value;
            if (monitor) print((unsigned long)value);
            const unsigned base = conversion == 'u' ? 10 : conversion == 'o' ? 8 : 16;
            const char* prefix = spec.alt && value && base == 16 ? (conversion == 'X' ? "0X" : "0x") : "";
            integer(sink, &spec, value, 0, base, conversion == 'X', prefix);
        } else if (conversion == 'p') {
            const unsigned long value = next(args);
            if (monitor) print(value);
            if (value) {
                spec.alt = 0;
                integer(sink, &spec, value, spec.plus ? '+' : spec.space ? ' ' : 0, 16, 0, "0x");
            } else {
                text(sink, &spec, "(nil)", 5);
            }
        } else if (conversion == 'c') {
            const char c = (char)next(args);
            if (monitor) print((unsigned char)c);
            text(sink, &spec, &c, 1);
        } else if (conversion == 's') {
            const char* s = (const char*)next(args);
            if (!s) s = spec.precision < 0 || spec.precision >= 6 ? "(null)" : "";
            int length = 0;
            while (s[length] && (spec.precision < 0 || length < spec.precision))
                ++length;
            text(sink, &spec, s, length);
        } else if (conversion == '%') {
            put(sink, '%');
        } else { // not a conversion: the text as it stands
            put(sink, '%');
            if (!conversion) break;
            put(sink, conversion);
        }
    }
    return (int)sink->count;
}

int __roz_format(char* out, size_t size, int monitor, const char* format, va_list args) {
    struct sink sink = {out, size, 0};
    const int count = format_list(&sink, monitor, format, args);
    if (size) out[sink.count < size ? sink.count : size - 1] = 0;
    return count;
}
