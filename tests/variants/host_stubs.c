/* Link-time stand-ins for the host calls that the class sources compiled
   into the variants test refer to. Only setup entries, constructors,
   methods and "dsp" make them, and the test calls none of those: each
   stand-in aborts if it is ever reached. */
#include <stdlib.h>

#define NEVER(name) void name(void) { abort(); }
NEVER(class_addbang)
NEVER(class_addmethod)
NEVER(class_doaddfloat)
NEVER(class_domainsignalin)
NEVER(class_new)
NEVER(class_new64)
NEVER(class_sethelpsymbol)
NEVER(dsp_add)
NEVER(freebytes)
NEVER(gensym)
NEVER(getbytes)
NEVER(inlet_new)
NEVER(nullfn)
NEVER(outlet_float)
NEVER(outlet_new)
NEVER(pd_free)
NEVER(pd_new)
NEVER(post)
NEVER(sys_getsr)
NEVER(verbose)
char s_float[64];
char s_signal[64];
