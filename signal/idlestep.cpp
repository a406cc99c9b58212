// idlestep: sets (float) and reports (bang) the host scheduler's sleep grain.
//
// The host exports the setting through get_sys_sleepgrain (declared in its
// s_stuff.h), which not every host has; the module looks it up instead of
// linking to it, so that it still loads in a host without it. The setting is
// then a stand-in variable of this module, starting at 0 like the host's own
// unset grain and shared by every idlestep object, which changes nothing in
// the host. On ELF targets the lookup is a weak declaration; a Windows DLL
// has no weak imports, so there it asks the module that holds the host's own
// functions (pd.dll, found from the address of class_new) for the entry.
#include "vesk.h"

#if defined(_WIN32)
#include <windows.h>

typedef int *(*idlestep_getter)(void);

static idlestep_getter idlestep_lookup() {
    HMODULE host = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&class_new), &host))
        return nullptr;
    return reinterpret_cast<idlestep_getter>(
        reinterpret_cast<void *>(GetProcAddress(host, "get_sys_sleepgrain")));
}
#else
extern "C" int *get_sys_sleepgrain(void) __attribute__((weak));

static int *(*idlestep_lookup())(void) {
    return get_sys_sleepgrain;
}
#endif

static t_class *idlestep_class;
static int idlestep_standin;
static int *idlestep_grain = &idlestep_standin;  // resolved by idlestep_setup

struct t_idlestep {
    t_object x_obj;
};

static void *idlestep_new() {
    t_idlestep *x = reinterpret_cast<t_idlestep *>(pd_new(idlestep_class));
    outlet_new(&x->x_obj, nullptr);
    return x;
}

static void idlestep_bang(t_idlestep *x) {
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(*idlestep_grain));
}

// Only a float that truncates to a positive int is taken: 0, fractions below
// 1, negative numbers, NaN and numbers beyond the int range are refused.
static void idlestep_float(t_idlestep *x, t_floatarg f) {
    if (!(f >= 1 && f < 2147483648.0)) {
        pd_error(x, "[idlestep]: idlestep cannot be <= 0");
        return;
    }
    *idlestep_grain = tessel::trunc_sat<int>(f);
}

VESK_SETUP idlestep_setup() {
    if (auto get = idlestep_lookup()) {
        if (int *p = get())
            idlestep_grain = p;
    }
    idlestep_class = class_new(gensym("idlestep"), reinterpret_cast<t_newmethod>(idlestep_new), nullptr,
                               sizeof(t_idlestep), 0, A_NULL);
    class_addbang(idlestep_class, reinterpret_cast<t_method>(idlestep_bang));
    class_doaddfloat(idlestep_class, reinterpret_cast<t_method>(idlestep_float));
    vesk_register("idlestep", "Jan 25 2013");
}
