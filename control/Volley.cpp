// Volley: a burst of bangs within one logical instant, each preceded by its
// 1-based index; a burst can be paused from downstream while it runs and
// resumed later. Also created as [volley] and [tessel/volley].
#include <cstdint>

#include "m_pd.h"
#include "tessel/export.h"
extern "C" {
#include "m_imp.h"  // outlet traversal, to recognise a wire into our own inlet
}
#include "tessel/numeric.h"

enum : std::int32_t { VOLLEY_IDLE = 0, VOLLEY_RUNNING = 1, VOLLEY_PAUSED = 2 };

static t_class *Volley_class;

struct t_Volley {
    t_object x_obj;
    t_float count;          // iterations per burst; inlet 2 writes it unclamped
    std::int32_t position;  // while paused: the last iteration completed (written
                            // whenever the state becomes paused, read only then)
    std::int32_t state;
    t_outlet *x_done;       // outlet 2
    t_outlet *x_index;      // outlet 3
    std::uint32_t entries;  // bursts started, to see whether a fed-back message came in
    std::int32_t depth;     // bursts of this object running, one inside the other
    std::int32_t overflow;  // a feedback wire hit the host's nesting limit
};

static void *Volley_new(t_floatarg f) {
    t_Volley *x = reinterpret_cast<t_Volley *>(pd_new(Volley_class));
    x->count = f > 1 ? f : 1;  // a NaN fails the test and gives 1 too
    x->state = VOLLEY_IDLE;
    floatinlet_new(&x->x_obj, &x->count);
    outlet_new(&x->x_obj, &s_bang);
    x->x_done = outlet_new(&x->x_obj, &s_bang);
    x->x_index = outlet_new(&x->x_obj, &s_float);
    return x;
}

// The count as a number of iterations, truncated toward zero (a NaN gives
// 0). Counts above 2^24 give 2^24: beyond it a t_float can no longer carry
// every index exactly, and a burst of billions would hold the host for
// minutes within one instant.
static constexpr std::int32_t VOLLEY_MAXCOUNT = 1 << 24;

static std::int32_t Volley_bound(const t_Volley *x) {
    std::int32_t n = tessel::trunc_sat<std::int32_t>(x->count, 0);
    return n < VOLLEY_MAXCOUNT ? n : VOLLEY_MAXCOUNT;
}

// True when outlet k (0-based) is wired straight into this object's inlet 1.
static bool Volley_feeds_itself(t_Volley *x, int k) {
    t_outlet *out;
    t_object *dest;
    t_inlet *in;
    int which;
    t_outconnect *oc = obj_starttraverseoutlet(&x->x_obj, &out, k);
    while (oc) {
        oc = obj_nexttraverseoutlet(oc, &dest, &in, &which);
        if (dest == &x->x_obj && which == 0)
            return true;
    }
    return false;
}

// Runs iterations from..bound, then the done bang. The index is a local of
// this call and 64 bits wide, so position + 1 and i + 1 never overflow.
//
// An outlet wired straight back into inlet 1 re-enters the object with every
// message, until the host refuses a message at its nesting limit (and says
// "stack overflow"). A message on such a wire that did not come back was
// refused: every burst of the chain then stops at once, without its done
// bang, since each would otherwise start the chain again from its own level
// and the work would grow exponentially with the count.
static void Volley_loop(t_Volley *x, std::int64_t from, std::int32_t bound) {
    if (x->depth++ == 0)
        x->overflow = 0;  // a burst entered from outside starts a fresh chain
    for (std::int64_t i = from; i <= bound; i++) {
        std::uint32_t before = x->entries;
        outlet_float(x->x_index, static_cast<t_float>(i));
        bool refused = x->entries == before && Volley_feeds_itself(x, 2);
        before = x->entries;
        outlet_bang(x->x_obj.ob_outlet);
        refused = refused || (x->entries == before && Volley_feeds_itself(x, 0));
        if (x->state == VOLLEY_PAUSED) {
            x->position = static_cast<std::int32_t>(i);
            x->depth--;
            return;
        }
        if (refused)
            x->overflow = 1;
        if (x->overflow) {
            x->state = VOLLEY_IDLE;
            x->depth--;
            return;
        }
    }
    outlet_bang(x->x_done);
    x->state = VOLLEY_IDLE;
    x->depth--;
}

static void Volley_bang(t_Volley *x) {
    x->entries++;
    x->state = VOLLEY_RUNNING;
    Volley_loop(x, 1, Volley_bound(x));
}

static void Volley_float(t_Volley *x, t_floatarg f) {
    x->count = f;
    Volley_bang(x);
}

static void Volley_pause(t_Volley *x) {
    if (x->state == VOLLEY_IDLE)
        x->position = Volley_bound(x);
    x->state = VOLLEY_PAUSED;
}

static void Volley_resume(t_Volley *x) {
    if (x->state != VOLLEY_PAUSED)
        return;
    std::int32_t bound = Volley_bound(x);  // a count changed while paused counts
    x->state = VOLLEY_RUNNING;
    Volley_loop(x, static_cast<std::int64_t>(x->position) + 1, bound);
}

TESSEL_SETUP Volley_setup() {
    Volley_class = class_new(gensym("Volley"), reinterpret_cast<t_newmethod>(Volley_new), nullptr,
                             sizeof(t_Volley), 0, A_DEFFLOAT, A_NULL);
    class_addcreator(reinterpret_cast<t_newmethod>(Volley_new), gensym("volley"), A_DEFFLOAT, A_NULL);
    class_addcreator(reinterpret_cast<t_newmethod>(Volley_new), gensym("tessel/volley"), A_DEFFLOAT, A_NULL);
    class_addbang(Volley_class, reinterpret_cast<t_method>(Volley_bang));
    class_doaddfloat(Volley_class, reinterpret_cast<t_method>(Volley_float));
    class_addmethod(Volley_class, reinterpret_cast<t_method>(Volley_pause), gensym("pause"), A_NULL);
    class_addmethod(Volley_class, reinterpret_cast<t_method>(Volley_pause), gensym("break"), A_NULL);
    class_addmethod(Volley_class, reinterpret_cast<t_method>(Volley_resume), gensym("resume"), A_NULL);
    class_addmethod(Volley_class, reinterpret_cast<t_method>(Volley_resume), gensym("continue"), A_NULL);
}

// The module loaded under its lower-case file name.
TESSEL_SETUP volley_setup() {
    Volley_setup();
}
