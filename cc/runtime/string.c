// The <string.h> functions. memcpy, memmove and memset are the compiler's inline block copies.
#include <string.h>

void* memcpy(void* restrict dst, const void* restrict src, size_t n) {
    return __builtin_memcpy(dst, src, n);
}

void* memmove(void* dst, const void* src, size_t n) {
    return __builtin_memmove(dst, src, n);
}

void* memset(void* dst, int c, size_t n) {
    return __builtin_memset(dst, c, n);
}

int memcmp(const void* a, const void* b, size_t n) {
    const unsigned char *p = a, *q = b;
    for (; n; --n, ++p, ++q)
        if (*p != *q) return *p - *q;
    return 0;
}

void* memchr(const void* s, int c, size_t n) {
    for (const unsigned char* p = s; n; --n, ++p)
        if (*p == (unsigned char)c) return (void*)p;
    return NULL;
}

size_t strlen(const char* s) {
    const char* p = s;
    while (*p)
        ++p;
    return (size_t)(p - s);
}

size_t strnlen(const char* s, size_t n) {
    size_t i = 0;
    while (i < n && s[i])
        ++i;
    return i;
}

char* strcpy(char* restrict dst, const char* restrict src) {
    return memcpy(dst, src, strlen(src) + 1);
}

char* strncpy(char* restrict dst, const char* restrict src, size_t n) {
    const size_t length = strnlen(src, n);
    memcpy(dst, src, length);
    memset(dst + length, 0, n - length);
    return dst;
}

char* strcat(char* restrict dst, const char* restrict src) {
    strcpy(dst + strlen(dst), src);
    return dst;
}

char* strncat(char* restrict dst, const char* restrict src, size_t n) {
    char* end = dst + strlen(dst);
    const size_t length = strnlen(src, n);
    memcpy(end, src, length);
    end[length] = 0;
    return dst;
}

int strcmp(const char* a, const char* b) {
    for (; *a && *a == *b; ++a, ++b) {
    }
    return (unsigned char)*a - (unsigned char)*b;
}

int strncmp(const char* a, const char* b, size_t n) {
    for (; n; --n, ++a, ++b)
        if (*a != *b || !*a) return (unsigned char)*a - (unsigned char)*b;
    return 0;
}

char* strchr(const char* s, int c) {
    for (;; ++s) {
        if (*s == (char)c) return (char*)s;
        if (!*s) return NULL;
    }
}

char* strrchr(const char* s, int c) {
    const char* found = NULL;
    for (;; ++s) {
        if (*s == (char)c) found = s;
        if (!*s) return (char*)found;
    }
}

char* strstr(const char* haystack, const char* needle) {
    const size_t length = strlen(needle);
    for (; *haystack; ++haystack)
        if (!strncmp(haystack, needle, length)) return (char*)haystack;
    return *needle ? NULL : (char*)haystack;
}

size_t strspn(const char* s, const char* accept) {
    size_t n = 0;
    while (s[n] && strchr(accept, s[n]))
        ++n;
    return n;
}

size_t strcspn(const char* s, const char* reject) {
    size_t n = 0;
    while (s[n] && !strchr(reject, s[n]))
        ++n;
    return n;
}
