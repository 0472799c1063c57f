/*
 * The assertion-message channel over the direct standard-error writers: no
 * stream, lock or allocation, as the process may be in no state for them.
 */
#include <zelk/assert.h>
#include <zelk/format.h>
#include <zelk/stderr.h>
#include <zelk/string.h>

namespace {

char g_szRTAssertMsg2[1024];

} // namespace

void RTAssertMsg2V(const char *pszFormat, va_list va)
{
    size_t const cch = RTStrFmtToBufV(g_szRTAssertMsg2, sizeof(g_szRTAssertMsg2), pszFormat, va);
    rtStdErrWrite(g_szRTAssertMsg2, cch);
}

void RTAssertMsg2(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTAssertMsg2V(pszFormat, va);
    va_end(va);
}

const char *RTAssertMsg2Last(void)
{
    return g_szRTAssertMsg2;
}

void RTAssertDoPanic(void)
{
    /* A breakpoint, raised again should anybody continue it. */
    for (;;)
    {
#if defined(__i386__) || defined(__x86_64__)
        __asm__ __volatile__("int3");
#else
        __builtin_trap();
#endif
    }
}
