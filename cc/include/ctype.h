/* Character classes of roziduv2-cc's C library (cc/runtime/ctype.c): ASCII, the "C" locale. */
#ifndef _ROZ_CTYPE_H
#define _ROZ_CTYPE_H

int isalnum(int c);
int isalpha(int c);
int isblank(int c);
int iscntrl(int c);
int isdigit(int c);
int isgraph(int c);
int islower(int c);
int isprint(int c);
int ispunct(int c);
int isspace(int c);
int isupper(int c);
int isxdigit(int c);
int tolower(int c);
int toupper(int c);

#endif
