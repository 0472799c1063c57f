/*
 * copyfile SRC DST: copies one file with CopyFileW, replacing DST.  The
 * yardstick of bench/extract-bench.sh: the plain copy a package's extraction
 * is compared with.
 */
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3)
        return 2;
    return CopyFileW(argv[1], argv[2], FALSE) ? 0 : 1;
}
