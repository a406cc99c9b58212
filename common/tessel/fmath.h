// The C library's mathematics in the precision of the argument: the float
// functions (asinf, ...) for a host with single-precision numbers, the
// double ones for pd64, so that a result keeps the host's precision.
#pragma once

#include <math.h>

namespace tessel {

#define TESSEL_FMATH1(name)                                  \
    inline float name(float x) { return ::name##f(x); }      \
    inline double name(double x) { return ::name(x); }
#define TESSEL_FMATH2(name)                                               \
    inline float name(float x, float y) { return ::name##f(x, y); }       \
    inline double name(double x, double y) { return ::name(x, y); }

TESSEL_FMATH1(asin)
TESSEL_FMATH1(acos)
TESSEL_FMATH1(sinh)
TESSEL_FMATH1(cosh)
TESSEL_FMATH1(tanh)
TESSEL_FMATH1(sin)
TESSEL_FMATH1(cos)
TESSEL_FMATH2(atan2)
TESSEL_FMATH2(hypot)

#undef TESSEL_FMATH1
#undef TESSEL_FMATH2

}  // namespace tessel
