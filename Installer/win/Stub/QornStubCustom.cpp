/*
 * Kestrelyn Installer: the ".custom" directory beside the executable, copied
 * into the extraction directory for the packages to find.
 *
 * The shell copies the whole tree in one call, without any window or
 * question.  Only the copied directory itself is recorded for the cleanup
 * (held open until then), not the files in it, so a ".custom" that is not
 * empty stays on disk together with the extraction directory.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "QornStub.h"
#include "QornStubLazy.h"

namespace {

const char g_szStubCustomDir[] = ".custom";

/* No progress window, yes to every question, directories made without asking, no error boxes. */
FILEOP_FLAGS const g_fStubCustomCopy = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR
                                       | FOF_NOERRORUI;
static_assert(FOF_SILENT == 0x4 && FOF_NOCONFIRMATION == 0x10 && FOF_NOCONFIRMMKDIR == 0x200
                  && FOF_NOERRORUI == 0x400,
              "the shell's copy flags");

/*
 * One path as the shell's list form: converted into pwszList (STUB_PATH_MAX
 * units with the terminator) and closed by a second zero unit.
 */
int stubCustomPathList(const char *pszPath, RTUTF16 *pwszList)
{
    PRTUTF16 pwsz = pwszList;
    size_t cwc = 0;
    int rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwsz, STUB_PATH_MAX, &cwc, "stubCopyCustomDir");
    if (RT_FAILURE(rc))
        return stubReportError("RTStrToUtf16Ex failed on '%s': %Rrc", pszPath, rc);
    pwszList[cwc + 1] = 0;
    return STUBEXIT_SUCCESS;
}

} // namespace

int stubCopyCustomDir(const char *pszExtractPath)
{
    char szSrc[STUB_PATH_MAX];
    int rc = RTPathExecDir(szSrc, sizeof(szSrc));
    if (RT_SUCCESS(rc))
        rc = RTPathAppend(szSrc, sizeof(szSrc), g_szStubCustomDir);
    if (RT_FAILURE(rc))
        return stubReportError("Failed to construct '.custom' dir path: %Rrc", rc);
    if (!RTDirExists(szSrc))
        return STUBEXIT_SUCCESS;

    /* One more unit than a path may take: the list's closing zero. */
    static RTUTF16 s_wszFrom[STUB_PATH_MAX + 1];
    static RTUTF16 s_wszTo[STUB_PATH_MAX + 1];
    int rcExit = stubCustomPathList(szSrc, s_wszFrom);
    if (rcExit == STUBEXIT_SUCCESS)
        rcExit = stubCustomPathList(pszExtractPath, s_wszTo);
    if (rcExit != STUBEXIT_SUCCESS)
        return rcExit;

    SHFILEOPSTRUCTW Op;
    RTMemSet(&Op, 0, sizeof(Op));
    Op.hwnd = nullptr;
    Op.wFunc = FO_COPY;
    Op.pFrom = (PCWSTR)s_wszFrom;
    Op.pTo = (PCWSTR)s_wszTo;
    Op.fFlags = g_fStubCustomCopy;
    int const rcShell = StubLazy::SHFileOperationW(&Op);
    if (rcShell != 0)
        return stubReportError("Copying the '.custom' dir failed: %#x", rcShell);

    char *pszDst = RTPathJoinA(pszExtractPath, g_szStubCustomDir);
    if (!pszDst)
        return stubReportError("Out of memory!");
    StubCleanupRecord *pRec = stubCleanupAdd(pszDst, false);
    if (!pRec)
    {
        RTMemFree(pszDst);
        return STUBEXIT_FAILURE;
    }
    RTDIR hDir = NIL_RTDIR;
    rc = RTDirOpenPath(&hDir, pszDst);
    RTMemFree(pszDst);
    if (RT_FAILURE(rc))
        return stubReportError("Unable to open the destination .custom directory: %Rrc", rc);
    pRec->u.hDir = hDir;
    return STUBEXIT_SUCCESS;
}
