/*
 * Command-line parsing: the table-driven option parser and the splitting of
 * a command-line string into an argument vector.
 *
 * The caller describes each accepted spelling of its options in an array of
 * RTOPTIONDEF, initialises an RTOPTIONSTATE over argc/argv and calls
 * RTGetOpt until it returns 0.  Each call hands back one option id with its
 * value already converted to the option's kind, a plain argument, or an
 * error; nothing is printed and no argument text is copied (string values
 * point into argv).  RTGetOptArgvFromString produces such a vector from one
 * string with the quoting rules of Windows programs or of the Bourne shell;
 * process start-up uses it on the process's own command line.
 *
 * Matching rules in short:
 *   - A long name is the full spelling including its leading characters
 *     ("--path", "-path", "/path").  Where a name has '-', the argument may
 *     hold a Unicode dash look-alike instead (U+2010-2014, U+2212, U+FE58,
 *     U+FE63, U+FF0D).  RTGETOPT_FLAG_ICASE folds ASCII letters.
 *   - A value follows a long name after '=' or ':', or is the next argument.
 *   - "-x" matches the definition whose id is 'x'; "-xv", "-x=v", "-x:v" and
 *     "-x v" give x the value v; several value-less short options may share
 *     one dash ("-sv").
 *   - "--" ends the options: every later argument is a plain argument.
 *   - Unless RTGETOPTINIT_F_NO_STD_OPTS is given, "--help"/"-help" ('h'),
 *     "--version"/"-version" ('V') and "-?" ('h') are understood after the
 *     caller's table.
 */
#ifndef ZELK_GETOPT_H
#define ZELK_GETOPT_H

#include <zelk/types.h>

/** @name Value kinds (bits 0-4 of RTOPTIONDEF::fFlags)
 * @{ */
#define RTGETOPT_REQ_NOTHING              0  /* no value */
#define RTGETOPT_REQ_STRING               1  /* psz: pointer into argv */
#define RTGETOPT_REQ_INT8                 2  /* i8 */
#define RTGETOPT_REQ_UINT8                3  /* u8 */
#define RTGETOPT_REQ_INT16                4  /* i16 */
#define RTGETOPT_REQ_UINT16               5  /* u16 */
#define RTGETOPT_REQ_INT32                6  /* i32 */
#define RTGETOPT_REQ_UINT32               7  /* u32 */
#define RTGETOPT_REQ_INT64                8  /* i64 */
#define RTGETOPT_REQ_UINT64               9  /* u64 */
#define RTGETOPT_REQ_IPV4ADDR             10 /* IPv4Addr */
#define RTGETOPT_REQ_IPV4CIDR             11 /* CidrNetworkAddr */
#define RTGETOPT_REQ_MACADDR              14 /* MacAddr */
#define RTGETOPT_REQ_UUID                 15 /* Uuid */
#define RTGETOPT_REQ_BOOL_ONOFF           16 /* f: "on" / "off" */
#define RTGETOPT_REQ_BOOL                 17 /* f: true/yes/enabled/on/1 and false/no/... */
#define RTGETOPT_REQ_UINT32_PAIR          18 /* PairU32 */
#define RTGETOPT_REQ_UINT64_PAIR          19 /* PairU64 */
#define RTGETOPT_REQ_UINT32_OPTIONAL_PAIR 20 /* PairU32; absent second is UINT32_MAX */
#define RTGETOPT_REQ_UINT64_OPTIONAL_PAIR 21 /* PairU64; absent second is UINT64_MAX */
#define RTGETOPT_REQ_MASK                 UINT32_C(0x0000001f)
/** @} */

/** @name Definition flags
 * @{ */
/* Integer radix; at most one, and only with the integer and pair kinds. */
#define RTGETOPT_FLAG_HEX             UINT32_C(0x00010000)
#define RTGETOPT_FLAG_OCT             UINT32_C(0x00020000)
#define RTGETOPT_FLAG_DEC             UINT32_C(0x00040000)
#define RTGETOPT_FLAG_RADIX_MASK      UINT32_C(0x00070000)
/*
 * Indexed option: a decimal index follows the long name ("--disk2").  The
 * index must stay below UINT32_MAX, which RTOPTIONSTATE::uIndex uses for
 * "no index".
 */
