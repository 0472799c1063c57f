/*
 * The open-flag word: validation and its translation into the access,
 * sharing, disposition and attribute values of a Win32 open.  The access
 * masks are spelled out as the Windows rights they are made of, so that a
 * handle asks for exactly what its flags allow and nothing more.
 */
#include <zelk/err.h>

#include "file-internal.h"

namespace {

/* Windows access rights. */
const uint32_t g_fFileReadData      = 0x0001;
const uint32_t g_fFileWriteData     = 0x0002;
const uint32_t g_fFileAppendData    = 0x0004;
const uint32_t g_fFileReadEa        = 0x0008;
const uint32_t g_fFileWriteEa       = 0x0010;
const uint32_t g_fFileReadAttribs   = 0x0080;
const uint32_t g_fFileWriteAttribs  = 0x0100;
const uint32_t g_fReadControl       = 0x00020000;
const uint32_t g_fSynchronize       = 0x00100000;
const uint32_t g_fGenericWrite      = 0x40000000;

/* Windows share modes and attributes. */
const uint32_t g_fShareRead   = 1;
const uint32_t g_fShareWrite  = 2;
const uint32_t g_fShareDelete = 4;

const uint32_t g_fAttrNormal        = 0x00000080;
const uint32_t g_fAttrTemporary     = 0x00000100;
const uint32_t g_fFlagWriteThrough  = 0x80000000;
const uint32_t g_fFlagOverlapped    = 0x40000000;
const uint32_t g_fFlagNoBuffering   = 0x20000000;

/* Share modes by sharing value, 0x10 to 0x80. */
const uint32_t g_afShareModes[8] =
{
    /* 0x10 deny read */            g_fShareWrite,
    /* 0x20 deny write */           g_fShareRead,
    /* 0x30 deny read and write */  0,
    /* 0x40 deny nothing but... */  g_fShareRead | g_fShareWrite | g_fShareDelete,
    /* 0x50 */                      g_fShareWrite | g_fShareDelete,
    /* 0x60 */                      g_fShareRead | g_fShareDelete,
    /* 0x70 */                      g_fShareDelete,
    /* 0x80 deny none */            g_fShareRead | g_fShareWrite,
};

} // namespace

int rtFileOpenFlagsValidate(uint64_t *pfOpen)
{
    uint64_t fOpen = *pfOpen & UINT64_C(0xFFFFFFFF);
    if (!(fOpen & RTFILE_O_ACCESS_MASK) && !(fOpen & RTFILE_O_ACCESS_ATTR_MASK))
        return KERR_INVALID_PARAMETER;
    if (fOpen & RTFILE_O_RESERVED_MASK)
        return KERR_INVALID_PARAMETER;
    if ((fOpen & RTFILE_O_TRUNCATE) && !(fOpen & RTFILE_O_WRITE))
        return KERR_INVALID_PARAMETER;

    switch (fOpen & RTFILE_O_ACTION_MASK)
    {
        case 0:
            fOpen |= RTFILE_O_OPEN;
            break;
        case RTFILE_O_OPEN_CREATE:
        case RTFILE_O_CREATE:
        case RTFILE_O_CREATE_REPLACE:
            break;
        case RTFILE_O_OPEN:
            break;
        default:
            return KERR_INVALID_PARAMETER;
    }
    if ((fOpen & RTFILE_O_ACTION_MASK) == RTFILE_O_OPEN && (fOpen & RTFILE_O_NOT_CONTENT_INDEXED))
        return KERR_INVALID_PARAMETER;

    if (!(fOpen & RTFILE_O_DENY_MASK))
        fOpen |= RTFILE_O_DENY_NONE;
    else if ((fOpen & RTFILE_O_DENY_MASK) > RTFILE_O_DENY_NONE)
        return KERR_INVALID_PARAMETER;

    *pfOpen = fOpen;
    return KINF_SUCCESS;
}

