// Peak: the largest float seen so far, with flags telling whether each input
// set a new one. Also created as [peak] and [tessel/peak].
#include "extremum.h"

static t_class *Peak_class;

static void *Peak_new() {
    return extremum_new(Peak_class, 0);
}

// Strictly greater: equality, and a NaN on either side, is no new peak.
static void Peak_float(t_extremum *x, t_floatarg f) {
    extremum_report(x, f, f > x->value);
}

EXTREMUM_SETUP Peak_setup() {
    Peak_class = extremum_class("Peak", "peak", "tessel/peak", Peak_new, Peak_float);
}

// The module loaded under its lower-case file name.
EXTREMUM_SETUP peak_setup() {
    Peak_setup();
}
