/*
 * The runtime's Windows version code: pure logic over the numbers of the
 * version record, so every host can test it.
 */
#include "init-internal.h"

int rtR3WinVersionCodeFrom(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor, uint32_t uBuild,
                           uint8_t bProductType)
{
    bool const fWorkstation = bProductType == 1;
    if (uPlatform == 1) /* the 9x family */
    {
        if (uMajor != 4)
            return 0;
        if (uMinor < 10)
            return uBuild == 950 ? 1 : uBuild >= 951 && uBuild <= 1080 ? 2 : uBuild > 1080 ? 3 : 0;
        if (uMinor == 10)
            return uBuild == 1998 ? 4 : uBuild >= 1999 && uBuild <= 2182 ? 5 : uBuild > 2182 ? 6 : 0;
        return uMinor == 90 ? 7 : 0;
    }
    if (uPlatform != 2)
        return 0;

    switch (uMajor)
    {
        case 3:
            return uMinor < 50 ? 100 : uMinor == 50 ? 101 : 102;
        case 4:
            return 103;
        case 5:
            return uMinor == 0 ? 104 : uMinor == 1 ? 105 : 107;
        case 6:
            if (uMinor <= 4)
                return (int)(108 + 2 * uMinor + (fWorkstation ? 0 : 1));
            return 199;
        case 10:
            if (uMinor != 0)
                return 199;
            if (fWorkstation)
                return uBuild < 22000 ? 116 : 120;
            return uBuild <= 17762 ? 117 : uBuild <= 20347 ? 118 : 119;
        default:
            return 199;
    }
}
