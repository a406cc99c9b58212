// sinh: hyperbolic sine of a float; beyond about +-89.4 the result is an infinity.
#include "unarymath.h"

static t_float sinh_of(t_float x) {
    return tessel::sinh(x);
}

UNARYMATH_SETUP sinh_setup() {
    unarymath_register("sinh", sinh_of);
}
