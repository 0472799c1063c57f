/*
 * Kestrelyn Installer: the command line and the MSI parameters.
 *
 * The options are applied one by one in the order they stand, so "--silent"
 * decides how every later message is shown, and the first option that fails
 * ends the program before anything exists on disk.  Several options build
 * the one parameter text that every package's installation gets: assignments
 * separated by single blanks, in a buffer of fixed size that must hold the
 * whole text or the run ends.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/getopt.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "QornStub.h"
#include "QornStubVersion.h"

namespace {

/* Option ids without a one-letter short form. */
#define STUB_OPT_MSI_LOG_FILE 1000
#define STUB_OPT_MSI_EXIT_CODES 1001
#define STUB_OPT_WAIT 1002

/* The longest --wait, in seconds: a day. */
#define STUB_WAIT_MAX_SECS 86400

const RTOPTIONDEF g_aStubOptions[] = // clang-format off
{
    { "--extract",                    'x', RTGETOPT_REQ_NOTHING },
    { "-extract",                     'x', RTGETOPT_REQ_NOTHING },
    { "/extract",                     'x', RTGETOPT_REQ_NOTHING },
    { "--silent",                     's', RTGETOPT_REQ_NOTHING },
    { "-silent",                      's', RTGETOPT_REQ_NOTHING },
    { "/silent",                      's', RTGETOPT_REQ_NOTHING },
    { "--no-silent-cert",             'c', RTGETOPT_REQ_NOTHING },
    { "-no-silent-cert",              'c', RTGETOPT_REQ_NOTHING },
    { "/no-silent-cert",              'c', RTGETOPT_REQ_NOTHING },
    { "--no-install-timestamp-ca",    't', RTGETOPT_REQ_NOTHING },
    { "--force-install-timestamp-ca", 'T', RTGETOPT_REQ_NOTHING },
    { "--logging",                    'l', RTGETOPT_REQ_NOTHING },
    { "-logging",                     'l', RTGETOPT_REQ_NOTHING },
    { "--msi-exit-codes",             STUB_OPT_MSI_EXIT_CODES, RTGETOPT_REQ_NOTHING },
    { "-msi-exit-codes",              STUB_OPT_MSI_EXIT_CODES, RTGETOPT_REQ_NOTHING },
    { "/msi-exit-codes",              STUB_OPT_MSI_EXIT_CODES, RTGETOPT_REQ_NOTHING },
    { "--msi-log-file",               STUB_OPT_MSI_LOG_FILE, RTGETOPT_REQ_STRING },
    { "-msilogfile",                  STUB_OPT_MSI_LOG_FILE, RTGETOPT_REQ_STRING },
    { "/logging",                     'l', RTGETOPT_REQ_NOTHING },
    { "--path",                       'p', RTGETOPT_REQ_STRING },
    { "-path",                        'p', RTGETOPT_REQ_STRING },
    { "/path",                        'p', RTGETOPT_REQ_STRING },
    { "--msiparams",                  'm', RTGETOPT_REQ_STRING },
    { "-msiparams",                   'm', RTGETOPT_REQ_STRING },
    { "--msi-prop",                   'P', RTGETOPT_REQ_STRING },
    { "--reinstall",                  'f', RTGETOPT_REQ_NOTHING },
    { "-reinstall",                   'f', RTGETOPT_REQ_NOTHING },
    { "/reinstall",                   'f', RTGETOPT_REQ_NOTHING },
    { "--ignore-reboot",              'r', RTGETOPT_REQ_NOTHING },
    { "--verbose",                    'v', RTGETOPT_REQ_NOTHING },
    { "-verbose",                     'v', RTGETOPT_REQ_NOTHING },
    { "/verbose",                     'v', RTGETOPT_REQ_NOTHING },
    { "--version",                    'V', RTGETOPT_REQ_NOTHING },
    { "-version",                     'V', RTGETOPT_REQ_NOTHING },
    { "/version",                     'V', RTGETOPT_REQ_NOTHING },
    { "--wait",                       STUB_OPT_WAIT, RTGETOPT_REQ_STRING },
    { "-wait",                        STUB_OPT_WAIT, RTGETOPT_REQ_STRING },
    { "/wait",                        STUB_OPT_WAIT, RTGETOPT_REQ_STRING },
    { "--help",                       'h', RTGETOPT_REQ_NOTHING },
    { "-help",                        'h', RTGETOPT_REQ_NOTHING },
    { "/help",                        'h', RTGETOPT_REQ_NOTHING },
    { "/?",                           'h', RTGETOPT_REQ_NOTHING },
};
// clang-format on
static_assert(RT_ELEMENTS(g_aStubOptions) == 42, "the option table");

