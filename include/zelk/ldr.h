/*
 * Module loading: the native loader and the system-module loader, which
 * takes a bare DLL name and loads it from the Windows system directory only
 * (side-by-side redirection honoured), never from the application's folder,
 * the current directory or the PATH.
 */
#ifndef ZELK_LDR_H
#define ZELK_LDR_H

#include <zelk/types.h>

typedef void *RTLDRMOD;
#define NIL_RTLDRMOD ((RTLDRMOD)0)

/* Keep the module loaded until the process ends. */
#define RTLDRLOAD_FLAGS_NO_UNLOAD    UINT32_C(0x00000004)
/* Flag bits that are refused. */
#define RTLDRLOAD_FLAGS_INVALID_MASK UINT32_C(0x00000ff0)

/*
 * Loads a DLL by bare file name from the system directory.  ".DLL" is added
 * when the name has no suffix.  A side-by-side redirection is followed only
 * to a file right inside the system directory or the 32-bit one beside it
 * (SysWOW64); any other is ignored and the system directory's file taken.
 * Where the system can (AddDllDirectory exists), the module's own imports
 * are looked up in the system directory only.
 * @returns 0 with *phMod set;
 *   KERR_INVALID_PARAMETER  the name holds '/', '\\' or ':' or is 3075 bytes or longer;
 *   KERR_INVALID_FLAGS      a flag of RTLDRLOAD_FLAGS_INVALID_MASK;
 *   KERR_FILENAME_TOO_LONG  the system directory is 260 characters or longer;
 *   KERR_MODULE_NOT_FOUND   no such file in the system directory;
 *   otherwise the native loader's status.
 */
int RTLdrLoadSystem(const char *pszFilename, uint32_t fFlags, RTLDRMOD *phMod);

/* Loads the module at a full path (UTF-8) with the system's loader. */
int rtldrNativeLoad(const char *pszPath, uint32_t fFlags, RTLDRMOD *phMod);

/* Looks up an exported symbol; KERR_SYMBOL_NOT_FOUND when it is absent. */
int RTLdrGetSymbol(RTLDRMOD hMod, const char *pszSymbol, void **ppvValue);

/*
 * The binder under every late binding (the delay-load helper, the
 * installer's lazily bound imports, start-up's optional functions): one
 * record per module, whose handle is the one cache of that module.  A
 * record without a handle is loaded with RTLdrLoadSystem, from the system
 * directory only and never unloaded; kernel32 and ntdll, which the loader
 * maps from there before the program runs, come with their handles set by
 * start-up.
 */
typedef struct RTLDRBINDMOD
{
    const char *pszName; /* bare file name, "MSI.DLL" */
    RTLDRMOD hMod;       /* NIL_RTLDRMOD until loaded */
} RTLDRBINDMOD;

extern RTLDRBINDMOD g_RTLdrBindKernel32;
extern RTLDRBINDMOD g_RTLdrBindNtDll;

/*
 * Loads the record's module when it has none yet and looks up pszSymbol, a
 * name or, below 0x10000, an ordinal.
 * @returns 0 with *ppv set; else the status of RTLdrLoadSystem (the record
 *   keeps no handle) or KERR_SYMBOL_NOT_FOUND (it keeps one), *ppv null.
 */
int RTLdrBind(RTLDRBINDMOD *pMod, const char *pszSymbol, void **ppv);

/* The symbol's address, or null when the module or the symbol is missing: for optional functions. */
void *RTLdrBindOptional(RTLDRBINDMOD *pMod, const char *pszSymbol);

/*
 * The symbol's address; a failure stops the process with the message
 * "<pszWho> failed to load "<module>": <status>" or "<pszWho> failed to
 * resolve symbol "<symbol>" in "<module>": <status>" (an ordinal as "#n").
 */
void *RTLdrBindOrPanic(RTLDRBINDMOD *pMod, const char *pszSymbol, const char *pszWho);

/*
 * Whether pwszPath names a file right inside the folder pwszDir: the folder's
 * components, compared exactly (ASCII letters without regard to case, '\\'
 * and '/' alike, a run of separators as one), then one more component that
 * is not "." or ".." and holds no ':'.  A path that merely shares the
 * folder's beginning (C:\Windows\Temp against C:\Windows\System32), or
 * goes deeper, is not inside it.
 */
bool rtLdrIsFileInDir(PCRTUTF16 pwszPath, PCRTUTF16 pwszDir);

#endif
