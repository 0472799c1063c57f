/*
 * The %R families of a program that does not name its own: all of them.
 *
 * This object defines nothing but the list, so a program that defines
 * g_apRTStrFmtFamilies itself (RTSTRFMT_FAMILIES) never pulls it in, and with
 * it none of the families it would reference.
 */
#include "strformat-internal.h"

RTSTRFMT_FAMILIES(&g_RTStrFmtFamilyInts, &g_RTStrFmtFamilyRtTypes, &g_RTStrFmtFamilyStatus,
                  &g_RTStrFmtFamilyStatusMsg, &g_RTStrFmtFamilyHex, &g_RTStrFmtFamilySize,
                  &g_RTStrFmtFamilyEscape, &g_RTStrFmtFamilyNames, &g_RTStrFmtFamilyMisc,
                  &g_RTStrFmtFamilyFloat, &g_RTStrFmtFamilyCustom);
