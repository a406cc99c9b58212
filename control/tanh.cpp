// tanh: hyperbolic tangent of a float, in [-1, 1].
#include "unarymath.h"

static t_float tanh_of(t_float x) {
    return tessel::tanh(x);
}

UNARYMATH_SETUP tanh_setup() {
    unarymath_register("tanh", tanh_of);
}
