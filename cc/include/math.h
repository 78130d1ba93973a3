/* Declarations only: the machine has no floating point, and roziduv2-cc refuses any use of
   float or double at its source line. */
#ifndef _ROZ_MATH_H
#define _ROZ_MATH_H

double fabs(double x);
double sqrt(double x);
double pow(double x, double y);
double exp(double x);
double log(double x);
double log10(double x);
double sin(double x);
double cos(double x);
double tan(double x);
double atan(double x);
double atan2(double y, double x);
double floor(double x);
double ceil(double x);
double fmod(double x, double y);
double round(double x);

#endif
