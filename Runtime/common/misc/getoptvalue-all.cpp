/*
 * The option value kinds of a program that does not name its own: all of them.
 *
 * This object defines nothing but the list, so a program that defines
 * g_apRTGetOptValueKinds itself (RTGETOPT_VALUE_KINDS) never pulls it in, and
 * with it none of the converters it would reference.
 */
#include "getopt-internal.h"

RTGETOPT_VALUE_KINDS(&g_RTGetOptKindsInt, &g_RTGetOptKindsNet, &g_RTGetOptKindsUuid,
                     &g_RTGetOptKindsBool, &g_RTGetOptKindsPair);
