// asin: arc sine of a float, in radians; inputs beyond [-1, 1] are clamped.
#include "unarymath.h"

static t_float asin_of(t_float x) {
    return tessel::asin(unarymath_clamp1(x));
}

UNARYMATH_SETUP asin_setup() {
    unarymath_register("asin", asin_of);
}
