/*
 * The open-flag word: validation and its translation into the access,
 * sharing, disposition and attribute values of a Win32 open, and what an
 * open with a disposition did.  The access masks are spelled out as the
 * Windows rights they are made of, so that a handle asks for exactly what
 * its flags allow and nothing more.
 */
#include <zelk/err.h>

#include "file-internal.h"

namespace {

/* Share modes by sharing value, 0x10 to 0x80. */
const uint8_t g_abShareModes[8] = // clang-format off
{
    /* 0x10 deny read */            RTFILE_WIN_SHARE_WRITE,
    /* 0x20 deny write */           RTFILE_WIN_SHARE_READ,
    /* 0x30 deny read and write */  0,
    /* 0x40 deny nothing but... */  RTFILE_WIN_SHARE_READ | RTFILE_WIN_SHARE_WRITE | RTFILE_WIN_SHARE_DELETE,
    /* 0x50 */                      RTFILE_WIN_SHARE_WRITE | RTFILE_WIN_SHARE_DELETE,
    /* 0x60 */                      RTFILE_WIN_SHARE_READ | RTFILE_WIN_SHARE_DELETE,
    /* 0x70 */                      RTFILE_WIN_SHARE_DELETE,
    /* 0x80 deny none */            RTFILE_WIN_SHARE_READ | RTFILE_WIN_SHARE_WRITE,
};
// clang-format on

/* Creation dispositions by action (the flag bits 8 to 10); 0 where the value is no action. */
const uint8_t g_abDispositions[8] = // clang-format off
{
    /* 0x000 */ 0,
    /* 0x100 open or create */     RTFILE_WIN_OPEN_ALWAYS,
    /* 0x200 create */             RTFILE_WIN_CREATE_NEW,
    /* 0x300 create or replace */  RTFILE_WIN_CREATE_ALWAYS,
    /* 0x400 to 0x600 */           0, 0, 0,
    /* 0x700 open */               RTFILE_WIN_OPEN_EXISTING,
};
// clang-format on

uint32_t rtFileOpenDisposition(uint32_t fOpen)
{
    return g_abDispositions[(fOpen & RTFILE_O_ACTION_MASK) >> 8];
}

/* What a successful open did, by disposition (1 to 5) and whether the file was there. */
const uint8_t g_abActions[5][2] = // clang-format off
{   /*                          missing                   there */
    /* create new */          { RTFILEACTION_CREATED,   RTFILEACTION_CREATED },
    /* create always */       { RTFILEACTION_CREATED,   RTFILEACTION_REPLACED },
    /* open existing */       { RTFILEACTION_OPENED,    RTFILEACTION_OPENED },
    /* open always */         { RTFILEACTION_CREATED,   RTFILEACTION_OPENED },
    /* truncate existing */   { RTFILEACTION_TRUNCATED, RTFILEACTION_TRUNCATED },
};
// clang-format on

} // namespace

int rtFileOpenFlagsValidate(uint64_t *pfOpen)
{
    /* Only the low half carries meaning, and 32-bit tests are what the 32-bit target does well. */
    uint32_t fOpen = (uint32_t)*pfOpen;
    if (!(fOpen & RTFILE_O_ACCESS_MASK) && !(fOpen & RTFILE_O_ACCESS_ATTR_MASK))
        return KERR_INVALID_PARAMETER;
    if (fOpen & RTFILE_O_RESERVED_MASK)
        return KERR_INVALID_PARAMETER;
    if ((fOpen & RTFILE_O_TRUNCATE) && !(fOpen & RTFILE_O_WRITE))
        return KERR_INVALID_PARAMETER;

    if (!(fOpen & RTFILE_O_ACTION_MASK))
        fOpen |= RTFILE_O_OPEN;
    else if (!rtFileOpenDisposition(fOpen))
        return KERR_INVALID_PARAMETER;
    if ((fOpen & RTFILE_O_ACTION_MASK) == RTFILE_O_OPEN && (fOpen & RTFILE_O_NOT_CONTENT_INDEXED))
        return KERR_INVALID_PARAMETER;

    if (!(fOpen & RTFILE_O_DENY_MASK))
        fOpen |= RTFILE_O_DENY_NONE;
    else if ((fOpen & RTFILE_O_DENY_MASK) > RTFILE_O_DENY_NONE)
        return KERR_INVALID_PARAMETER;

    *pfOpen = fOpen;
    return KINF_SUCCESS;
}

