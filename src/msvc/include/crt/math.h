// Wine's <math.h>, plus the long double functions that libc++'s <cmath> names.
// SPDX-License-Identifier: MIT
#pragma once

#include_next <math.h>

// long double is double in this ABI. The library calls none of these; they are declared so that
// libc++'s overloads compile, and nothing links against them.
#define KIVO_LONG_DOUBLE_1(name) long double __cdecl name(long double)
#define KIVO_LONG_DOUBLE_2(name) long double __cdecl name(long double, long double)

extern "C" {
KIVO_LONG_DOUBLE_1(acoshl);
KIVO_LONG_DOUBLE_1(acosl);
KIVO_LONG_DOUBLE_1(asinhl);
KIVO_LONG_DOUBLE_1(asinl);
KIVO_LONG_DOUBLE_1(atanhl);
KIVO_LONG_DOUBLE_1(atanl);
KIVO_LONG_DOUBLE_1(cbrtl);
KIVO_LONG_DOUBLE_1(ceill);
KIVO_LONG_DOUBLE_1(coshl);
KIVO_LONG_DOUBLE_1(cosl);
KIVO_LONG_DOUBLE_1(erfcl);
KIVO_LONG_DOUBLE_1(erfl);
KIVO_LONG_DOUBLE_1(exp2l);
KIVO_LONG_DOUBLE_1(expl);
KIVO_LONG_DOUBLE_1(expm1l);
KIVO_LONG_DOUBLE_1(fabsl);
KIVO_LONG_DOUBLE_1(floorl);
KIVO_LONG_DOUBLE_1(lgammal);
KIVO_LONG_DOUBLE_1(log10l);
KIVO_LONG_DOUBLE_1(log1pl);
KIVO_LONG_DOUBLE_1(log2l);
KIVO_LONG_DOUBLE_1(logbl);
KIVO_LONG_DOUBLE_1(logl);
KIVO_LONG_DOUBLE_1(nearbyintl);
KIVO_LONG_DOUBLE_1(rintl);
KIVO_LONG_DOUBLE_1(roundl);
KIVO_LONG_DOUBLE_1(sinhl);
KIVO_LONG_DOUBLE_1(sinl);
KIVO_LONG_DOUBLE_1(sqrtl);
KIVO_LONG_DOUBLE_1(tanhl);
KIVO_LONG_DOUBLE_1(tanl);
KIVO_LONG_DOUBLE_1(tgammal);
KIVO_LONG_DOUBLE_1(truncl);
KIVO_LONG_DOUBLE_2(atan2l);
KIVO_LONG_DOUBLE_2(copysignl);
KIVO_LONG_DOUBLE_2(fdiml);
KIVO_LONG_DOUBLE_2(fmaxl);
KIVO_LONG_DOUBLE_2(fminl);
KIVO_LONG_DOUBLE_2(fmodl);
KIVO_LONG_DOUBLE_2(hypotl);
KIVO_LONG_DOUBLE_2(nextafterl);
KIVO_LONG_DOUBLE_2(nexttowardl);
KIVO_LONG_DOUBLE_2(powl);
KIVO_LONG_DOUBLE_2(remainderl);
float __cdecl erfcf(float);
float __cdecl nexttowardf(float, long double);
double __cdecl nexttoward(double, long double);
long double __cdecl fmal(long double, long double, long double);
long double __cdecl frexpl(long double, int*);
int __cdecl ilogbl(long double);
long double __cdecl ldexpl(long double, int);
long long __cdecl llrintl(long double);
long long __cdecl llroundl(long double);
long __cdecl lrintl(long double);
long __cdecl lroundl(long double);
long double __cdecl modfl(long double, long double*);
long double __cdecl remquol(long double, long double, int*);
long double __cdecl scalblnl(long double, long);
long double __cdecl scalbnl(long double, int);
}

#undef KIVO_LONG_DOUBLE_1
#undef KIVO_LONG_DOUBLE_2
