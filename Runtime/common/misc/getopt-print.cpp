/*
 * The option parser's own error messages, for programs that print a parse
 * failure and stop.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/stream.h>

int RTGetOptPrintError(int ch, const RTOPTIONVALUE *pValueUnion)
{
    if (ch == KINF_OPT_NOT_AN_OPTION)
        RTMsgPrintError("Invalid parameter: %s", pValueUnion->psz);
    else if (ch > 0)
    {
        if (ch >= 33 && ch <= 126)
            RTMsgPrintError("Unhandled option: -%c", ch);
        else
            RTMsgPrintError("Unhandled option: %i (%#x)", ch, ch);
    }
    else if (ch == KERR_OPT_UNKNOWN)
        RTMsgPrintError("Unknown option: '%s'", pValueUnion->psz);
    else if (pValueUnion && pValueUnion->pDef)
    {
        if (ch == KERR_OPT_BAD_VALUE_FORMAT)
            RTMsgPrintError("The value given '%s' has an invalid format.",
                            pValueUnion->pDef->pszLong);
        else
            RTMsgPrintError("%s: %Rrs\n", pValueUnion->pDef->pszLong, ch);
    }
    else
        RTMsgPrintError("%Rrs\n", ch);
    return 2;
}