int rtFileOpenFlagsToWin(uint32_t fOpen, RTFILEWINOPEN *pWin)
{
    bool const fAppend = (fOpen & RTFILE_O_APPEND) != 0;
    uint32_t fAccess;
    switch ((uint32_t)(fOpen & RTFILE_O_ACCESS_MASK))
    {
        case 0: fAccess = 0; break;
        case RTFILE_O_READ: fAccess = RTFILE_WIN_FILE_GENERIC_READ; break;
        case RTFILE_O_WRITE: fAccess = RTFILE_WIN_FILE_GENERIC_WRITE; break;
        default: fAccess = RTFILE_WIN_FILE_GENERIC_READ | RTFILE_WIN_FILE_GENERIC_WRITE; break;
    }
    /* Appending: every write lands at the end, so the right to write anywhere is left out. */
    if (fAppend)
        fAccess &= ~RTFILE_WIN_WRITE_DATA;

    uint32_t fAttrAccess = (uint32_t)(fOpen & RTFILE_O_ACCESS_ATTR_MASK);
    if (!fAttrAccess)
        fAttrAccess = (fOpen & RTFILE_O_ACCESS_MASK) << 16;
    if (fAttrAccess & RTFILE_O_ACCESS_ATTR_READ)
        fAccess |= RTFILE_WIN_SYNCHRONIZE | RTFILE_WIN_READ_ATTRIBUTES;
    if (fAttrAccess & RTFILE_O_ACCESS_ATTR_WRITE)
        fAccess |= RTFILE_WIN_SYNCHRONIZE | RTFILE_WIN_WRITE_ATTRIBUTES;

    uint32_t uDisposition = rtFileOpenDisposition(fOpen);
    if (!uDisposition)
        return KERR_INVALID_FLAGS;
    if (uDisposition == RTFILE_WIN_OPEN_EXISTING && (fOpen & RTFILE_O_TRUNCATE))
    {
        /* Truncating an existing file is refused without the generic write right. */
        uDisposition = RTFILE_WIN_TRUNCATE_EXISTING;
        fAccess |= RTFILE_WIN_GENERIC_WRITE;
    }

    uint32_t const uDeny = (uint32_t)(fOpen & RTFILE_O_DENY_MASK);
    if (uDeny < 0x10 || uDeny > 0x80)
        return KERR_INVALID_FLAGS;

    uint32_t fFlags = fOpen & RTFILE_O_TEMPORARY ? RTFILE_WIN_ATTRIBUTE_TEMPORARY
                                                 : RTFILE_WIN_ATTRIBUTE_NORMAL;
    if (fOpen & RTFILE_O_WRITE_THROUGH)
        fFlags |= RTFILE_WIN_FLAG_WRITE_THROUGH;
    if (fOpen & RTFILE_O_ASYNC_IO)
        fFlags |= RTFILE_WIN_FLAG_OVERLAPPED;
    if (fOpen & RTFILE_O_NO_CACHE)
    {
        /* Unbuffered appends are refused by the system; the right goes with the cache. */
        fFlags |= RTFILE_WIN_FLAG_NO_BUFFERING;
        fAccess &= ~RTFILE_WIN_APPEND_DATA;
    }

    pWin->fDesiredAccess = fAccess;
    pWin->fShareMode = g_abShareModes[(uDeny >> 4) - 1];
    pWin->uCreationDisposition = uDisposition;
    pWin->fFlagsAndAttributes = fFlags;
    pWin->fInherit = (fOpen & RTFILE_O_INHERIT) != 0;
    return KINF_SUCCESS;
}

RTFILEACTION rtFileOpenActionFromWin(uint32_t uDisposition, bool fExisted)
{
    if (uDisposition < RTFILE_WIN_CREATE_NEW || uDisposition > RTFILE_WIN_TRUNCATE_EXISTING)
        return RTFILEACTION_OPENED;
    return (RTFILEACTION)g_abActions[uDisposition - RTFILE_WIN_CREATE_NEW][fExisted];
}
