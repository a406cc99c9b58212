// unquote: parses the text of a symbol with the host's own message parser and
// sends the result as a float, a list or a message with a selector.
#include <cstring>

#include "m_pd.h"
#include "tessel/export.h"

static t_class *unquote_class;

struct t_unquote {
    t_object x_obj;
};

static void *unquote_new() {
    t_unquote *x = reinterpret_cast<t_unquote *>(pd_new(unquote_class));
    outlet_new(&x->x_obj, &s_anything);
    return x;
}

// The first atom decides the output: a symbol becomes the selector of the
// rest, a lone float a float, a float followed by more a list; text that
// starts with a semicolon, comma or dollar form sends nothing. The buffer
// belongs to this call alone, so a message that comes back into the object
// from downstream parses into a buffer of its own and cannot disturb the
// atoms still being sent from this one.
// Blank text parses into no atom at all and sends nothing.
static void unquote_parse(t_unquote *x, t_symbol *s) {
    const char *text = s->s_name;
    t_binbuf *b = binbuf_new();
    binbuf_text(b, text, static_cast<int>(strlen(text)));
    int n = binbuf_getnatom(b);
    t_atom *v = binbuf_getvec(b);
    if (n > 0) {
        if (v[0].a_type == A_SYMBOL)
            outlet_anything(x->x_obj.ob_outlet, v[0].a_w.w_symbol, n - 1, v + 1);
        else if (v[0].a_type == A_FLOAT && n == 1)
            outlet_float(x->x_obj.ob_outlet, v[0].a_w.w_float);
        else if (v[0].a_type == A_FLOAT)
            outlet_list(x->x_obj.ob_outlet, &s_list, n, v);
    }
    binbuf_free(b);
}

static void unquote_symbol(t_unquote *x, t_symbol *s) {
    unquote_parse(x, s);
}

// Only the selector's name is parsed; the arguments are dropped.
static void unquote_anything(t_unquote *x, t_symbol *s, int, t_atom *) {
    unquote_parse(x, s);
}

static void unquote_bang(t_unquote *x) {
    outlet_bang(x->x_obj.ob_outlet);
}

// Floats and lists are taken and ignored, so that they never reach the
// anything method.
static void unquote_float(t_unquote *, t_floatarg) {}

static void unquote_list(t_unquote *, t_symbol *, int, t_atom *) {}

TESSEL_SETUP unquote_setup() {
    unquote_class = class_new(gensym("unquote"), reinterpret_cast<t_newmethod>(unquote_new), nullptr,
                              sizeof(t_unquote), 0, A_NULL);
    class_addbang(unquote_class, reinterpret_cast<t_method>(unquote_bang));
    class_doaddfloat(unquote_class, reinterpret_cast<t_method>(unquote_float));
    class_addsymbol(unquote_class, reinterpret_cast<t_method>(unquote_symbol));
    class_addlist(unquote_class, reinterpret_cast<t_method>(unquote_list));
    class_addanything(unquote_class, reinterpret_cast<t_method>(unquote_anything));
}
