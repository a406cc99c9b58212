// tessel_bench: the test bench's instrument (never installed).
//
// Loaded into the real host with -lib; every line it prints goes to stderr
// and starts with '|' so the test driver can tell it from the host's console.
//   [rec NAME]       prints every message it receives: "|NAME: <message>"
//                    (a float message prints as the bare number)
//   [feed~ ...]      plays an exact sequence of samples (see feed_set)
//   [blocks~ NAME]   prints every signal block: "|NAME: v0 v1 ..."; at each
//                    DSP build "|NAME: dsp <n> fed" when the buffer it reads
//                    is the one a feed~ writes (the object between them ran
//                    in place), "|NAME: dsp <n> own" otherwise
//   [nodsp]          on bang, calls the "dsp" method of every object its
//                    outlet is connected to with no signal array (a null
//                    one), as C code may; a patch's own messages cannot
//   [drive @k RECEIVER SELECTOR ARGS... @k ...]
//                    sends each message to the object bound to RECEIVER
//                    after k top-level blocks (64 samples each) have run,
//                    that is between blocks k-1 and k, after the clocks that
//                    block k-1 set to fire at once (pack~'s list)
// Numbers print as %.9g on a host with 32-bit floats and as %.17g on one
// with 64-bit floats, enough to tell every value apart ("-0", "nan", "-nan",
// "inf"). In feed~ and drive arguments, "=nan", "=-nan", "=inf", "=-inf",
// "=-0" stand for those numbers, "=tiny" and "=-tiny" for the smallest
// subnormal t_float and its negative, "=x:HHHHHHHH" (16 digits on a 64-bit host)
// for the t_float with those bits, "=s:TEXT" for the symbol TEXT with %XX
// escapes decoded.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "m_pd.h"
#include "tessel/export.h"
extern "C" {
#include "m_imp.h"
}


#if PD_FLOATSIZE == 32
typedef uint32_t t_bits;
#else
typedef uint64_t t_bits;
#endif

// The host has the processor treat subnormal numbers as zero in arithmetic,
// which includes widening a float for printf; a subnormal float is rebuilt
// from its bits instead (a double is handed to printf as it is, and printf
// reads its bits without arithmetic).
// NaN and the infinities are spelt here, as glibc's printf spells them: C
// runtimes differ ("nan" without its sign from mingw-w64's printf).
static void print_float(t_float f) {
    if (std::isnan(f)) {
        fputs(std::signbit(f) ? "-nan" : "nan", stderr);
        return;
    }
    if (std::isinf(f)) {
        fputs(f < 0 ? "-inf" : "inf", stderr);
        return;
    }
#if PD_FLOATSIZE == 32
    uint32_t b;
    memcpy(&b, &f, 4);
    if ((b & 0x7f800000u) == 0 && (b & 0x007fffffu)) {
        double d = ldexp((double)(b & 0x007fffffu), -149);
        fprintf(stderr, "%.9g", (b >> 31) ? -d : d);
    } else
        fprintf(stderr, "%.9g", (double)f);
#else
    fprintf(stderr, "%.17g", f);
#endif
}

static void print_atom(const t_atom *a) {
    switch (a->a_type) {
    case A_FLOAT: print_float(a->a_w.w_float); break;
    case A_SYMBOL: fputs(a->a_w.w_symbol->s_name, stderr); break;
    case A_SEMI: fputs(";", stderr); break;
    case A_COMMA: fputs(",", stderr); break;
    case A_DOLLAR: fprintf(stderr, "$%d", a->a_w.w_index); break;
    case A_DOLLSYM: fputs(a->a_w.w_symbol->s_name, stderr); break;
    case A_POINTER: fputs("(pointer)", stderr); break;
    default: fputs("(atom)", stderr); break;
    }
}

