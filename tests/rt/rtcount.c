/* rtcount: counts what a process does inside a measuring window (test-only,
 * never installed).
 *
 * Loaded into the host with LD_PRELOAD, it stands in front of the C
 * runtime's allocator, locks, output and a few other system calls: every
 * call is passed on to the next definition (the C runtime's), and counted
 * when a window is open and the call comes from the thread that opened it.
 * Calls from other threads while a window is open are counted apart.
 *
 * The window is opened and closed from inside the process through the three
 * functions below (found with dlsym(RTLD_DEFAULT, ...)), so that set-up and
 * the printing of the results happen outside it:
 *   tessel_rt_open()                   zeroes the counts and opens the window
 *   tessel_rt_close()                  closes it
 *   tessel_rt_report(buf, size)        "kind count kind count ..." of the last
 *                                      window, then "others N" (other threads)
 *
 * The C runtime calls malloc and free through the symbol table, so its own
 * allocations (strdup, fopen, a stream's first buffer, the host's getbytes)
 * are seen; other internal calls (printf's write) are not, which is why the
 * stdio entry points are counted as well.
 *
 * Looking up the next definitions (dlsym) may allocate: while it runs,
 * malloc and calloc are served from a small static arena whose blocks are
 * never freed. Outside a window each hook costs one load and one branch. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

/* stdio may define some of these as macros */
#undef putc
#undef putchar
#undef fputc_unlocked
#undef putc_unlocked
#undef putchar_unlocked
#undef fwrite_unlocked
#undef fputs_unlocked

#define EXPORT __attribute__((visibility("default")))

/* ------------------------------------------------------------- the counts */

enum {
    K_MALLOC, K_CALLOC, K_REALLOC, K_FREE, K_MEMALIGN, K_MMAP,
    K_LOCK, K_UNLOCK, K_WAIT, K_WAKE,
    K_WRITE, K_STDIO, K_READ, K_SLEEP, K_OPEN, K_SYSCALL,
    K_COUNT
};

/* memalign: posix_memalign, aligned_alloc, memalign, valloc, pvalloc;
 * mmap: mmap, munmap, mremap, brk, sbrk;
 * lock: mutex, rwlock and spin lock acquisition (try and timed included);
 * wait and wake: condition variables and semaphores;
 * write: write, writev, pwrite, send...; stdio: any output through a FILE
 * (printf family, fputs, fwrite, fflush...); read: read, recv, fread...;
 * sleep: sleep, poll and select; open: open, close, fopen, fclose;
 * syscall: the raw syscall() entry and ioctl. */
static const char *const kind_names[K_COUNT] = {
    "malloc", "calloc", "realloc", "free", "memalign", "mmap",
    "lock", "unlock", "wait", "wake",
    "write", "stdio", "read", "sleep", "open", "syscall",
};

static volatile int window_open;
static pthread_t window_thread;
static unsigned long counts[K_COUNT];
static unsigned long others;  /* calls of other threads while the window is open */

static inline void count(int kind) {
    if (__builtin_expect(!window_open, 1))
        return;
    if (pthread_equal(pthread_self(), window_thread))
        counts[kind]++;
    else
        __atomic_fetch_add(&others, 1, __ATOMIC_RELAXED);
}

EXPORT void tessel_rt_open(void) {
    memset(counts, 0, sizeof counts);
    others = 0;
    window_thread = pthread_self();
    __atomic_store_n(&window_open, 1, __ATOMIC_SEQ_CST);
}

EXPORT void tessel_rt_close(void) {
    __atomic_store_n(&window_open, 0, __ATOMIC_SEQ_CST);
}

/* Formats with nothing but string copies, so that it needs no stream. */
static size_t put_text(char *buf, size_t size, size_t at, const char *s) {
    while (*s && at + 1 < size)
        buf[at++] = *s++;
    return at;
}

