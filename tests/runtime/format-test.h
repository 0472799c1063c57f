/*
 * Helpers shared by the format engine tests: format into a std::string while
 * recording every call the engine makes to the output callback.
 */
#ifndef ZELK_TESTS_FORMAT_TEST_H
#define ZELK_TESTS_FORMAT_TEST_H

#include <zelk/format.h>

#include <string>
#include <vector>

struct FmtCapture
{
    std::string strOut;
    std::vector<std::string> vecPieces; /* one entry per counted call */
    size_t cEndCalls = 0;
    bool fCallAfterEnd = false;
};

static inline size_t fmtCaptureOutput(void *pvArg, const char *pach, size_t cch)
{
    FmtCapture *pCap = (FmtCapture *)pvArg;
    if (!pach && !cch)
    {
        pCap->cEndCalls++;
        return 1000; /* must not be counted */
    }
    if (pCap->cEndCalls)
        pCap->fCallAfterEnd = true;
    pCap->strOut.append(pach, cch);
    pCap->vecPieces.emplace_back(pach, cch);
    return cch;
}

/* Formats through the engine; checks the return value and the end-of-output call. */
static inline std::string fmtV(FmtCapture &Cap, const char *pszFormat, va_list va)
{
    size_t const cch = RTStrFmtV(fmtCaptureOutput, &Cap, nullptr, nullptr, pszFormat, va);
    if (cch != Cap.strOut.size() || Cap.cEndCalls != 1 || Cap.fCallAfterEnd)
        return "<contract broken: count " + std::to_string(cch) + " vs "
               + std::to_string(Cap.strOut.size()) + ", end calls " + std::to_string(Cap.cEndCalls)
               + ">";
    return Cap.strOut;
}

static inline std::string fmt(const char *pszFormat, ...)
{
    FmtCapture Cap;
    va_list va;
    va_start(va, pszFormat);
    std::string str = fmtV(Cap, pszFormat, va);
    va_end(va);
    return str;
}

/* Pointer-width dependent expectation. */
static inline const char *byPtr(const char *psz32, const char *psz64)
{
    return sizeof(void *) == 4 ? psz32 : psz64;
}

#endif
