/* setjmp and longjmp are not supported on this machine: a use is a compile error at its line. */
#ifndef _ROZ_SETJMP_H
#define _ROZ_SETJMP_H

typedef long jmp_buf[8];
int setjmp(jmp_buf env) __attribute__((unavailable("setjmp is not supported on this machine")));
_Noreturn void longjmp(jmp_buf env, int value)
    __attribute__((unavailable("longjmp is not supported on this machine")));

#endif