const char g_szStubHelp[] = "-- %s v%u.%u.%ur%u --\n"
                            "\n"
                            "Command Line Parameters:\n"
                            "\n"
                            "--extract\n"
                            "    Extract file contents to temporary directory\n"
                            "--logging\n"
                            "    Enables MSI installer logging (to extract path)\n"
                            "--msi-exit-codes\n"
                            "    Exit codes of failures are the Windows Installer's\n"
                            "--msi-log-file <path/to/file>\n"
                            "    Sets MSI logging to <file>\n"
                            "--msiparams <parameters>\n"
                            "    Specifies extra parameters for the MSI installers\n"
                            "    double quoted arguments must be doubled and put\n"
                            "    in quotes: --msiparams \"PROP=\"\"a b c\"\"\"\n"
                            "--msi-prop <prop> <value>\n"
                            "    Adds <prop>=<value> to the MSI parameters,\n"
                            "    quoting the property value if necessary\n"
                            "--no-silent-cert\n"
                            "    Do not install Kestrelyn Certificate automatically\n"
                            "    when --silent option is specified\n"
                            "--path\n"
                            "    Sets the path of the extraction directory\n"
                            "--reinstall\n"
                            "    Forces Kestrelyn to get re-installed\n"
                            "--ignore-reboot\n"
                            "   Do not set exit code to 3010 if a reboot is required\n"
                            "--silent\n"
                            "   Enables silent mode installation\n"
                            "--version\n"
                            "   Displays version number and exit\n"
                            "--wait <seconds>\n"
                            "   Waits up to <seconds> for another installer\n"
                            "-?, -h, --help\n"
                            "   Displays this help text and exit\n"
                            "\n"
                            "Examples:\n"
                            "  %s --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\Kestrelyn\"\"\"\n"
                            "  %s --extract -path C:\\Qorn";

const char g_szStubOutOfParamSpace[] = "Out of space for MSI parameters and properties";
const char g_szStubWhitespace[] = " \t\n\r";

bool stubHasWhitespace(const char *psz)
{
    for (; *psz; psz++)
        if (RTStrChr(g_szStubWhitespace, *psz))
            return true;
    return false;
}

/*
 * Whether a --msi-prop name is one the Windows Installer takes as a property
 * name: ASCII letters, digits, '_' and '.', not starting with a digit or a
 * '.'.  Anything else ('=', '"', ';' ...) would end the name early in the
 * parameter text and set something else.  The empty name is let through.
 */
bool stubIsMsiPropName(const char *pszName)
{
    for (const char *pch = pszName; *pch; pch++)
    {
        char const ch = (char)(*pch | 0x20);
        if (!((ch >= 'a' && ch <= 'z') || *pch == '_'
              || (pch != pszName && ((*pch >= '0' && *pch <= '9') || *pch == '.'))))
            return false;
    }
    return true;
}

/* Appends pszText to the parameters, after a blank when they are not empty. */
StubExit stubMsiParamsAppend(STUBRUNSTATE *pState, const char *pszText)
{
    if ((pState->szMsiParams[0]
         && RT_FAILURE(RTStrAppendInto(pState->szMsiParams, sizeof(pState->szMsiParams), " ")))
        || RT_FAILURE(RTStrAppendInto(pState->szMsiParams, sizeof(pState->szMsiParams), pszText)))
        return stubReportSyntaxError(g_szStubOutOfParamSpace);
    return STUBEXIT_CONTINUE;
}