#define RTGETOPT_FLAG_INDEX           UINT32_C(0x00080000)
/* Default index n-1 for a field value n of 1-3; the index is then optional. */
#define RTGETOPT_FLAG_INDEX_DEF_MASK  UINT32_C(0x00300000)
#define RTGETOPT_FLAG_INDEX_DEF_SHIFT 20
#define RTGETOPT_FLAG_INDEX_DEF_0     UINT32_C(0x00100000)
#define RTGETOPT_FLAG_INDEX_DEF_1     UINT32_C(0x00200000)
#define RTGETOPT_FLAG_INDEX_DEF_2     UINT32_C(0x00300000)
/* A dash may stand between the long name and the index ("--disk-2"). */
#define RTGETOPT_FLAG_INDEX_DEF_DASH  UINT32_C(0x00400000)
/* The long name is matched ignoring the case of ASCII letters. */
#define RTGETOPT_FLAG_ICASE           UINT32_C(0x00800000)
/* Every bit a definition (or RTGetOptTakeValue) may carry. */
#define RTGETOPT_VALID_MASK           UINT32_C(0x00ff001f)
/** @} */

/** @name RTGetOptInit flags
 * @{ */
/* Options may follow plain arguments; plain arguments come back last. */
#define RTGETOPTINIT_F_PERMUTE     UINT32_C(0x00000001)
/* No "--help", "-help", "--version", "-version" or "-?" of the parser's own. */
#define RTGETOPTINIT_F_NO_STD_OPTS UINT32_C(0x00000002)
/** @} */

/* The non-option count once every remaining argument is a plain argument. */
#define RTGETOPT_NON_OPTIONS_ALL INT32_MAX

/* One accepted spelling of an option.  Ids should be positive: 0 means "done". */
typedef struct RTOPTIONDEF
{
    const char *pszLong; /* full spelling ("--path", "/?"), or null for a short-only option */
    int32_t iShort;      /* returned id; also the character of the short form */
    uint32_t fFlags;     /* RTGETOPT_REQ_* kind | RTGETOPT_FLAG_* */
} RTOPTIONDEF;
typedef RTOPTIONDEF *PRTOPTIONDEF;
typedef const RTOPTIONDEF *PCRTOPTIONDEF;

/* An IPv4 address, bytes in written order ("10.0.0.1" is 10, 0, 0, 1). */
typedef union RTNETADDRIPV4
{
    uint8_t au8[4];
    uint32_t u;
} RTNETADDRIPV4;

/* A hardware (MAC) address, bytes in written order. */
typedef struct RTMAC
{
    uint8_t au8[6];
} RTMAC;

/*
 * A UUID in the Windows GUID layout: the first three groups are host-order
 * integers, the last eight bytes come in written order.
 */
typedef union RTUUID
{
    uint8_t au8[16];
    struct
    {
        uint32_t u32TimeLow;
        uint16_t u16TimeMid;
        uint16_t u16TimeHiAndVersion;
        uint8_t au8Node[8];
    } Gen;
} RTUUID;

/*
 * The converted value of an option.  While a value is being converted and
 * when RTGetOpt fails on a value, pDef holds the option's definition; for
 * KERR_OPT_UNKNOWN and KINF_OPT_NOT_AN_OPTION psz holds the offending text.
 */
typedef union RTOPTIONVALUE
{
    const char *psz;
    PCRTOPTIONDEF pDef;
    int8_t i8;
    uint8_t u8;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    bool f;
    RTNETADDRIPV4 IPv4Addr;
    struct
    {
        RTNETADDRIPV4 IPv4Network; /* written order, host bits zero */
        RTNETADDRIPV4 IPv4Netmask; /* written order: /24 is 255.255.255.0 */
    } CidrNetworkAddr;
    RTMAC MacAddr;
    RTUUID Uuid;
    struct
    {
        uint32_t uFirst;
        uint32_t uSecond;
    } PairU32;
    struct
    {
        uint64_t uFirst;
        uint64_t uSecond;
    } PairU64;
} RTOPTIONVALUE;
typedef RTOPTIONVALUE *PRTOPTIONVALUE;

/*
 * Parser state; lives in the caller's frame and owns nothing.  In permute
 * mode the plain arguments met so far are held back in
 * argv[iNext .. iNext + cNonOptions - 1] (argv is reordered in place); while
 * a bundle of short options is being worked through, iNext stays on it.
 */
