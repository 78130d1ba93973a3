// Calls: variadic functions with va_arg of ints, longs and structures, va_copy; structures
// returned in one or two words and through a hidden pointer; byval parameters; fifteen
// parameters; variable-length arrays in a loop with calls; overflow builtins; bit counts,
// byte swap and rotates.
#include <roziduv2.h>
#include <stdarg.h>
struct S2 { long a, b; };
struct S3 { long a, b, c; };
struct P { int x, y; };
struct Q { long a; int b; };
long sum(int n, ...) {
  va_list ap, aq; va_start(ap, n); va_copy(aq, ap);
  long s = 0;
  for (int i = 0; i < n; i++) s += va_arg(ap, int);
  s += va_arg(ap, long);
  struct S2 t = va_arg(ap, struct S2);
  struct S3 u = va_arg(ap, struct S3);
  s += t.a * 10 + t.b * 100 + u.a * 1000 + u.c * 10000;
  s += va_arg(aq, int) * 7;
  va_end(ap); va_end(aq);
  return s;
}
struct P mkp(int a) { struct P p = {a, a+1}; return p; }
struct Q mkq(int a) { struct Q p = {a, a+1}; return p; }
struct S3 mk3(int a) { struct S3 p = {a, a+1, 3}; return p; }
long use3(struct S3 s, struct S2 t, struct P p) { s.a += 1; return s.a + t.b + p.y; }
long many(long a, long b, long c, long d, long e, long f, long g, long h, long i, long j, long k, long l, long m, long n, long o) {
  return a + 2*b + 3*c + 4*d + 5*e + 6*f + 7*g + 8*h + 9*i + 10*j + 11*k + 12*l + 13*m + 14*n + 15*o;
}
int vla(int n) {
  int a[n]; int s = 0;
  for (int i = 0; i < n; i++) a[i] = i * i;
  for (int i = 0; i < n; i++) { char b[i + 1]; b[i] = (char)i; s += a[i] + b[i] + (int)many(1,2,3,4,5,6,7,8,9,10,11,12,13,14,i); }
  return s;
}
int ovf(int a, int b) { int r; return __builtin_add_overflow(a, b, &r) * 2 + __builtin_mul_overflow(a, b, &r) + r % 7; }
unsigned bits(unsigned long x) { return __builtin_popcountl(x) + 100 * __builtin_clzl(x | 1) + 10000 * __builtin_ctzl(x | 0x8000000000000000ul) + (__builtin_bswap32((unsigned)x) & 0xFF); }
unsigned rot(unsigned x, int s) { return (x << (s & 31)) | (x >> ((32 - s) & 31)); }
// expect-r0: 3
int main(void) {
  struct S2 t = {1,2}; struct S3 u = {3,4,5};
  struct P p = mkp(3); struct Q q = mkq(4); struct S3 r = mk3(5);
  print(sum(2, 1, 2, 3L, t, u));
  print(p.y + q.b * 10 + r.c * 100 + r.b * 1000);
  print(use3(u, t, p)); print(u.a);
  print(many(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15));
  print(vla(5)); print(vla(9));
  print(ovf(2000000000, 2000000000)); print(ovf(5, -7));
  print(bits(0x00F0000000001230ul)); print(bits(12345));
  print(rot(0x12345678u, 8)); print(rot(0x12345678u, 0));
  return 3;
}
