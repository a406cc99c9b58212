/* Link-time stand-ins for the host calls made by the class sources that
   bench/kernels.cpp compiles in. Only the setup entries, constructors and
   "dsp" methods call them, and the micro-benchmarks call none of those: each
   stand-in aborts if it is ever reached. */
#include <stdlib.h>

#define NEVER(name) void name(void) { abort(); }
NEVER(class_addbang)
NEVER(class_addmethod)
NEVER(class_doaddfloat)
NEVER(class_domainsignalin)
NEVER(class_new)
NEVER(class_sethelpsymbol)
NEVER(dsp_add)
NEVER(gensym)
NEVER(nullfn)
NEVER(outlet_new)
NEVER(pd_new)
NEVER(post)
NEVER(verbose)
char s_signal[64];