typedef struct RTOPTIONSTATE
{
    int32_t iNext; /* index of the next argument to examine */
    char **argv;
    int32_t argc;
    PCRTOPTIONDEF paOptions;
    uint32_t cOptions;
    const char *pszNextShort; /* next character of a short-option bundle, or null */
    PCRTOPTIONDEF pDef;       /* definition of the option returned last, or null */
    uint32_t uIndex;          /* index of that option; UINT32_MAX when it has none */
    uint32_t fFlags;          /* RTGETOPTINIT_F_* */
    int32_t cNonOptions;      /* held-back plain arguments, or RTGETOPT_NON_OPTIONS_ALL */
} RTOPTIONSTATE;
typedef RTOPTIONSTATE *PRTOPTIONSTATE;

/*
 * Prepares pState for parsing argv[iFirst .. argc-1] against paOptions.
 *
 * @param pState     state to fill.
 * @param argc       entries in argv (not negative).
 * @param argv       the vector; must stay alive and writable while values
 *                   are in use (permute mode reorders it).
 * @param paOptions  the caller's definitions, searched in order; may be null
 *                   when cOptions is 0.
 * @param cOptions   entries in paOptions.
 * @param iFirst     first argument to examine (1 skips the program name);
 *                   not negative.
 * @param fFlags     RTGETOPTINIT_F_*.
 * @returns 0, or KERR_INVALID_PARAMETER for unknown flags, a negative argc
 *          or iFirst, or a null table with a non-zero count.
 */
int RTGetOptInit(PRTOPTIONSTATE pState, int argc, char **argv, PCRTOPTIONDEF paOptions,
                 uint32_t cOptions, int iFirst, uint32_t fFlags);

/*
 * Returns the next option.
 *
 * @returns
 *   0                          no arguments left.
 *   the option's id            pValue holds its converted value (the bytes
 *                              the value does not fill are zero), or for an
 *                              option without a value its definition; the
 *                              index of an indexed option is in
 *                              pState->uIndex.
 *   KINF_OPT_NOT_AN_OPTION     pValue->psz is the plain argument.
 *   KERR_OPT_UNKNOWN           pValue->psz is the unknown argument (or the rest
 *                              of a short-option bundle from the unknown
 *                              character, or a value rejected by the
 *                              on/off and boolean kinds).
 *   KERR_OPT_VALUE_MISSING, KERR_OPT_BAD_VALUE_FORMAT, KERR_OPT_INDEX_MISSING
 *                              pValue->pDef is the option's definition.
 *   KERR_INTERNAL_ERROR        the definition has an unsupported kind or radix
 *                              combination; pValue->pDef is the definition.
 *   KERR_INVALID_UTF8 and the other decoding errors
 *                              the argument does not start with a valid UTF-8
 *                              character; pValue->psz is the argument.
 * Every error consumes the argument it concerns, so a caller that goes on
 * after one is not stuck on it; callers normally stop at the first error.
 */
int RTGetOpt(PRTOPTIONSTATE pState, PRTOPTIONVALUE pValue);

/*
 * Converts the next argument, whatever it looks like, as an extra value of
 * the option RTGetOpt returned last (for options taking two values).
 *
 * @param fFlags  a non-zero RTGETOPT_REQ_* kind with optional radix flags; no
 *                bits outside RTGETOPT_VALID_MASK.
 * @returns 0 with the value; KERR_INVALID_PARAMETER for bad flags;
 *          KERR_OPT_VALUE_MISSING with pValue->pDef null when no argument is
 *          left; otherwise the conversion statuses of RTGetOpt, with
 *          pValue->pDef the last option's definition.
 */
int RTGetOptTakeValue(PRTOPTIONSTATE pState, PRTOPTIONVALUE pValue, uint32_t fFlags);

/** @name RTGetOptArgvFromString flags
 * @{ */
#define RTGETOPTARGV_CNV_QUOTE_MS_CRT    UINT32_C(0x00000000) /* Windows-program quoting */
#define RTGETOPTARGV_CNV_QUOTE_BOURNE_SH UINT32_C(0x00000001) /* Bourne-shell quoting */
#define RTGETOPTARGV_CNV_QUOTE_MASK      UINT32_C(0x00000003)
#define RTGETOPTARGV_CNV_MODIFY_INPUT    UINT32_C(0x00000004) /* split in place */
/** @} */

/* The separators used when none are given: space, tab, line feed, carriage return. */
#define RTGETOPTARGV_DEFAULT_SEPARATORS " \t\n\r"

