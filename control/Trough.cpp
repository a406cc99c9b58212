// Trough: the smallest float seen so far, starting from 128, with flags
// telling whether each input set a new one. Also created as [trough] and
// [tessel/trough].
#include "extremum.h"

static t_class *Trough_class;

static void *Trough_new() {
    return extremum_new(Trough_class, 128);
}

// Strictly smaller: equality, and a NaN on either side, is no new trough.
static void Trough_float(t_extremum *x, t_floatarg f) {
    extremum_report(x, f, x->value > f);
}

EXTREMUM_SETUP Trough_setup() {
    Trough_class = extremum_class("Trough", "trough", "tessel/trough", Trough_new, Trough_float);
}

// The module loaded under its lower-case file name.
EXTREMUM_SETUP trough_setup() {
    Trough_setup();
}
