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

/* The create-only call made under each name drawn: 0, KERR_ALREADY_EXISTS to draw again, or a failure. */
typedef int FNRTUNIQUECREATE(const char *pszName, void *pvUser);

int rtUniqueCreate(char *pszTemplate, FNRTUNIQUECREATE *pfnCreate, void *pvUser)
{
    size_t offRun = 0;
    size_t cchRun = 0;
    int rc = rtUniqueTemplateScan(pszTemplate, &offRun, &cchRun);
    if (RT_SUCCESS(rc))
    {
        for (unsigned iTry = 0; iTry < RTUNIQUE_MAX_TRIES; iTry++)
        {
            rtUniqueFill(pszTemplate, offRun, cchRun);
            rc = pfnCreate(pszTemplate, pvUser);
            if (RT_SUCCESS(rc))
                return rc;
            if (rc != KERR_ALREADY_EXISTS)
                break;
        }
    }
    *pszTemplate = '\0';
    return rc;
}

struct RTUNIQUEDIR
{
    RTFMODE fMode;
};

int rtUniqueMakeDir(const char *pszName, void *pvUser)
{
    return RTDirMake(pszName, ((RTUNIQUEDIR *)pvUser)->fMode, 0);
}

struct RTUNIQUEFILE
{
    RTFILE *phFile;
    uint64_t fOpen;
};

int rtUniqueOpenFile(const char *pszName, void *pvUser)
{
    RTUNIQUEFILE *pArgs = (RTUNIQUEFILE *)pvUser;
    return RTFileOpenPath(pArgs->phFile, pszName, pArgs->fOpen);
}

} // namespace

int RTDirMakeUnique(char *pszTemplate, RTFMODE fMode)
{
    if (!pszTemplate)
        return KERR_INVALID_POINTER;
    RTUNIQUEDIR Args = { fMode };
    return rtUniqueCreate(pszTemplate, rtUniqueMakeDir, &Args);
}

int RTFileOpenUnique(RTFILE *phFile, char *pszTemplate, uint64_t fOpen)
{
    if (!phFile || !pszTemplate)
        return KERR_INVALID_POINTER;
    *phFile = NIL_RTFILE;
    if ((fOpen & RTFILE_O_ACTION_MASK) != RTFILE_O_CREATE)
    {
        *pszTemplate = '\0';
        return KERR_INVALID_FLAGS;
    }
    RTUNIQUEFILE Args = { phFile, fOpen };
    return rtUniqueCreate(pszTemplate, rtUniqueOpenFile, &Args);
}