static int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the "=..." forms described above into *out; false if a is plain.
static bool decode_atom(const t_atom *a, t_atom *out) {
    if (a->a_type != A_SYMBOL || a->a_w.w_symbol->s_name[0] != '=') return false;
    const char *s = a->a_w.w_symbol->s_name + 1;
    if (!strcmp(s, "nan")) SETFLOAT(out, NAN);
    else if (!strcmp(s, "-nan")) SETFLOAT(out, -NAN);
    else if (!strcmp(s, "inf")) SETFLOAT(out, INFINITY);
    else if (!strcmp(s, "-inf")) SETFLOAT(out, -INFINITY);
    else if (!strcmp(s, "-0")) SETFLOAT(out, (t_float)-0.0);
    else if (!strcmp(s, "tiny") || !strcmp(s, "-tiny")) {
        t_bits bits = (t_bits)1 | (t_bits)(s[0] == '-') << (8 * sizeof(t_bits) - 1);
        t_float f;
        memcpy(&f, &bits, sizeof f);
        SETFLOAT(out, f);
    }
    else if (!strncmp(s, "x:", 2)) {
        t_bits bits = (t_bits)strtoull(s + 2, nullptr, 16);
        t_float f;
        memcpy(&f, &bits, sizeof f);
        SETFLOAT(out, f);
    } else if (!strncmp(s, "s:", 2)) {
        char buf[MAXPDSTRING];
        size_t k = 0;
        for (const char *p = s + 2; *p && k < sizeof buf - 1; p++) {
            if (*p == '%' && hexval(p[1]) >= 0 && hexval(p[2]) >= 0) {
                buf[k++] = (char)(hexval(p[1]) * 16 + hexval(p[2]));
                p += 2;
            } else buf[k++] = *p;
        }
        buf[k] = 0;
        SETSYMBOL(out, gensym(buf));
    } else return false;
    return true;
}

// ---------------------------------------------------------------- rec
static t_class *rec_class;
struct t_rec { t_object x_obj; t_symbol *name; };

static void *rec_new(t_symbol *name) {
    t_rec *x = (t_rec *)pd_new(rec_class);
    x->name = name;
    return x;
}

static void rec_anything(t_rec *x, t_symbol *s, int argc, t_atom *argv) {
    fprintf(stderr, "|%s: ", x->name->s_name);
    if (s == &s_float && argc == 1) print_atom(argv);
    else {
        fputs(s->s_name, stderr);
        for (int i = 0; i < argc; i++) fputc(' ', stderr), print_atom(argv + i);
    }
    fputc('\n', stderr);
}

// ---------------------------------------------------------------- feed~
// [feed~ v1 v2 ...]        plays v1, v2, ... once, then zeros
// [feed~ loop v1 v2 ...]   repeats the values
// [feed~ ramp a]           plays a, a+1, a+2, ...
// "set ..." (same words) starts a new sequence at the next block.
static t_class *feed_class;
struct t_feed {
    t_object x_obj;
    t_float *vals;
    int nvals, pos, mode;  // mode 0 once, 1 loop, 2 ramp
    double ramp;
    t_sample *outvec;
    t_feed *next;
};
static t_feed *feed_list;

static void feed_set(t_feed *x, t_symbol *, int argc, t_atom *argv) {
    x->mode = 0;
    if (argc && argv->a_type == A_SYMBOL) {
        t_symbol *m = argv->a_w.w_symbol;
        if (m == gensym("loop")) x->mode = 1, argc--, argv++;
        else if (m == gensym("ramp")) x->mode = 2, argc--, argv++;
    }
    free(x->vals);
    x->vals = (t_float *)calloc(argc ? argc : 1, sizeof(t_float));
    x->nvals = argc;
    for (int i = 0; i < argc; i++) {
        t_atom a;
        x->vals[i] = decode_atom(argv + i, &a) ? atom_getfloat(&a) : atom_getfloat(argv + i);
    }
    x->pos = 0;
    x->ramp = argc ? x->vals[0] : 0;
}

static void *feed_new(t_symbol *s, int argc, t_atom *argv) {
    t_feed *x = (t_feed *)pd_new(feed_class);
    outlet_new(&x->x_obj, &s_signal);
    feed_set(x, s, argc, argv);
    x->next = feed_list;
    feed_list = x;
    return x;
}

static void feed_free(t_feed *x) {
    for (t_feed **p = &feed_list; *p; p = &(*p)->next)
        if (*p == x) { *p = x->next; break; }
    free(x->vals);
}

static t_int *feed_perform(t_int *w) {
    t_feed *x = (t_feed *)w[1];
    t_sample *out = (t_sample *)w[2];
    int n = (int)w[3];
    for (int i = 0; i < n; i++) {
        if (x->mode == 2) out[i] = (t_sample)(x->ramp++);
        else if (x->pos < x->nvals) out[i] = x->vals[x->pos++];
        else if (x->mode == 1 && x->nvals) x->pos = 0, out[i] = x->vals[x->pos++];
        else out[i] = 0;
    }
    return w + 4;
}