/*
 * --msi-prop NAME VALUE: NAME=VALUE, the value quoted when it holds blanks or
 * double quotes.  Inside the quotes every double quote is doubled, the
 * Windows Installer's own rule, so no value can end its quotes early and
 * smuggle in a property of its own.
 */
StubExit stubMsiParamsAddProp(STUBRUNSTATE *pState, RTOPTIONSTATE *pGetState, const char *pszName)
{
    if (stubHasWhitespace(pszName))
        return stubReportSyntaxError("The first argument to --msi-prop must not contain spaces: %s",
                                     pszName);
    if (!stubIsMsiPropName(pszName))
        return stubReportSyntaxError("The first argument to --msi-prop must be a property name: %s",
                                     pszName);
    RTOPTIONVALUE Value;
    int const rc = RTGetOptTakeValue(pGetState, &Value, RTGETOPT_REQ_STRING);
    if (rc == KERR_OPT_VALUE_MISSING)
        return stubReportSyntaxError("--msi-prop takes two arguments, the 2nd is missing");
    if (RT_FAILURE(rc))
        return stubReportSyntaxError("Failed to get 2nd --msi-prop argument: %Rrc", rc);

    bool const fQuote = stubHasWhitespace(Value.psz) || RTStrChr(Value.psz, '"');
    size_t const cbParams = sizeof(pState->szMsiParams);
    size_t const cchBefore = RTStrLen(pState->szMsiParams);
    size_t cchParams = cchBefore;
    ptrdiff_t const cch = RTStrFmtToBufEx(&pState->szMsiParams[cchParams], cbParams - cchParams,
                                          fQuote ? "%s%s=\"" : "%s%s=", cchParams ? " " : "",
                                          pszName);
    if (cch < 0)
        return stubReportSyntaxError(g_szStubOutOfParamSpace);
    cchParams += (size_t)cch;
    for (const char *pch = Value.psz; *pch; pch++)
    {
        /* Room for this character, its double and the closing quote, and the terminator. */
        if (cchParams + (*pch == '"' ? 2 : 1) + (fQuote ? 1 : 0) >= cbParams)
        {
            pState->szMsiParams[cchBefore] = '\0';
            return stubReportSyntaxError(g_szStubOutOfParamSpace);
        }
        if (*pch == '"')
            pState->szMsiParams[cchParams++] = '"';
        pState->szMsiParams[cchParams++] = *pch;
    }
    if (fQuote)
        pState->szMsiParams[cchParams++] = '"';
    pState->szMsiParams[cchParams] = '\0';
    return STUBEXIT_CONTINUE;
}

/* --path and --msi-log-file: empty clears, anything else is made absolute. */
StubExit stubSetAbsPath(char *pszDst, size_t cbDst, const char *pszValue, const char *pszTooLong)
{
    if (!*pszValue)
    {
        *pszDst = '\0';
        return STUBEXIT_CONTINUE;
    }
    int const rc = RTPathAbs(pszValue, pszDst, cbDst);
    if (RT_FAILURE(rc))
        return stubReportSyntaxError(pszTooLong, rc);
    return STUBEXIT_CONTINUE;
}

StubExit stubCommandLineError(int ch, const RTOPTIONVALUE *pValue)
{
    if (g_fStubSilent)
        return StubExit{ (int)RTGetOptPrintError(ch, pValue) };
    /* Both texts end in the same hint: one copy of it in the program. */
    static const char s_szHint[] = "Please refer to the command line help by specifying \"-?\"\n"
                                   "to get more information.";
    if (ch == KERR_OPT_UNKNOWN)
        return stubReportSyntaxError("Unknown option \"%s\"\n%s", pValue->psz, s_szHint);
    return stubReportSyntaxError("Parameter parsing error: %Rrc\n%s", ch, s_szHint);
}

