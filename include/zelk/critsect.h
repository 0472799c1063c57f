/*
 * Critical sections: the least the runtime needs of them, a non-recursive
 * mutual exclusion with enter, leave and delete.  The owner may not enter
 * twice.
 */
#ifndef ZELK_CRITSECT_H
#define ZELK_CRITSECT_H

#include <zelk/types.h>

typedef struct RTCRITSECT
{
    uint32_t u32Magic;
    int32_t volatile iLocked;
    const char *pszName;
} RTCRITSECT;
typedef RTCRITSECT *PRTCRITSECT;

#define RTCRITSECT_MAGIC UINT32_C(0x19790326)

/* Initialises the section, unlocked.  pszName names it for diagnostics. */
int RTCritSectInit(PRTCRITSECT pCritSect, const char *pszName);
/* Waits until the section is free and takes it. */
int RTCritSectEnter(PRTCRITSECT pCritSect);
/* Releases it. */
int RTCritSectLeave(PRTCRITSECT pCritSect);
/* Invalidates it; it must not be held. */
int RTCritSectDelete(PRTCRITSECT pCritSect);

#endif