static size_t put_number(char *buf, size_t size, size_t at, unsigned long n) {
    char digits[24];
    int k = 0;
    do {
        digits[k++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    while (k && at + 1 < size)
        buf[at++] = digits[--k];
    return at;
}

EXPORT int tessel_rt_report(char *buf, size_t size) {
    size_t at = 0;
    if (!size)
        return 0;
    for (int k = 0; k < K_COUNT; k++) {
        at = put_text(buf, size, at, k ? " " : "");
        at = put_text(buf, size, at, kind_names[k]);
        at = put_text(buf, size, at, " ");
        at = put_number(buf, size, at, counts[k]);
    }
    at = put_text(buf, size, at, " others ");
    at = put_number(buf, size, at, others);
    buf[at] = 0;
    return (int)at;
}

/* ------------------------------------------------- the next definitions */

#define REAL(name) static __typeof__(name) *real_##name

REAL(malloc); REAL(calloc); REAL(realloc); REAL(free); REAL(posix_memalign);
REAL(aligned_alloc); REAL(memalign); REAL(valloc); REAL(pvalloc);
REAL(mmap); REAL(munmap); REAL(mremap); REAL(brk); REAL(sbrk);
REAL(pthread_mutex_lock); REAL(pthread_mutex_trylock); REAL(pthread_mutex_timedlock);
REAL(pthread_mutex_unlock);
REAL(pthread_rwlock_rdlock); REAL(pthread_rwlock_wrlock); REAL(pthread_rwlock_tryrdlock);
REAL(pthread_rwlock_trywrlock); REAL(pthread_rwlock_unlock);
REAL(pthread_spin_lock); REAL(pthread_spin_trylock); REAL(pthread_spin_unlock);
REAL(pthread_cond_wait); REAL(pthread_cond_timedwait); REAL(pthread_cond_signal);
REAL(pthread_cond_broadcast);
REAL(sem_wait); REAL(sem_trywait); REAL(sem_timedwait); REAL(sem_post);
REAL(write); REAL(writev); REAL(pwrite); REAL(send); REAL(sendto); REAL(sendmsg);
REAL(vprintf); REAL(vfprintf); REAL(vdprintf); REAL(fputs); REAL(puts); REAL(fputc);
REAL(putc); REAL(putchar); REAL(fwrite); REAL(fflush); REAL(perror);
REAL(fputs_unlocked); REAL(fputc_unlocked); REAL(putc_unlocked); REAL(putchar_unlocked);
REAL(fwrite_unlocked);
REAL(read); REAL(readv); REAL(pread); REAL(recv); REAL(recvfrom); REAL(recvmsg);
REAL(fread); REAL(fgets); REAL(fgetc);
REAL(poll); REAL(select); REAL(nanosleep); REAL(clock_nanosleep); REAL(usleep);
REAL(sleep); REAL(sched_yield);
REAL(open); REAL(open64); REAL(openat); REAL(close); REAL(fopen); REAL(fopen64); REAL(fclose);
REAL(ioctl); REAL(syscall);
/* the checked variants that _FORTIFY_SOURCE builds call */
static int (*real___vfprintf_chk)(FILE *, int, const char *, va_list);
static int (*real___vprintf_chk)(int, const char *, va_list);
static int (*real___vdprintf_chk)(int, int, const char *, va_list);

static int resolving;          /* inside resolve(): allocations go to the arena */
static char arena[16384] __attribute__((aligned(16)));
static size_t arena_used;

static void *arena_alloc(size_t n) {
    n = (n + 15) & ~(size_t)15;
    if (n > sizeof arena - arena_used)
        return NULL;
    void *p = arena + arena_used;
    arena_used += n;
    return p;  /* static storage: already zero, as calloc needs */
}

static int in_arena(const void *p) {
    return (const char *)p >= arena && (const char *)p < arena + sizeof arena;
}

#define LOOKUP(name) real_##name = (__typeof__(real_##name))dlsym(RTLD_NEXT, #name)

static void resolve(void) {
    static int done;
    if (__atomic_load_n(&done, __ATOMIC_ACQUIRE) || resolving)
        return;
    resolving = 1;
    LOOKUP(malloc); LOOKUP(calloc); LOOKUP(realloc); LOOKUP(free); LOOKUP(posix_memalign);
    LOOKUP(aligned_alloc); LOOKUP(memalign); LOOKUP(valloc); LOOKUP(pvalloc);
    LOOKUP(mmap); LOOKUP(munmap); LOOKUP(mremap); LOOKUP(brk); LOOKUP(sbrk);
    LOOKUP(pthread_mutex_lock); LOOKUP(pthread_mutex_trylock); LOOKUP(pthread_mutex_timedlock);
    LOOKUP(pthread_mutex_unlock);
    LOOKUP(pthread_rwlock_rdlock); LOOKUP(pthread_rwlock_wrlock); LOOKUP(pthread_rwlock_tryrdlock);
    LOOKUP(pthread_rwlock_trywrlock); LOOKUP(pthread_rwlock_unlock);
    LOOKUP(pthread_spin_lock); LOOKUP(pthread_spin_trylock); LOOKUP(pthread_spin_unlock);
    LOOKUP(pthread_cond_wait); LOOKUP(pthread_cond_timedwait); LOOKUP(pthread_cond_signal);
    LOOKUP(pthread_cond_broadcast);
    LOOKUP(sem_wait); LOOKUP(sem_trywait); LOOKUP(sem_timedwait); LOOKUP(sem_post);
    LOOKUP(write); LOOKUP(writev); LOOKUP(pwrite); LOOKUP(send); LOOKUP(sendto); LOOKUP(sendmsg);
    LOOKUP(vprintf); LOOKUP(vfprintf); LOOKUP(vdprintf); LOOKUP(fputs); LOOKUP(puts); LOOKUP(fputc);
    LOOKUP(putc); LOOKUP(putchar); LOOKUP(fwrite); LOOKUP(fflush); LOOKUP(perror);
    LOOKUP(fputs_unlocked); LOOKUP(fputc_unlocked); LOOKUP(putc_unlocked); LOOKUP(putchar_unlocked);
    LOOKUP(fwrite_unlocked);
    LOOKUP(read); LOOKUP(readv); LOOKUP(pread); LOOKUP(recv); LOOKUP(recvfrom); LOOKUP(recvmsg);
    LOOKUP(fread); LOOKUP(fgets); LOOKUP(fgetc);
    LOOKUP(poll); LOOKUP(select); LOOKUP(nanosleep); LOOKUP(clock_nanosleep); LOOKUP(usleep);
    LOOKUP(sleep); LOOKUP(sched_yield);
    LOOKUP(open); LOOKUP(open64); LOOKUP(openat); LOOKUP(close); LOOKUP(fopen); LOOKUP(fopen64); LOOKUP(fclose);
    LOOKUP(ioctl); LOOKUP(syscall);
    LOOKUP(__vfprintf_chk); LOOKUP(__vprintf_chk); LOOKUP(__vdprintf_chk);
    resolving = 0;
    __atomic_store_n(&done, 1, __ATOMIC_RELEASE);
}

__attribute__((constructor)) static void rtcount_init(void) {
    resolve();
}

/* Every hook but the allocator's: count, make sure the next definition is
 * known, pass the call on. */
#define ENTER(kind, name) \
    do { \
        count(kind); \
        if (__builtin_expect(!real_##name, 0)) \
            resolve(); \
    } while (0)

/* ---------------------------------------------------------- allocation */

EXPORT void *malloc(size_t n) {
    count(K_MALLOC);
    if (__builtin_expect(!real_malloc, 0)) {
        if (resolving)
            return arena_alloc(n);
        resolve();
    }
    return real_malloc(n);
}

EXPORT void *calloc(size_t k, size_t n) {
    count(K_CALLOC);
    if (__builtin_expect(!real_calloc, 0)) {
        if (resolving)
            return n && k > (size_t)-1 / n ? NULL : arena_alloc(k * n);
        resolve();
    }
    return real_calloc(k, n);
}

EXPORT void *realloc(void *p, size_t n) {
    count(K_REALLOC);
    if (__builtin_expect(!real_realloc || in_arena(p), 0)) {
        if (resolving)
            return NULL;
        resolve();
        if (in_arena(p)) {  /* an arena block moves to the real heap */
            void *q = real_malloc(n);
            size_t room = (size_t)(arena + sizeof arena - (char *)p);
            if (q)
                memcpy(q, p, n < room ? n : room);
            return q;
        }
    }
    return real_realloc(p, n);
}

EXPORT void free(void *p) {
    count(K_FREE);
    if (in_arena(p))
        return;
    if (__builtin_expect(!real_free, 0)) {
        if (resolving)
            return;  /* lost: only during the look-up */
        resolve();
    }
    real_free(p);
}

EXPORT int posix_memalign(void **p, size_t align, size_t n) {
    ENTER(K_MEMALIGN, posix_memalign);
    return real_posix_memalign(p, align, n);
}

EXPORT void *aligned_alloc(size_t align, size_t n) {
    ENTER(K_MEMALIGN, aligned_alloc);
    return real_aligned_alloc(align, n);
}

EXPORT void *memalign(size_t align, size_t n) {
    ENTER(K_MEMALIGN, memalign);
    return real_memalign(align, n);
}

EXPORT void *valloc(size_t n) {
    ENTER(K_MEMALIGN, valloc);
    return real_valloc(n);
}

EXPORT void *pvalloc(size_t n) {
    ENTER(K_MEMALIGN, pvalloc);
    return real_pvalloc(n);
}

EXPORT void *mmap(void *a, size_t n, int prot, int flags, int fd, off_t off) {
    ENTER(K_MMAP, mmap);
    return real_mmap(a, n, prot, flags, fd, off);
}

EXPORT int munmap(void *a, size_t n) {
    ENTER(K_MMAP, munmap);
    return real_munmap(a, n);
}

EXPORT void *mremap(void *a, size_t n, size_t m, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    void *to = (flags & MREMAP_FIXED) ? va_arg(ap, void *) : NULL;
    va_end(ap);
    ENTER(K_MMAP, mremap);
    return real_mremap(a, n, m, flags, to);
}

EXPORT int brk(void *a) {
    ENTER(K_MMAP, brk);
    return real_brk(a);
}

EXPORT void *sbrk(intptr_t d) {
    ENTER(K_MMAP, sbrk);
    return real_sbrk(d);
}

/* --------------------------------------------------------------- locks */

#define HOOK1(kind, ret, name, T1) \
    EXPORT ret name(T1 a) { ENTER(kind, name); return real_##name(a); }
#define HOOK2(kind, ret, name, T1, T2) \
    EXPORT ret name(T1 a, T2 b) { ENTER(kind, name); return real_##name(a, b); }
#define HOOK3(kind, ret, name, T1, T2, T3) \
    EXPORT ret name(T1 a, T2 b, T3 c) { ENTER(kind, name); return real_##name(a, b, c); }
#define HOOK4(kind, ret, name, T1, T2, T3, T4) \
    EXPORT ret name(T1 a, T2 b, T3 c, T4 d) { ENTER(kind, name); return real_##name(a, b, c, d); }
#define HOOK5(kind, ret, name, T1, T2, T3, T4, T5) \
    EXPORT ret name(T1 a, T2 b, T3 c, T4 d, T5 e) { ENTER(kind, name); return real_##name(a, b, c, d, e); }
#define HOOK6(kind, ret, name, T1, T2, T3, T4, T5, T6) \
    EXPORT ret name(T1 a, T2 b, T3 c, T4 d, T5 e, T6 f) { \
        ENTER(kind, name); return real_##name(a, b, c, d, e, f); }

HOOK1(K_LOCK, int, pthread_mutex_lock, pthread_mutex_t *)
HOOK1(K_LOCK, int, pthread_mutex_trylock, pthread_mutex_t *)
HOOK2(K_LOCK, int, pthread_mutex_timedlock, pthread_mutex_t *restrict, const struct timespec *restrict)
HOOK1(K_UNLOCK, int, pthread_mutex_unlock, pthread_mutex_t *)
HOOK1(K_LOCK, int, pthread_rwlock_rdlock, pthread_rwlock_t *)
HOOK1(K_LOCK, int, pthread_rwlock_wrlock, pthread_rwlock_t *)
HOOK1(K_LOCK, int, pthread_rwlock_tryrdlock, pthread_rwlock_t *)
HOOK1(K_LOCK, int, pthread_rwlock_trywrlock, pthread_rwlock_t *)
HOOK1(K_UNLOCK, int, pthread_rwlock_unlock, pthread_rwlock_t *)
HOOK1(K_LOCK, int, pthread_spin_lock, pthread_spinlock_t *)
HOOK1(K_LOCK, int, pthread_spin_trylock, pthread_spinlock_t *)
HOOK1(K_UNLOCK, int, pthread_spin_unlock, pthread_spinlock_t *)
HOOK2(K_WAIT, int, pthread_cond_wait, pthread_cond_t *restrict, pthread_mutex_t *restrict)
HOOK3(K_WAIT, int, pthread_cond_timedwait, pthread_cond_t *restrict, pthread_mutex_t *restrict,
      const struct timespec *restrict)
HOOK1(K_WAKE, int, pthread_cond_signal, pthread_cond_t *)
HOOK1(K_WAKE, int, pthread_cond_broadcast, pthread_cond_t *)
HOOK1(K_WAIT, int, sem_wait, sem_t *)
HOOK1(K_WAIT, int, sem_trywait, sem_t *)
HOOK2(K_WAIT, int, sem_timedwait, sem_t *restrict, const struct timespec *restrict)
HOOK1(K_WAKE, int, sem_post, sem_t *)

/* -------------------------------------------------------------- output */

HOOK3(K_WRITE, ssize_t, write, int, const void *, size_t)
HOOK3(K_WRITE, ssize_t, writev, int, const struct iovec *, int)
HOOK4(K_WRITE, ssize_t, pwrite, int, const void *, size_t, off_t)
HOOK4(K_WRITE, ssize_t, send, int, const void *, size_t, int)
HOOK6(K_WRITE, ssize_t, sendto, int, const void *, size_t, int, const struct sockaddr *, socklen_t)
HOOK3(K_WRITE, ssize_t, sendmsg, int, const struct msghdr *, int)

HOOK2(K_STDIO, int, vprintf, const char *restrict, va_list)
HOOK3(K_STDIO, int, vfprintf, FILE *restrict, const char *restrict, va_list)
HOOK3(K_STDIO, int, vdprintf, int, const char *restrict, va_list)
HOOK2(K_STDIO, int, fputs, const char *restrict, FILE *restrict)
HOOK1(K_STDIO, int, puts, const char *)
HOOK2(K_STDIO, int, fputc, int, FILE *)
HOOK2(K_STDIO, int, putc, int, FILE *)
HOOK1(K_STDIO, int, putchar, int)
HOOK4(K_STDIO, size_t, fwrite, const void *restrict, size_t, size_t, FILE *restrict)
HOOK1(K_STDIO, int, fflush, FILE *)
EXPORT void perror(const char *s) {
    ENTER(K_STDIO, perror);
    real_perror(s);
}
HOOK2(K_STDIO, int, fputs_unlocked, const char *restrict, FILE *restrict)
HOOK2(K_STDIO, int, fputc_unlocked, int, FILE *)
HOOK2(K_STDIO, int, putc_unlocked, int, FILE *)
HOOK1(K_STDIO, int, putchar_unlocked, int)
HOOK4(K_STDIO, size_t, fwrite_unlocked, const void *restrict, size_t, size_t, FILE *restrict)

EXPORT int printf(const char *restrict fmt, ...) {
    ENTER(K_STDIO, vprintf);
    va_list ap;
    va_start(ap, fmt);
    int r = real_vprintf(fmt, ap);
    va_end(ap);
    return r;
}

EXPORT int fprintf(FILE *restrict f, const char *restrict fmt, ...) {
    ENTER(K_STDIO, vfprintf);
    va_list ap;
    va_start(ap, fmt);
    int r = real_vfprintf(f, fmt, ap);
    va_end(ap);
    return r;
}

EXPORT int dprintf(int fd, const char *restrict fmt, ...) {
    ENTER(K_STDIO, vdprintf);
    va_list ap;
    va_start(ap, fmt);
    int r = real_vdprintf(fd, fmt, ap);
    va_end(ap);
    return r;
}

EXPORT int __vfprintf_chk(FILE *f, int flag, const char *fmt, va_list ap) {
    ENTER(K_STDIO, __vfprintf_chk);
    return real___vfprintf_chk(f, flag, fmt, ap);
}

EXPORT int __vprintf_chk(int flag, const char *fmt, va_list ap) {
    ENTER(K_STDIO, __vprintf_chk);
    return real___vprintf_chk(flag, fmt, ap);
}

EXPORT int __vdprintf_chk(int fd, int flag, const char *fmt, va_list ap) {
    ENTER(K_STDIO, __vdprintf_chk);
    return real___vdprintf_chk(fd, flag, fmt, ap);
}

EXPORT int __fprintf_chk(FILE *f, int flag, const char *fmt, ...) {
    ENTER(K_STDIO, __vfprintf_chk);
    va_list ap;
    va_start(ap, fmt);
    int r = real___vfprintf_chk(f, flag, fmt, ap);
    va_end(ap);
    return r;
}

EXPORT int __printf_chk(int flag, const char *fmt, ...) {
    ENTER(K_STDIO, __vprintf_chk);
    va_list ap;
    va_start(ap, fmt);
    int r = real___vprintf_chk(flag, fmt, ap);
    va_end(ap);
    return r;
}

EXPORT int __dprintf_chk(int fd, int flag, const char *fmt, ...) {
    ENTER(K_STDIO, __vdprintf_chk);
    va_list ap;
    va_start(ap, fmt);
    int r = real___vdprintf_chk(fd, flag, fmt, ap);
    va_end(ap);
    return r;
}

/* ------------------------------------------- input, waiting, files, raw */

HOOK3(K_READ, ssize_t, read, int, void *, size_t)
HOOK3(K_READ, ssize_t, readv, int, const struct iovec *, int)
HOOK4(K_READ, ssize_t, pread, int, void *, size_t, off_t)
HOOK4(K_READ, ssize_t, recv, int, void *, size_t, int)
HOOK6(K_READ, ssize_t, recvfrom, int, void *restrict, size_t, int, struct sockaddr *restrict,
      socklen_t *restrict)
HOOK3(K_READ, ssize_t, recvmsg, int, struct msghdr *, int)
HOOK4(K_READ, size_t, fread, void *restrict, size_t, size_t, FILE *restrict)
HOOK3(K_READ, char *, fgets, char *restrict, int, FILE *restrict)
HOOK1(K_READ, int, fgetc, FILE *)

HOOK3(K_SLEEP, int, poll, struct pollfd *, nfds_t, int)
HOOK5(K_SLEEP, int, select, int, fd_set *restrict, fd_set *restrict, fd_set *restrict,
      struct timeval *restrict)
HOOK2(K_SLEEP, int, nanosleep, const struct timespec *, struct timespec *)
HOOK4(K_SLEEP, int, clock_nanosleep, clockid_t, int, const struct timespec *, struct timespec *)
HOOK1(K_SLEEP, int, usleep, useconds_t)
HOOK1(K_SLEEP, unsigned int, sleep, unsigned int)

EXPORT int sched_yield(void) {
    ENTER(K_SLEEP, sched_yield);
    return real_sched_yield();
}

/* open's third argument is there only when the file may be created */
static int takes_mode(int flags) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

EXPORT int open(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = takes_mode(flags) ? (mode_t)va_arg(ap, int) : 0;
    va_end(ap);
    ENTER(K_OPEN, open);
    return real_open(path, flags, mode);
}

EXPORT int open64(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = takes_mode(flags) ? (mode_t)va_arg(ap, int) : 0;
    va_end(ap);
    ENTER(K_OPEN, open64);
    return real_open64(path, flags, mode);
}

EXPORT int openat(int dir, const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = takes_mode(flags) ? (mode_t)va_arg(ap, int) : 0;
    va_end(ap);
    ENTER(K_OPEN, openat);
    return real_openat(dir, path, flags, mode);
}

HOOK1(K_OPEN, int, close, int)
HOOK2(K_OPEN, FILE *, fopen, const char *restrict, const char *restrict)
HOOK2(K_OPEN, FILE *, fopen64, const char *restrict, const char *restrict)
HOOK1(K_OPEN, int, fclose, FILE *)

EXPORT int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    ENTER(K_SYSCALL, ioctl);
    return real_ioctl(fd, request, arg);
}

EXPORT long syscall(long number, ...) {
    va_list ap;
    va_start(ap, number);
    long a = va_arg(ap, long), b = va_arg(ap, long), c = va_arg(ap, long);
    long d = va_arg(ap, long), e = va_arg(ap, long), f = va_arg(ap, long);
    va_end(ap);
    ENTER(K_SYSCALL, syscall);
    return real_syscall(number, a, b, c, d, e, f);
}
