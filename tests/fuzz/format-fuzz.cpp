/*
 * libFuzzer target for the format engine.
 *
 * Input: the first kcSlots bytes pick the kind of each argument slot, the
 * rest is the format string.  Every slot is passed as one 64-bit integer so
 * that a conversion reading it as an int, a 64-bit value or a pointer always
 * finds a supplied value:
 *   - pointers point into a region mapped at an address whose low 32 bits
 *     are small, so the same slot read as an int is a modest width,
 *     precision or count (a dump length never runs past the region);
 *   - the "bad" kinds are within 4096 of zero at either end;
 *   - text in the region never holds a '%', so %M and %N (whose targets are
 *     slots too) never start consuming arguments of their own.
 * The format may hold at most kcMaxSpecs '%' and no digit run longer than 3,
 * which bounds both the arguments consumed (at most 4 per specifier) and the
 * padding.  Doubles beyond the eight passed in registers come from the
 * integer slots, which is fine for the runtime's bit-level notation.
 */
#include <zelk/format.h>
#include <zelk/string.h>

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kcSlots = 64;
constexpr size_t kcMaxSpecs = 15;
constexpr size_t kcbRegion = 0x40000;
constexpr size_t kcbObject = 0x400;
/* Low 32 bits of every region address are below kcbRegion. */
uint8_t *const g_pbRegionAt = (uint8_t *)(uintptr_t)UINT64_C(0x7e0000000000);

uint8_t *g_pbRegion;

