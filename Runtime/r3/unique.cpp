/*
 * Files and directories under names that nobody else uses: the run of 'X'
 * in a template is filled with random characters until a create-only call
 * succeeds.  Two processes that draw the same name meet at that call; the
 * loser draws again.  After a failure the template is left empty, so that
 * nobody mistakes a name that was tried for one that was made.
 */
#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/rand.h>

#include "path-internal.h"

namespace {

void rtUniqueFill(char *pszTemplate, size_t offRun, size_t cchRun)
{
    static const char s_szAlphabet[] = RTUNIQUE_ALPHABET;
    for (size_t i = cchRun; i > 0; i--)
        pszTemplate[offRun + i - 1] = s_szAlphabet[RTRandRange(0, sizeof(s_szAlphabet) - 2)];
}

} // namespace

int RTDirMakeUnique(char *pszTemplate, RTFMODE fMode)
{
    if (!pszTemplate)
        return KERR_INVALID_POINTER;
    size_t offRun = 0;
    size_t cchRun = 0;
    int rc = rtUniqueTemplateScan(pszTemplate, &offRun, &cchRun);
    if (RT_SUCCESS(rc))
    {
        for (unsigned iTry = 0; iTry < RTUNIQUE_MAX_TRIES; iTry++)
        {
            rtUniqueFill(pszTemplate, offRun, cchRun);
            rc = RTDirMake(pszTemplate, fMode, 0);
            if (RT_SUCCESS(rc))
                return rc;
            if (rc != KERR_ALREADY_EXISTS)
                break;
        }
    }
    *pszTemplate = '\0';
    return rc;
}

int RTFileOpenUnique(RTFILE *phFile, char *pszTemplate, uint64_t fOpen)
{
    if (!phFile || !pszTemplate)
        return KERR_INVALID_POINTER;
    *phFile = NIL_RTFILE;
    int rc = (fOpen & RTFILE_O_ACTION_MASK) == RTFILE_O_CREATE ? KINF_SUCCESS : KERR_INVALID_FLAGS;
    size_t offRun = 0;
    size_t cchRun = 0;
    if (RT_SUCCESS(rc))
        rc = rtUniqueTemplateScan(pszTemplate, &offRun, &cchRun);
    if (RT_SUCCESS(rc))
    {
        for (unsigned iTry = 0; iTry < RTUNIQUE_MAX_TRIES; iTry++)
        {
            rtUniqueFill(pszTemplate, offRun, cchRun);
            rc = RTFileOpenPath(phFile, pszTemplate, fOpen);
            if (RT_SUCCESS(rc))
                return rc;
            if (rc != KERR_ALREADY_EXISTS)
                break;
        }
    }
    *pszTemplate = '\0';
    return rc;
}
