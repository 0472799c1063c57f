/*
 * The unique-name template: which run of 'X' characters the unique file and
 * directory operations fill with random characters.  A template may carry X
 * in its directory part or a suffix after the run, so the run is looked for
 * at the end first and then only inside the last component.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "path-internal.h"

int rtUniqueTemplateScan(const char *pszTemplate, size_t *poffRun, size_t *pcchRun)
{
    size_t const cch = pszTemplate ? RTStrLen(pszTemplate) : 0;
    if (!cch)
        return KERR_INVALID_PARAMETER;

    size_t offEnd;
    size_t off;
    if (pszTemplate[cch - 1] == 'X')
    {
        offEnd = cch;
        off = cch - 1;
    }
    else
    {
        size_t const offComp = rtPathNameOffset(pszTemplate, cch);
        if (cch - offComp <= 3)
            return KERR_INVALID_PARAMETER;
        /* The last "XXX" with at least one character after it. */
        off = cch - 4;
        for (;;)
        {
            if (pszTemplate[off] == 'X' && pszTemplate[off + 1] == 'X'
                && pszTemplate[off + 2] == 'X')
                break;
            if (off == offComp)
                return KERR_INVALID_PARAMETER;
            off--;
        }
        offEnd = off + 3;
    }
    while (off > 0 && pszTemplate[off - 1] == 'X')
        off--;
    *poffRun = off;
    *pcchRun = offEnd - off;
    return KINF_SUCCESS;
}
