/*
 * One-time initialisation: a three-state word moved with atomic
 * compare-and-exchange.  The installer runs on one thread, so the wait loop
 * only matters to programs that share the runtime between threads; it spins
 * with the processor's pause hint, since the functions run once are short.
 */
#include <zelk/err.h>
#include <zelk/once.h>

namespace {

enum : int32_t
{
    RTONCE_STATE_UNINITIALIZED = 0,
    RTONCE_STATE_BUSY = 1,
    RTONCE_STATE_DONE = 2
};

} // namespace

int RTOnce(RTONCE *pOnce, PFNRTONCE pfnOnce, void *pvUser)
{
    if (__atomic_load_n(&pOnce->iState, __ATOMIC_ACQUIRE) == RTONCE_STATE_DONE)
        return __atomic_load_n(&pOnce->rc, __ATOMIC_RELAXED);

    int32_t iExpected = RTONCE_STATE_UNINITIALIZED;
    if (__atomic_compare_exchange_n(&pOnce->iState, &iExpected, RTONCE_STATE_BUSY, false,
                                    __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
    {
        int const rc = pfnOnce(pvUser);
        __atomic_store_n(&pOnce->rc, rc, __ATOMIC_RELAXED);
        __atomic_store_n(&pOnce->iState, RTONCE_STATE_DONE, __ATOMIC_RELEASE);
        return rc;
    }

    while (__atomic_load_n(&pOnce->iState, __ATOMIC_ACQUIRE) != RTONCE_STATE_DONE)
    {
#if defined(__i386__) || defined(__x86_64__)
        __builtin_ia32_pause();
#endif
    }
    return __atomic_load_n(&pOnce->rc, __ATOMIC_RELAXED);
}
