/*
 * The runtime's Windows version code: pure logic over the numbers of the
 * version record, so every host can test it.
 */
#include "init-internal.h"

RTWINOSTYPE rtR3WinVersionCodeFrom(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor,
                                   uint32_t uBuild, uint8_t bProductType)
{
    bool const fWorkstation = bProductType == VER_NT_WORKSTATION;
    if (uPlatform == VER_PLATFORM_WIN32_WINDOWS)
    {
        if (uMajor != 4)
            return RTWINOSTYPE_UNKNOWN;
        if (uMinor < 10)
            return uBuild == 950                     ? RTWINOSTYPE_95
                   : uBuild >= 951 && uBuild <= 1080 ? RTWINOSTYPE_95SP1
                   : uBuild > 1080                   ? RTWINOSTYPE_95OSR2
                                                     : RTWINOSTYPE_UNKNOWN;
        if (uMinor == 10)
            return uBuild == 1998                     ? RTWINOSTYPE_98
                   : uBuild >= 1999 && uBuild <= 2182 ? RTWINOSTYPE_98SP1
                   : uBuild > 2182                    ? RTWINOSTYPE_98SE
                                                      : RTWINOSTYPE_UNKNOWN;
        return uMinor == 90 ? RTWINOSTYPE_ME : RTWINOSTYPE_UNKNOWN;
    }
    if (uPlatform != VER_PLATFORM_WIN32_NT)
        return RTWINOSTYPE_UNKNOWN;

    switch (uMajor)
    {
        case 3:
            return uMinor < 50    ? RTWINOSTYPE_NT310
                   : uMinor == 50 ? RTWINOSTYPE_NT350
                                  : RTWINOSTYPE_NT351;
        case 4: return RTWINOSTYPE_NT4;
        case 5:
            return uMinor == 0 ? RTWINOSTYPE_2K : uMinor == 1 ? RTWINOSTYPE_XP : RTWINOSTYPE_2003;
        case 6:
            if (uMinor <= 4)
                return (RTWINOSTYPE)(RTWINOSTYPE_VISTA + 2 * uMinor + (fWorkstation ? 0 : 1));
            return RTWINOSTYPE_NT_UNKNOWN;
        case 10:
            if (uMinor != 0)
                return RTWINOSTYPE_NT_UNKNOWN;
            if (fWorkstation)
                return uBuild < 22000 ? RTWINOSTYPE_10 : RTWINOSTYPE_11;
            return uBuild <= 17762   ? RTWINOSTYPE_2016
                   : uBuild <= 20347 ? RTWINOSTYPE_2019
                                     : RTWINOSTYPE_2022;
        default: return RTWINOSTYPE_NT_UNKNOWN;
    }
}