int rtFileOpenFlagsToWin(uint64_t fOpen, RTFILEWINOPEN *pWin)
{
    bool const fAppend = (fOpen & RTFILE_O_APPEND) != 0;
    uint32_t fAccess;
    switch (fOpen & RTFILE_O_ACCESS_MASK)
    {
        case 0:
            fAccess = 0;
            break;
        case RTFILE_O_READ:
            fAccess = g_fSynchronize | g_fReadControl | g_fFileReadAttribs | g_fFileReadEa | g_fFileReadData;
            break;
        case RTFILE_O_WRITE:
            fAccess = g_fSynchronize | g_fReadControl | g_fFileWriteAttribs | g_fFileWriteEa | g_fFileAppendData
                    | (fAppend ? 0 : g_fFileWriteData);
            break;
        default:
            fAccess = g_fSynchronize | g_fReadControl | g_fFileReadAttribs | g_fFileWriteAttribs | g_fFileReadEa
                    | g_fFileWriteEa | g_fFileReadData | g_fFileAppendData | (fAppend ? 0 : g_fFileWriteData);
            break;
    }

    uint64_t fAttrAccess = fOpen & RTFILE_O_ACCESS_ATTR_MASK;
    if (!fAttrAccess)
        fAttrAccess = (fOpen & RTFILE_O_ACCESS_MASK) << 16;
    if (fAttrAccess & RTFILE_O_ACCESS_ATTR_READ)
        fAccess |= g_fSynchronize | g_fFileReadAttribs;
    if (fAttrAccess & RTFILE_O_ACCESS_ATTR_WRITE)
        fAccess |= g_fSynchronize | g_fFileWriteAttribs;

    uint32_t uDisposition;
    switch (fOpen & RTFILE_O_ACTION_MASK)
    {
        case RTFILE_O_OPEN_CREATE:    uDisposition = RTFILE_WIN_OPEN_ALWAYS; break;
        case RTFILE_O_CREATE:         uDisposition = RTFILE_WIN_CREATE_NEW; break;
        case RTFILE_O_CREATE_REPLACE: uDisposition = RTFILE_WIN_CREATE_ALWAYS; break;
        case RTFILE_O_OPEN:
            uDisposition = fOpen & RTFILE_O_TRUNCATE ? RTFILE_WIN_TRUNCATE_EXISTING : RTFILE_WIN_OPEN_EXISTING;
            break;
        default:
            return KERR_INVALID_FLAGS;
    }
    /* Truncating an existing file is refused without the generic write right. */
    if (uDisposition == RTFILE_WIN_TRUNCATE_EXISTING)
        fAccess |= g_fGenericWrite;

    uint32_t const uDeny = (uint32_t)(fOpen & RTFILE_O_DENY_MASK);
    if (uDeny < 0x10 || uDeny > 0x80)
        return KERR_INVALID_FLAGS;

    uint32_t fFlags = fOpen & RTFILE_O_TEMPORARY ? g_fAttrTemporary : g_fAttrNormal;
    if (fOpen & RTFILE_O_WRITE_THROUGH)
        fFlags |= g_fFlagWriteThrough;
    if (fOpen & RTFILE_O_ASYNC_IO)
        fFlags |= g_fFlagOverlapped;
    if (fOpen & RTFILE_O_NO_CACHE)
    {
        /* Unbuffered appends are refused by the system; the right goes with the cache. */
        fFlags |= g_fFlagNoBuffering;
        fAccess &= ~g_fFileAppendData;
    }

    pWin->fDesiredAccess = fAccess;
    pWin->fShareMode = g_afShareModes[(uDeny >> 4) - 1];
    pWin->uCreationDisposition = uDisposition;
    pWin->fFlagsAndAttributes = fFlags;
    pWin->fInherit = (fOpen & RTFILE_O_INHERIT) != 0;
    return KINF_SUCCESS;
}
