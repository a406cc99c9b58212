// cosh: hyperbolic cosine of a float; beyond about +-89.4 the result is an infinity.
#include "unarymath.h"

static t_float cosh_of(t_float x) {
    return tessel::cosh(x);
}

UNARYMATH_SETUP cosh_setup() {
    unarymath_register("cosh", cosh_of);
}