/* --wait: a whole number of seconds, 0 to a day. */
StubExit stubSetWait(const char *pszValue)
{
    uint32_t cSecs = 0;
    const char *pch = pszValue;
    do
        if (*pch < '0' || *pch > '9' || (cSecs = cSecs * 10 + (uint32_t)(*pch - '0')) > STUB_WAIT_MAX_SECS)
            return stubReportSyntaxError("Invalid --wait seconds: '%s'", pszValue);
    while (*++pch);
    g_cStubWaitMsLeft = cSecs * 1000;
    return STUBEXIT_CONTINUE;
}

} // namespace

StubExit stubParseCommandLine(STUBRUNSTATE *pState, int argc, char **argv)
{
    RTOPTIONSTATE GetState;
    int rc = RTGetOptInit(&GetState, argc, argv, g_aStubOptions, RT_ELEMENTS(g_aStubOptions), 1, 0);
    if (RT_FAILURE(rc))
        return stubReportError("RTGetOptInit failed: %Rrc", rc);

    RTOPTIONVALUE Value;
    int ch;
    while ((ch = RTGetOpt(&GetState, &Value)) != 0)
    {
        StubExit rcExit = STUBEXIT_CONTINUE;
        switch (ch)
        {
            case 'x': pState->fExtractOnly = true; break;
            case 's': g_fStubSilent = true; break;
            case 'c': pState->fInstallCert = false; break;
            case 't':
            case 'T': break;
            case 'l': pState->fLogging = true; break;
            case STUB_OPT_MSI_LOG_FILE:
                rcExit = stubSetAbsPath(pState->szMsiLogFile, sizeof(pState->szMsiLogFile),
                                        Value.psz, "MSI log file path is too long (%Rrc)");
                break;
            case 'p':
                rcExit = stubSetAbsPath(pState->szExtractPath, sizeof(pState->szExtractPath),
                                        Value.psz, "Extraction path is too long (%Rrc)");
                break;
            case 'm': rcExit = stubMsiParamsAppend(pState, Value.psz); break;
            case 'P': rcExit = stubMsiParamsAddProp(pState, &GetState, Value.psz); break;
            case 'f':
                rcExit = stubMsiParamsAppend(pState, "REINSTALLMODE=vomus REINSTALL=ALL");
                break;
            case 'r': pState->fIgnoreReboot = true; break;
            case STUB_OPT_MSI_EXIT_CODES: g_fStubMsiExitCodes = true; break;
            case STUB_OPT_WAIT: rcExit = stubSetWait(Value.psz); break;
            case 'v': g_cStubVerbosity++; break;
            case 'V':
                stubReportInfo("Version: %u.%u.%ur%u", KESTRELYN_VERSION_MAJOR,
                               KESTRELYN_VERSION_MINOR, KESTRELYN_VERSION_BUILD,
                               KESTRELYN_VERSION_REVISION);
                return STUBEXIT_SUCCESS;
            case 'h':
                stubReportInfo(g_szStubHelp, "Kestrelyn Installer", KESTRELYN_VERSION_MAJOR,
                               KESTRELYN_VERSION_MINOR, KESTRELYN_VERSION_BUILD,
                               KESTRELYN_VERSION_REVISION, argv[0], argv[0]);
                return STUBEXIT_SUCCESS;
            case KINF_OPT_NOT_AN_OPTION:
                /* Once there are parameters, further plain arguments continue them. */
                if (pState->szMsiParams[0])
                {
                    rcExit = stubMsiParamsAppend(pState, Value.psz);
                    break;
                }
                return stubCommandLineError(ch, &Value);
            default: return stubCommandLineError(ch, &Value);
        }
        if (rcExit != STUBEXIT_CONTINUE)
            return rcExit;
    }
    return STUBEXIT_CONTINUE;
}
