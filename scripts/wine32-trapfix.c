/* Preloaded into every emulated i386 Wine process (through the sysroot's
 * /etc/ld.so.preload, which only the emulated processes read).
 *
 * qemu-user leaves sigcontext.trapno at -1 in the frames it builds for guest
 * signals. Wine's i386 signal handlers decide the exception from trapno, so
 * without this every access violation reads as c000001d (illegal
 * instruction), and Wine's own fault handling (IsBadWritePtr, guard pages)
 * crashes. This wraps the handlers Wine installs and rebuilds trapno from the
 * signal number and si_code before they run. Built freestanding: no headers
 * of the 32-bit C library are needed, only its sigaction and dlsym. */
typedef unsigned int u32;
/* glibc's i386 struct sigaction */
struct i386_sigaction {
    void *handler;
    u32 mask[32];
    int flags;
    void *restorer;
};
typedef void (*handler3)(int, void *, void *);
extern void *dlsym(void *, const char *);
#define RTLD_NEXT ((void *)-1l)
#define SA_SIGINFO 4
#define REG_TRAPNO 12
#define SIG_ILL 4
#define SIG_TRAP 5
#define SIG_BUS 7
#define SIG_FPE 8
#define SIG_SEGV 11

static handler3 saved[65];
static int (*real_sigaction)(int, const struct i386_sigaction *, struct i386_sigaction *);

static int wrapped(int sig)
{
    return sig == SIG_SEGV || sig == SIG_BUS || sig == SIG_ILL || sig == SIG_TRAP || sig == SIG_FPE;
}

static void wrapper(int sig, void *info, void *context)
{
    int *gregs = (int *)((char *)context + 20); /* after uc_flags, uc_link and the 12-byte uc_stack */
    int code = info ? ((int *)info)[2] : 0;      /* si_code */
    if (gregs[REG_TRAPNO] == -1)
    {
        switch (sig)
        {
        case SIG_SEGV: gregs[REG_TRAPNO] = (code == 0x80) ? 13 : 14; break; /* SI_KERNEL: #GP, else #PF */
        case SIG_BUS:  gregs[REG_TRAPNO] = 14; break;
        case SIG_ILL:  gregs[REG_TRAPNO] = 6; break;                        /* #UD */
        case SIG_TRAP: gregs[REG_TRAPNO] = (code == 2) ? 1 : 3; break;      /* TRAP_TRACE: #DB, else #BP */
        case SIG_FPE:  gregs[REG_TRAPNO] = (code == 1) ? 0 : (code == 2) ? 4 : 16; break; /* div, overflow, x87 */
        }
    }
    saved[sig](sig, info, context);
}

int sigaction(int sig, const struct i386_sigaction *act, struct i386_sigaction *old)
{
    struct i386_sigaction copy;
    int result;
    if (!real_sigaction) real_sigaction = (int (*)(int, const struct i386_sigaction *, struct i386_sigaction *))
                                               dlsym(RTLD_NEXT, "sigaction");
    if (act && wrapped(sig) && (act->flags & SA_SIGINFO) && act->handler != (void *)wrapper)
    {
        copy = *act;
        saved[sig] = (handler3)act->handler;
        copy.handler = (void *)wrapper;
        act = &copy;
    }
    result = real_sigaction(sig, act, old);
    if (!result && old && old->handler == (void *)wrapper) old->handler = (void *)saved[sig];
    return result;
}
