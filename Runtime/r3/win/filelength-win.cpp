/*
 * The length of an open file (of a disk device too, from its geometry) and
 * the flush of its buffers.  They have a file of their own because the
 * linker keeps the system functions that every object it takes in names,
 * even those of functions nobody calls: the installer, which asks for
 * neither, would otherwise import the three calls they make.
 */
#include <zelk/err.h>
#include <zelk/file.h>

#include "nt.h"

int RTFileGetLength(RTFILE hFile, uint64_t *pcbSize)
{
    HANDLE const hNative = (HANDLE)hFile;
    DWORD uHigh = 0;
    SetLastError(NO_ERROR);
    DWORD const uLow = RT_NT_SYS(GetFileSize)(hNative, &uHigh);
    DWORD uErr = uLow == INVALID_FILE_SIZE ? GetLastError() : NO_ERROR;
    if (uErr == NO_ERROR)
    {
        *pcbSize = ((uint64_t)uHigh << 32) | uLow;
        return KINF_SUCCESS;
    }
    int const rcKept = RTErrConvertFromWin32(uErr);

    /* A disk device has no file size, but its geometry gives one. */
    DISK_GEOMETRY Geometry;
    DWORD cbReturned = 0;
    if (!RT_NT_SYS(DeviceIoControl)(hNative, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &Geometry,
                                    sizeof(Geometry), &cbReturned, nullptr)
        || (Geometry.MediaType != RemovableMedia && Geometry.MediaType != FixedMedia))
        return rcKept;
    uint64_t cbSize = (uint64_t)Geometry.Cylinders.QuadPart * Geometry.TracksPerCylinder
                      * Geometry.SectorsPerTrack * Geometry.BytesPerSector;
    GET_LENGTH_INFORMATION LengthInfo;
    if (RT_NT_SYS(DeviceIoControl)(hNative, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &LengthInfo,
                                   sizeof(LengthInfo), &cbReturned, nullptr))
        cbSize = (uint64_t)LengthInfo.Length.QuadPart;
    *pcbSize = cbSize;
    return KINF_SUCCESS;
}

int RTFileSync(RTFILE hFile)
{
    if (!RT_NT_SYS(FlushFileBuffers)((HANDLE)hFile))
        return RTErrConvertFromWin32(GetLastError());
    return KINF_SUCCESS;
}
