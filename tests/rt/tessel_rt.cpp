// tessel_rt: the real-time test's objects (test-only, never installed).
//
// Loaded into the host with -lib beside the bench instrument, in a host that
// has the counting library (tests/rt/rtcount.c) preloaded.
//   [rtwindow~ OPEN CLOSE]  opens the counting window in top-level block
//                           OPEN (counted from 0) and closes it in block
//                           CLOSE, both times from its perform routine, at
//                           the same point of the block: the window holds
//                           CLOSE - OPEN blocks of the host's work (its clocks
//                           and every perform routine). After closing it prints
//                           "|rt: blocks N <kind> <count> ...", then each
//                           sink's "|NAME: N" (messages received inside the
//                           window). In a subpatch with a block size above 64,
//                           OPEN and CLOSE must be multiples of its blocks.
//   [rtsink NAME]           takes any message without printing; counts those
//                           that arrive while the window is open.
// Without the counting library the report is "|rt: no counter".
#include <dlfcn.h>
#include <cstdio>

#include "m_pd.h"
#include "tessel/export.h"


static void (*counter_open)();
static void (*counter_close)();
static int (*counter_report)(char *, size_t);
static bool window_open;  // as seen by the sinks

// ---------------------------------------------------------------- rtsink
static t_class *sink_class;
struct t_sink {
    t_object x_obj;
    t_symbol *name;
    unsigned long inside;  // messages received inside the window
    t_sink *next;
};
static t_sink *sink_list;

static void *sink_new(t_symbol *name) {
    t_sink *x = (t_sink *)pd_new(sink_class);
    x->name = name;
    x->inside = 0;
    x->next = sink_list;
    sink_list = x;
    return x;
}

static void sink_free(t_sink *x) {
    for (t_sink **p = &sink_list; *p; p = &(*p)->next)
        if (*p == x) {
            *p = x->next;
            break;
        }
}

static void sink_anything(t_sink *x, t_symbol *, int, t_atom *) {
    if (window_open) x->inside++;
}

// ---------------------------------------------------------------- rtwindow~
static t_class *window_class;
struct t_window {
    t_object x_obj;
    t_float f;
    double open_at, close_at;  // in samples of 64-sample blocks
    double done;               // samples this object has run over
    double opened_at;          // -1 until the window opens
};

static void *window_new(t_floatarg open_block, t_floatarg close_block) {
    t_window *x = (t_window *)pd_new(window_class);
    x->open_at = 64.0 * open_block;
    x->close_at = 64.0 * close_block;
    x->done = 0;
    x->opened_at = -1;
    return x;
}

static void window_report(t_window *x) {
    if (!counter_report) {
        fprintf(stderr, "|rt: no counter\n");
        return;
    }
    char text[1024];
    counter_report(text, sizeof text);
    fprintf(stderr, "|rt: blocks %g %s\n", (x->done - x->opened_at) / 64.0, text);
    for (t_sink *s = sink_list; s; s = s->next) fprintf(stderr, "|%s: %lu\n", s->name->s_name, s->inside);
}

static t_int *window_perform(t_int *w) {
    t_window *x = (t_window *)w[1];
    int n = (int)w[2];
    if (x->done == x->open_at && x->opened_at < 0) {
        for (t_sink *s = sink_list; s; s = s->next) s->inside = 0;
        x->opened_at = x->done;
        window_open = true;
        if (counter_open) counter_open();
    } else if (x->done == x->close_at && x->opened_at >= 0 && window_open) {
        if (counter_close) counter_close();
        window_open = false;
        window_report(x);
    }
    x->done += n;
    return w + 3;
}

static void window_dsp(t_window *x, t_signal **sp) {
    dsp_add(window_perform, 2, x, (t_int)sp[0]->s_n);
}

TESSEL_SETUP tessel_rt_setup() {
    counter_open = (void (*)())dlsym(RTLD_DEFAULT, "tessel_rt_open");
    counter_close = (void (*)())dlsym(RTLD_DEFAULT, "tessel_rt_close");
    counter_report = (int (*)(char *, size_t))dlsym(RTLD_DEFAULT, "tessel_rt_report");
    if (!counter_open || !counter_close) counter_report = nullptr;

    sink_class = class_new(gensym("rtsink"), (t_newmethod)sink_new, (t_method)sink_free, sizeof(t_sink), 0,
                           A_DEFSYM, A_NULL);
    class_addanything(sink_class, (t_method)sink_anything);

    window_class = class_new(gensym("rtwindow~"), (t_newmethod)window_new, 0, sizeof(t_window), 0, A_DEFFLOAT,
                             A_DEFFLOAT, A_NULL);
    CLASS_MAINSIGNALIN(window_class, t_window, f);
    class_addmethod(window_class, (t_method)window_dsp, gensym("dsp"), A_CANT, A_NULL);
}