uint8_t *regionInit()
{
    void *pv = mmap(g_pbRegionAt, kcbRegion, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (pv != g_pbRegionAt)
        abort();
    return (uint8_t *)pv;
}

/* Bounded output: a stack buffer that wraps, so the callback itself is cheap. */
struct FuzzSink
{
    char ach[512];
    size_t off;
    size_t cbTotal;
};

size_t fuzzOutput(void *pvArg, const char *pach, size_t cch)
{
    FuzzSink *pSink = (FuzzSink *)pvArg;
    for (size_t i = 0; i < cch; i++)
        pSink->ach[(pSink->off + i) % sizeof(pSink->ach)] = pach[i];
    pSink->off += cch;
    pSink->cbTotal += cch;
    return cch;
}

size_t fuzzUserType(void *, PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                    va_list *pva, int, int, unsigned, char)
{
    /* Consumes one argument for 'n', none otherwise. */
    if (**ppszFormat == 'n')
        (void)va_arg(*pva, int);
    (*ppszFormat)++;
    return pfnOutput(pvArgOutput, "{u}", 3);
}

/* Lays out kcSlots objects of kcbObject bytes from the input, no '%' anywhere. */
void regionFill(const uint8_t *pbData, size_t cbData)
{
    memset(g_pbRegion, 0, kcbRegion);
    for (size_t iObj = 0; iObj < 8; iObj++)
    {
        uint8_t *pbObj = g_pbRegion + 0x1000 + iObj * kcbObject;
        size_t const cbText = cbData < 96 ? cbData : 96;
        for (size_t i = 0; i < cbText; i++)
            pbObj[i] = pbData[(i + iObj * 7) % cbData] == '%' ? '#'
                                                              : pbData[(i + iObj * 7) % cbData];
        /* Odd objects are set error-info records whose message stays in the region; text
           that happens to look like a set record would carry a wild message pointer. */
        for (size_t off = 0; off < cbText; off += 8)
        {
            uint32_t fFlags;
            memcpy(&fFlags, pbObj + off, sizeof(fFlags));
            if ((fFlags & RTFMTERRINFO_F_SET_MASK) == RTFMTERRINFO_F_SET)
                pbObj[off] &= (uint8_t)~0x04;
        }
        if (iObj & 1)
        {
            RTFMTERRINFO Info = { RTFMTERRINFO_F_SET, -41, 64, (const char *)pbObj + 0x100 };
            memcpy(pbObj, &Info, sizeof(Info));
            memcpy(pbObj + 0x100, "message text", 13);
        }
    }
}

uint64_t slotValue(uint8_t bKind)
{
    switch (bKind % 16)
    {
        case 0: return 0;
        case 1: return 0x10;
        case 2: return 0xfff;
        case 3: return UINT64_MAX;         /* -1 */
        case 4: return UINT64_MAX - 0xfff; /* -4096 */
        case 5: return 1;
        case 6: return 7;
        case 7: return 64;
        default:
            /* Aligned for any element type: UTF-16 and code-point strings must be. */
            return (uintptr_t)(g_pbRegion + 0x1000 + (bKind % 8) * kcbObject + (bKind >> 5) * 8);
    }
}

/*
 * Runs the engine and the buffer front end on one argument list, so that both
 * see the arguments in the same registers and stack slots.
 */
void fuzzRun(const char *pszFormat, bool fUser, size_t cbBuf, ...)
{
    va_list va;
    va_start(va, cbBuf);
    FuzzSink Sink;
    Sink.off = Sink.cbTotal = 0;
    size_t const cch = RTStrFmtV(fuzzOutput, &Sink, fUser ? fuzzUserType : nullptr, nullptr,
                                 pszFormat, va);
    if (cch != Sink.cbTotal)
        abort();

    /* The buffer front end, with a canary past the buffer. */
    char achBuf[40];
    memset(achBuf, 0xcc, sizeof(achBuf));
    ptrdiff_t const cchEx = RTStrFmtToBufExV(achBuf, cbBuf, pszFormat, va);
    va_end(va);
    /* Without the user callback both must see the same output. */
    if (!fUser && (cchEx >= 0 ? (size_t)cchEx != cch : (size_t)(-cchEx - 1) != cch))
    {
        fprintf(stderr, "format [%s] lengths %zu / %td\n", pszFormat, cch, cchEx);
        abort();
    }
    if (cchEx >= 0 && (size_t)cchEx >= cbBuf)
        abort();
    for (size_t i = cbBuf; i < sizeof(achBuf); i++)
        if ((uint8_t)achBuf[i] != 0xcc)
            abort();
    if (cbBuf && RTStrNLen(achBuf, cbBuf) == cbBuf)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (!g_pbRegion)
        g_pbRegion = regionInit();
    if (cbData < kcSlots + 1)
        return 0;

    /* The format: bounded specifier count and digit runs. */
    size_t const cchFormat = cbData - kcSlots;
    if (cchFormat > 1024)
        return 0;
    char szFormat[1025];
    size_t cSpecs = 0, cDigitRun = 0;
    for (size_t i = 0; i < cchFormat; i++)
    {
        char const ch = (char)pbData[kcSlots + i];
        if (ch == '%' && ++cSpecs > kcMaxSpecs)
            return 0;
        cDigitRun = ch >= '0' && ch <= '9' ? cDigitRun + 1 : 0;
        if (cDigitRun > 3)
            return 0;
        szFormat[i] = ch;
    }
    szFormat[cchFormat] = '\0';

    regionFill(pbData + kcSlots, cchFormat ? cchFormat : 1);
    uint64_t au[kcSlots];
    for (size_t i = 0; i < kcSlots; i++)
        au[i] = slotValue(pbData[i]);
    double const ard[8] = { 1.0, -0.0, 1e300, -3.5, 5e-324, 0.1, 2.0, -1e-10 };

#define S8(i) au[i], au[i + 1], au[i + 2], au[i + 3], au[i + 4], au[i + 5], au[i + 6], au[i + 7]
    fuzzRun(szFormat, (pbData[0] & 0x80) != 0, pbData[1] % 33, ard[0], ard[1], ard[2], ard[3],
            ard[4], ard[5], ard[6], ard[7], S8(0), S8(8), S8(16), S8(24), S8(32), S8(40), S8(48),
            S8(56));
#undef S8
    return 0;
}
