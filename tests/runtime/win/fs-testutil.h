/*
 * Helpers of the Windows file-system tests: a scratch directory in the
 * prefix's temporary directory, made and removed with the plain Win32 calls
 * (so that the code under test never cleans up after itself), UTF-8/UTF-16
 * helpers, and a guard that resets the system-call table.
 */
#ifndef ZELK_TESTS_FS_TESTUTIL_H
#define ZELK_TESTS_FS_TESTUTIL_H

#include <gtest/gtest.h>

#include <string>

#include <zelk/err.h>

#include "nt.h"

namespace fstest {

inline std::wstring toWide(const std::string &str)
{
    int const cwc = MultiByteToWideChar(CP_UTF8, 0, str.c_str(), (int)str.size(), nullptr, 0);
    std::wstring wstr((size_t)cwc, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, str.c_str(), (int)str.size(), &wstr[0], cwc);
    return wstr;
}

inline std::string toUtf8(const std::wstring &wstr)
{
    int const cch = WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), (int)wstr.size(), nullptr, 0,
                                        nullptr, nullptr);
    std::string str((size_t)cch, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), (int)wstr.size(), &str[0], cch, nullptr, nullptr);
    return str;
}

/* The "\\?\" form of an absolute path, for the helpers' own Win32 calls on long paths. */
inline std::wstring longForm(const std::string &strPath)
{
    return L"\\\\?\\" + toWide(strPath);
}

inline void removeTree(const std::wstring &wstrDir)
{
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW((wstrDir + L"\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::wstring const wstrName = Data.cFileName;
            if (wstrName == L"." || wstrName == L"..")
                continue;
            std::wstring const wstrChild = wstrDir + L"\\" + wstrName;
            SetFileAttributesW(wstrChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                && !(Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                removeTree(wstrChild);
            else if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(wstrChild.c_str());
            else
                DeleteFileW(wstrChild.c_str());
        } while (FindNextFileW(hFind, &Data));
        FindClose(hFind);
    }
    RemoveDirectoryW(wstrDir.c_str());
}

inline bool exists(const std::string &strPath)
{
    return GetFileAttributesW(longForm(strPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool writeFile(const std::string &strPath, const std::string &strContent)
{
    HANDLE h = CreateFileW(longForm(strPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD cb = 0;
    BOOL const fOk = WriteFile(h, strContent.data(), (DWORD)strContent.size(), &cb, nullptr);
    CloseHandle(h);
    return fOk && cb == strContent.size();
}

inline std::string readFile(const std::string &strPath)
{
    HANDLE h = CreateFileW(longForm(strPath).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string str;
    char ab[4096];
    DWORD cb = 0;
    while (ReadFile(h, ab, sizeof(ab), &cb, nullptr) && cb)
        str.append(ab, cb);
    CloseHandle(h);
    return str;
}

/*
 * A fresh directory under the prefix's temporary directory for one test,
 * removed with everything in it afterwards.  The current directory is put
 * back as well, since some tests move it.
 */
class ScratchDirTest : public testing::Test
{
protected:
    std::string m_strDir; /* UTF-8, absolute, no trailing separator */
    std::wstring m_wstrSavedCwd;

    void SetUp() override
    {
        WCHAR wszCwd[4096];
        GetCurrentDirectoryW(RT_ELEMENTS(wszCwd), wszCwd);
        m_wstrSavedCwd = wszCwd;

        WCHAR wszTemp[MAX_PATH + 1];
        DWORD const cwc = GetTempPathW(RT_ELEMENTS(wszTemp), wszTemp);
        ASSERT_GT(cwc, 0u);
        static unsigned s_iSeq = 0;
        const testing::TestInfo *pInfo = testing::UnitTest::GetInstance()->current_test_info();
        std::string strName = std::string("zelk-") + pInfo->name() + "-"
                              + std::to_string(GetCurrentProcessId()) + "-"
                              + std::to_string(++s_iSeq);
        m_strDir = toUtf8(wszTemp) + strName;
        ASSERT_TRUE(CreateDirectoryW(toWide(m_strDir).c_str(), nullptr)) << m_strDir;
    }

    void TearDown() override
    {
        rtNtSysReset();
        SetCurrentDirectoryW(m_wstrSavedCwd.c_str());
        removeTree(longForm(m_strDir));
        EXPECT_FALSE(exists(m_strDir)) << "scratch directory left behind: " << m_strDir;
    }

    std::string path(const std::string &strName) const { return m_strDir + "\\" + strName; }
};

/*
 * A system-call replacement for systems that can't make symbolic links (some answer
 * TRUE to CreateSymbolicLinkW without making one): the real answer,
 * except that the attribute-tag query calls the item a symbolic link.
 */
inline NTSTATUS NTAPI queryInfoAsSymlink(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                                         FILE_INFORMATION_CLASS enmClass)
{
    NTSTATUS const rcNt = NtQueryInformationFile(hFile, pIos, pv, cb, enmClass);
    if (enmClass == FileAttributeTagInformation && NT_SUCCESS(rcNt))
    {
        ((FILE_ATTRIBUTE_TAG_INFORMATION *)pv)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        ((FILE_ATTRIBUTE_TAG_INFORMATION *)pv)->ReparseTag = IO_REPARSE_TAG_SYMLINK;
    }
    return rcNt;
}

/* The same for a junction (mount point), which Wine can't make: any directory opened as itself is one. */
inline NTSTATUS NTAPI queryInfoAsMountPoint(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                                            FILE_INFORMATION_CLASS enmClass)
{
    NTSTATUS const rcNt = NtQueryInformationFile(hFile, pIos, pv, cb, enmClass);
    if (enmClass == FileAttributeTagInformation && NT_SUCCESS(rcNt)
        && (((FILE_ATTRIBUTE_TAG_INFORMATION *)pv)->FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        ((FILE_ATTRIBUTE_TAG_INFORMATION *)pv)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        ((FILE_ATTRIBUTE_TAG_INFORMATION *)pv)->ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    }
    return rcNt;
}

/* True when the system made a real symbolic link at pszLink. */
inline bool isRealSymlink(const std::string &strLink)
{
    DWORD const fAttribs = GetFileAttributesW(toWide(strLink).c_str());
    return fAttribs != INVALID_FILE_ATTRIBUTES && (fAttribs & FILE_ATTRIBUTE_REPARSE_POINT);
}

/* Resets the system-call table when a test that replaced entries ends, however it ends. */
struct SysOverrideGuard
{
    SysOverrideGuard() { rtNtSysReset(); }
    ~SysOverrideGuard() { rtNtSysReset(); }
};

} // namespace fstest

#endif
