// tessel_rtbad: a deliberately bad signal class, to show that the real-time
// test catches what it looks for (test-only: never installed, never part of
// the library or its package).
//   [rtbad~ MODE]  passes its input through and, once per perform call:
//     malloc    malloc and free a block
//     getbytes  the host's getbytes and freebytes
//     write     write one byte to /dev/null
//     stdio     fputc one byte to a stream on /dev/null
//     post      the host's post
//     lock      lock and unlock a mutex
//   any other MODE (or none) does nothing wrong.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "m_pd.h"
#include "tessel/export.h"


enum { BAD_NONE, BAD_MALLOC, BAD_GETBYTES, BAD_WRITE, BAD_STDIO, BAD_POST, BAD_LOCK };

static t_class *bad_class;
static pthread_mutex_t bad_mutex = PTHREAD_MUTEX_INITIALIZER;

struct t_bad {
    t_object x_obj;
    t_float f;
    int mode;
    int fd;
    FILE *file;
};

static void *bad_new(t_symbol *mode) {
    t_bad *x = (t_bad *)pd_new(bad_class);
    static const char *const names[] = {"", "malloc", "getbytes", "write", "stdio", "post", "lock"};
    x->mode = BAD_NONE;
    for (int i = 1; i < (int)(sizeof names / sizeof *names); i++)
        if (!strcmp(mode->s_name, names[i])) x->mode = i;
    x->fd = x->mode == BAD_WRITE ? open("/dev/null", O_WRONLY) : -1;
    x->file = x->mode == BAD_STDIO ? fopen("/dev/null", "w") : nullptr;
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void bad_free(t_bad *x) {
    if (x->fd >= 0) close(x->fd);
    if (x->file) fclose(x->file);
}

static t_int *bad_perform(t_int *w) {
    t_bad *x = (t_bad *)w[1];
    t_sample *in = (t_sample *)w[2], *out = (t_sample *)w[3];
    int n = (int)w[4];
    switch (x->mode) {
    case BAD_MALLOC: {
        void *p = malloc(64);
        __asm__ volatile("" : : "r"(p) : "memory");  // the pair stays
        free(p);
        break;
    }
    case BAD_GETBYTES: {
        void *p = getbytes(64);
        freebytes(p, 64);
        break;
    }
    case BAD_WRITE:
        if (write(x->fd, "x", 1) < 0) x->mode = BAD_NONE;
        break;
    case BAD_STDIO: fputc('x', x->file); break;
    case BAD_POST: post("rtbad~: a line from the audio path"); break;
    case BAD_LOCK:
        pthread_mutex_lock(&bad_mutex);
        pthread_mutex_unlock(&bad_mutex);
        break;
    }
    for (int i = 0; i < n; i++) out[i] = in[i];
    return w + 5;
}

static void bad_dsp(t_bad *x, t_signal **sp) {
    dsp_add(bad_perform, 4, x, sp[0]->s_vec, sp[1]->s_vec, (t_int)sp[0]->s_n);
}

TESSEL_SETUP tessel_rtbad_setup() {
    bad_class = class_new(gensym("rtbad~"), (t_newmethod)bad_new, (t_method)bad_free, sizeof(t_bad), 0,
                          A_DEFSYM, A_NULL);
    CLASS_MAINSIGNALIN(bad_class, t_bad, f);
    class_addmethod(bad_class, (t_method)bad_dsp, gensym("dsp"), A_CANT, A_NULL);
}