static void feed_dsp(t_feed *x, t_signal **sp) {
    x->outvec = sp[0]->s_vec;
    dsp_add(feed_perform, 3, x, sp[0]->s_vec, (t_int)sp[0]->s_n);
}

// ---------------------------------------------------------------- blocks~
static t_class *blocks_class;
struct t_blocks { t_object x_obj; t_float f; t_symbol *name; };

static void *blocks_new(t_symbol *name) {
    t_blocks *x = (t_blocks *)pd_new(blocks_class);
    x->name = name;
    return x;
}

static t_int *blocks_perform(t_int *w) {
    t_blocks *x = (t_blocks *)w[1];
    t_sample *in = (t_sample *)w[2];
    int n = (int)w[3];
    fprintf(stderr, "|%s:", x->name->s_name);
    for (int i = 0; i < n; i++) fputc(' ', stderr), print_float(in[i]);
    fputc('\n', stderr);
    return w + 4;
}

static void blocks_dsp(t_blocks *x, t_signal **sp) {
    bool fed = false;
    for (t_feed *f = feed_list; f; f = f->next)
        if (f->outvec == sp[0]->s_vec) fed = true;
    fprintf(stderr, "|%s: dsp %d %s\n", x->name->s_name, sp[0]->s_n, fed ? "fed" : "own");
    dsp_add(blocks_perform, 3, x, sp[0]->s_vec, (t_int)sp[0]->s_n);
}

// ---------------------------------------------------------------- helpname
// [helpname NAME]: on bang, prints the help patch name of every object its
// outlet is wired to: "|NAME: <help name>".
static t_class *helpname_class;
struct t_helpname { t_object x_obj; t_symbol *name; };

static void *helpname_new(t_symbol *name) {
    t_helpname *x = (t_helpname *)pd_new(helpname_class);
    x->name = name;
    outlet_new(&x->x_obj, &s_anything);
    return x;
}

static void helpname_bang(t_helpname *x) {
    t_outlet *out;
    t_object *dest;
    t_inlet *in;
    int which;
    for (t_outconnect *c = obj_starttraverseoutlet(&x->x_obj, &out, 0); c;) {
        c = obj_nexttraverseoutlet(c, &dest, &in, &which);
        fprintf(stderr, "|%s: %s\n", x->name->s_name, class_gethelpname(pd_class(&dest->ob_pd)));
    }
}

// ---------------------------------------------------------------- drive
static t_class *drive_class;
struct t_drive {
    t_object x_obj;
    t_clock *clock;
    t_atom *script;
    int n, at;        // script length, index of the next event
    double now;       // the time of the last event, in blocks
};

// Events after the first block fire half a block after their block
// boundary. A zero-delay clock set by block k-1 fires at the time of that
// block's tick, which a host with single-precision numbers puts a little
// before k blocks of logical time and a double-precision one exactly on it,
// where an event set for k blocks would come first; half a block later it
// comes after, on every host. Events at 0 keep the instant of creation.
static double drive_time(double k) {
    return k > 0 ? k + 0.5 : k;
}

static bool is_mark(const t_atom *a, double *k) {
    if (a->a_type != A_SYMBOL || a->a_w.w_symbol->s_name[0] != '@') return false;
    *k = atof(a->a_w.w_symbol->s_name + 1);
    return true;
}

static void drive_arm(t_drive *x) {
    double k;
    if (x->at < x->n && is_mark(x->script + x->at, &k)) clock_delay(x->clock, drive_time(k) - x->now);
}

