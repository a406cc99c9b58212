// acos: arc cosine of a float, in radians; inputs beyond [-1, 1] are clamped.
#include "unarymath.h"

static t_float acos_of(t_float x) {
    return tessel::acos(unarymath_clamp1(x));
}

UNARYMATH_SETUP acos_setup() {
    unarymath_register("acos", acos_of);
}