/*
 * The separators of a Windows process's own command line: blank and tab
 * only, as Windows programs split it.  A line feed or carriage return that
 * a caller left unquoted stays inside its argument.
 */
#define RTGETOPTARGV_WIN_CMDLINE_SEPARATORS " \t"

/*
 * Splits a UTF-8 command line into arguments.
 *
 * Windows-program quoting: '"' toggles quoting ("" inside quotes is one
 * literal '"'); 2n backslashes before '"' give n backslashes, 2n+1 give n and
 * a literal '"'; other backslashes are literal.  Bourne-shell quoting: '...'
 * is literal, "..." honours backslash before " \ ` $ and line feed, and an
 * unquoted backslash makes the next character literal.  In both styles an
 * unterminated quote runs to the end of the string.
 *
 * @param ppapszArgv      receives the argument array, terminated by a null
 *                        entry; it always exists, also for no arguments.
 * @param pcArgs          receives the number of arguments.
 * @param pszCmdLine      the command line.  With RTGETOPTARGV_CNV_MODIFY_INPUT
 *                        it must be writable: the arguments are written into
 *                        it and the array points into it.
 * @param fFlags          quoting style, optionally RTGETOPTARGV_CNV_MODIFY_INPUT.
 * @param pszSeparators   separator characters (UTF-8, may be non-ASCII), or
 *                        null for RTGETOPTARGV_DEFAULT_SEPARATORS.  Quotes
 *                        and backslashes keep their quoting meaning even
 *                        when listed here.
 * @returns 0 with both outputs set, or (outputs untouched, nothing left
 *          allocated):
 *   KERR_INVALID_FLAGS       style 2 or 3, or unknown flag bits.
 *   KERR_INVALID_PARAMETER   an empty separator string.
 *   KERR_INVALID_POINTER     a null output or command line.
 *   KERR_NO_STR_MEMORY       the copy of the command line failed.
 *   KERR_NO_MEMORY           the array could not be allocated or grown.
 *   decoding statuses        invalid UTF-8 in the command line or separators.
 * Buffer contract: outside in-place mode the arguments live in one heap block
 * of strlen(pszCmdLine) + 1 bytes that begins at (*ppapszArgv)[0]; release
 * everything with RTGetOptArgvFreeEx using the same flags.
 */
int RTGetOptArgvFromString(char ***ppapszArgv, int *pcArgs, const char *pszCmdLine, uint32_t fFlags,
                           const char *pszSeparators);

/* Frees what RTGetOptArgvFromString returned for fFlags (null is ignored). */
void RTGetOptArgvFreeEx(char **papszArgv, uint32_t fFlags);
/* RTGetOptArgvFreeEx for a copying split. */
void RTGetOptArgvFree(char **papszArgv);

/*
 * Prints the message for a result of RTGetOpt or RTGetOptTakeValue through
 * RTMsgPrintError ("program: error: ...") and returns 2, the exit code of a
 * syntax error.  pValueUnion is the value record of that result.
 */
int RTGetOptPrintError(int ch, const RTOPTIONVALUE *pValueUnion);

/*
 * The value kinds a program converts.  Plain and string options are always
 * there; the other kinds come in groups, and a program links only the groups
 * in its g_apRTGetOptValueKinds.  One that does not define the list gets the
 * runtime's, which has them all.  To link fewer, name them once in one
 * source file:
 *
 *     RTGETOPT_VALUE_KINDS(&g_RTGetOptKindsInt);
 *
 * An option of a kind left out fails with KERR_INTERNAL_ERROR, as an unknown
 * kind does.
 */
struct RTGETOPTVALUEKINDS;
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsInt;  /* INT8 .. UINT64 */
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsNet;  /* IPV4ADDR, IPV4CIDR, MACADDR */
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsUuid; /* UUID */
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsBool; /* BOOL_ONOFF, BOOL */
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsPair; /* the four pair kinds */

/* The program's value kinds, null-terminated. */
extern const struct RTGETOPTVALUEKINDS *const g_apRTGetOptValueKinds[];

#define RTGETOPT_VALUE_KINDS(...) \
 const struct RTGETOPTVALUEKINDS *const g_apRTGetOptValueKinds[] = { __VA_ARGS__, nullptr }
/* Plain and string options only. */
#define RTGETOPT_VALUE_KINDS_NONE() \
 const struct RTGETOPTVALUEKINDS *const g_apRTGetOptValueKinds[] = { nullptr }

#endif
