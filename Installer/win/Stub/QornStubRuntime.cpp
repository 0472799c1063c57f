/*
 * The parts of the runtime's format engine and option parser the installer
 * links: it prints status names and messages (the messages for option errors
 * of silent runs) and sized integers but no floating point, and takes only
 * plain and string options.  The crash report's hex dump is left out: the
 * installer creates no logger, so the report never writes a line.  Whatever
 * is not named here stays out of the executable; the stub-format-families
 * check finds a conversion whose family is missing.
 */
#include <zelk/format.h>
#include <zelk/getopt.h>

RTSTRFMT_FAMILIES(&g_RTStrFmtFamilySizedInts, &g_RTStrFmtFamilyStatusNames,
                  &g_RTStrFmtFamilyStatusMsg);
RTGETOPT_VALUE_KINDS_NONE();