static void drive_tick(t_drive *x) {
    double k;
    double at = 0;
    is_mark(x->script + x->at, &at);
    x->now = drive_time(at);
    while (x->at < x->n && is_mark(x->script + x->at, &k) && k == at) {
        int start = ++x->at, end = start;
        while (end < x->n && !is_mark(x->script + end, &k)) end++;
        x->at = end;
        if (end - start < 2) { fprintf(stderr, "|drive: bad event\n"); continue; }
        t_symbol *dest = atom_getsymbol(x->script + start);
        t_symbol *sel = atom_getsymbol(x->script + start + 1);
        int argc = end - start - 2;
        t_atom *argv = (t_atom *)getbytes(sizeof(t_atom) * (argc ? argc : 1));
        for (int i = 0; i < argc; i++)
            if (!decode_atom(x->script + start + 2 + i, argv + i)) argv[i] = x->script[start + 2 + i];
        if (dest->s_thing) pd_typedmess(dest->s_thing, sel, argc, argv);
        else fprintf(stderr, "|drive: no receiver %s\n", dest->s_name);
        freebytes(argv, sizeof(t_atom) * (argc ? argc : 1));
    }
    drive_arm(x);
}

static void *drive_new(t_symbol *, int argc, t_atom *argv) {
    t_drive *x = (t_drive *)pd_new(drive_class);
    x->clock = clock_new(x, (t_method)drive_tick);
    clock_setunit(x->clock, 64, 1);  // one unit = one top-level block
    x->script = (t_atom *)getbytes(sizeof(t_atom) * (argc ? argc : 1));
    memcpy(x->script, argv, sizeof(t_atom) * argc);
    x->n = argc;
    drive_arm(x);
    return x;
}

static void drive_free(t_drive *x) {
    clock_free(x->clock);
    freebytes(x->script, sizeof(t_atom) * (x->n ? x->n : 1));
}

// ---------------------------------------------------------------- nodsp
static t_class *nodsp_class;
struct t_nodsp {
    t_object x_obj;
    t_outlet *out;
};

static void *nodsp_new() {
    t_nodsp *x = (t_nodsp *)pd_new(nodsp_class);
    x->out = outlet_new(&x->x_obj, 0);
    return x;
}

static void nodsp_bang(t_nodsp *x) {
    t_outlet *op;
    t_object *dest;
    t_inlet *in;
    int which;
    for (t_outconnect *c = obj_starttraverseoutlet(&x->x_obj, &op, 0); c;) {
        c = obj_nexttraverseoutlet(c, &dest, &in, &which);
        t_gotfn fn = zgetfn(&dest->ob_pd, gensym("dsp"));
        if (fn) ((void (*)(t_object *, t_signal **))fn)(dest, 0);
        else fprintf(stderr, "|nodsp: no dsp method\n");
    }
}

TESSEL_SETUP tessel_bench_setup() {
    // every line reaches the pipe as it is printed, whatever the C runtime
    // buffers stderr as (Windows' buffers it when it is not a console), so
    // that its place among the host's and a module's stdout lines is kept
    setvbuf(stderr, nullptr, _IONBF, 0);
    rec_class = class_new(gensym("rec"), (t_newmethod)rec_new, 0, sizeof(t_rec), 0, A_DEFSYM, A_NULL);
    class_addanything(rec_class, (t_method)rec_anything);

    feed_class = class_new(gensym("feed~"), (t_newmethod)feed_new, (t_method)feed_free, sizeof(t_feed), 0,
                           A_GIMME, A_NULL);
    class_addmethod(feed_class, (t_method)feed_dsp, gensym("dsp"), A_CANT, A_NULL);
    class_addmethod(feed_class, (t_method)feed_set, gensym("set"), A_GIMME, A_NULL);

    blocks_class = class_new(gensym("blocks~"), (t_newmethod)blocks_new, 0, sizeof(t_blocks), 0, A_DEFSYM,
                             A_NULL);
    CLASS_MAINSIGNALIN(blocks_class, t_blocks, f);
    class_addmethod(blocks_class, (t_method)blocks_dsp, gensym("dsp"), A_CANT, A_NULL);

    helpname_class = class_new(gensym("helpname"), (t_newmethod)helpname_new, 0, sizeof(t_helpname), 0,
                               A_DEFSYM, A_NULL);
    class_addbang(helpname_class, (t_method)helpname_bang);

    drive_class = class_new(gensym("drive"), (t_newmethod)drive_new, (t_method)drive_free, sizeof(t_drive), 0,
                            A_GIMME, A_NULL);

    nodsp_class = class_new(gensym("nodsp"), (t_newmethod)nodsp_new, 0, sizeof(t_nodsp), 0, A_NULL);
    class_addbang(nodsp_class, (t_method)nodsp_bang);
}
