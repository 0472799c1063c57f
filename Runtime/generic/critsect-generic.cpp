/*
 * A spinning critical section for the runtime's short sections (one
 * formatted write to a stream, the stream list).  Waiters spin with a pause
 * hint; the sections guard microseconds of work, so no kernel object is
 * needed.
 */
#include <zelk/critsect.h>
#include <zelk/err.h>

int RTCritSectInit(PRTCRITSECT pCritSect, const char *pszName)
{
    pCritSect->u32Magic = RTCRITSECT_MAGIC;
    pCritSect->iLocked = 0;
    pCritSect->pszName = pszName;
    return KINF_SUCCESS;
}

int RTCritSectEnter(PRTCRITSECT pCritSect)
{
    if (pCritSect->u32Magic != RTCRITSECT_MAGIC)
        return KERR_INVALID_HANDLE;
    while (__atomic_exchange_n(&pCritSect->iLocked, 1, __ATOMIC_ACQUIRE))
    {
        while (__atomic_load_n(&pCritSect->iLocked, __ATOMIC_RELAXED))
        {
#if defined(__i386__) || defined(__x86_64__)
            __builtin_ia32_pause();
#endif
        }
    }
    return KINF_SUCCESS;
}

int RTCritSectLeave(PRTCRITSECT pCritSect)
{
    if (pCritSect->u32Magic != RTCRITSECT_MAGIC)
        return KERR_INVALID_HANDLE;
    __atomic_store_n(&pCritSect->iLocked, 0, __ATOMIC_RELEASE);
    return KINF_SUCCESS;
}

int RTCritSectDelete(PRTCRITSECT pCritSect)
{
    if (pCritSect->u32Magic != RTCRITSECT_MAGIC)
        return KERR_INVALID_HANDLE;
    pCritSect->u32Magic = ~RTCRITSECT_MAGIC;
    return KINF_SUCCESS;
}
