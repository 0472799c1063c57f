/*
 * Fuzzes the option parser with argument vectors against one table that has
 * every value kind, radix, index and matching flag.
 *
 * Input: byte 0 picks the init flags (bits 0-1) and how often an extra value
 * is taken after an option (bits 2-3); the rest is the arguments, separated by
 * NUL bytes.  The parser is driven until it returns 0, going on after errors.
 * Checked: every call makes progress (bounded number of calls), argv stays a
 * permutation of the original pointers, string values and offending texts
 * point into the arguments, and every definition handed back is one of the
 * table's (or a standard one, which has a long name).
 */
#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#include <zelk/err.h>
#include <zelk/getopt.h>

namespace {

void check(bool f)
{
    if (!f)
        __builtin_trap();
}

const RTOPTIONDEF g_aOpts[] = // clang-format off
{
    { "--string",   's',  RTGETOPT_REQ_STRING },
    { "-string",    's',  RTGETOPT_REQ_STRING },
    { "/string",    's',  RTGETOPT_REQ_STRING },
    { "--flag",     'f',  RTGETOPT_REQ_NOTHING },
    { "--v",        'v',  RTGETOPT_REQ_NOTHING },
    { "--i8",       '1',  RTGETOPT_REQ_INT8 },
    { "--u8",       '2',  RTGETOPT_REQ_UINT8 | RTGETOPT_FLAG_HEX },
    { "--i16",      '3',  RTGETOPT_REQ_INT16 | RTGETOPT_FLAG_OCT },
    { "--u16",      '4',  RTGETOPT_REQ_UINT16 | RTGETOPT_FLAG_DEC },
    { "--i32",      '5',  RTGETOPT_REQ_INT32 },
    { "--u32",      '6',  RTGETOPT_REQ_UINT32 },
    { "--i64",      '7',  RTGETOPT_REQ_INT64 },
    { "--u64",      '8',  RTGETOPT_REQ_UINT64 | RTGETOPT_FLAG_HEX },
    { "--ip",       'a',  RTGETOPT_REQ_IPV4ADDR },
    { "--cidr",     'c',  RTGETOPT_REQ_IPV4CIDR },
    { "--mac",      'm',  RTGETOPT_REQ_MACADDR },
    { "--uuid",     'u',  RTGETOPT_REQ_UUID },
    { "--onoff",    'o',  RTGETOPT_REQ_BOOL_ONOFF },
    { "--bool",     'b',  RTGETOPT_REQ_BOOL },
    { "--p32",      'x',  RTGETOPT_REQ_UINT32_PAIR },
    { "--p64",      'y',  RTGETOPT_REQ_UINT64_PAIR | RTGETOPT_FLAG_OCT },
    { "--o32",      'z',  RTGETOPT_REQ_UINT32_OPTIONAL_PAIR | RTGETOPT_FLAG_HEX },
    { "--o64",      'Z',  RTGETOPT_REQ_UINT64_OPTIONAL_PAIR },
    { "--disk",     'd',  RTGETOPT_REQ_STRING | RTGETOPT_FLAG_INDEX },
    { "--nic",      'n',  RTGETOPT_REQ_NOTHING | RTGETOPT_FLAG_INDEX | RTGETOPT_FLAG_INDEX_DEF_1
                          | RTGETOPT_FLAG_INDEX_DEF_DASH },
    { "--port",     'p',  RTGETOPT_REQ_UINT16 | RTGETOPT_FLAG_INDEX | RTGETOPT_FLAG_INDEX_DEF_2
                          | RTGETOPT_FLAG_INDEX_DEF_DASH | RTGETOPT_FLAG_ICASE },
    { "--Case",     'C',  RTGETOPT_REQ_NOTHING | RTGETOPT_FLAG_ICASE },
    { "--bad",      'B',  13 },
    { "--badradix", 'R',  RTGETOPT_REQ_BOOL | RTGETOPT_FLAG_HEX },
    { "--long",     1000, RTGETOPT_REQ_STRING },
    { nullptr,      'q',  RTGETOPT_REQ_NOTHING },
};
// clang-format on

bool isOurDef(PCRTOPTIONDEF pDef)
{
    if (pDef >= &g_aOpts[0] && pDef < &g_aOpts[RT_ELEMENTS(g_aOpts)])
        return true;
    /* A standard option: value-less, with a long name and id 'h' or 'V'. */
    return pDef && pDef->pszLong && (pDef->iShort == 'h' || pDef->iShort == 'V')
           && pDef->fFlags == RTGETOPT_REQ_NOTHING;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    if (cb < 1)
        return 0;
    uint32_t const fInit = pb[0] & 3;
    unsigned const uTakeEvery = (pb[0] >> 2) & 3;

    /* The arguments, each in its own allocation so ASan sees any overrun. */
    std::vector<std::string> vecArgs(1);
    for (size_t i = 1; i < cb; i++)
    {
        if (pb[i] == 0)
            vecArgs.emplace_back();
        else
            vecArgs.back() += (char)pb[i];
    }
    std::vector<char *> vecArgv;
    std::vector<std::pair<const char *, size_t>> vecRanges;
    for (std::string const &str : vecArgs)
    {
        char *psz = new char[str.size() + 1];
        memcpy(psz, str.c_str(), str.size() + 1);
        vecArgv.push_back(psz);
        vecRanges.emplace_back(psz, str.size() + 1);
    }
    std::vector<char *> vecOriginal = vecArgv;
    auto pointsIntoArgs = [&](const char *psz) {
        for (auto const &Range : vecRanges)
            if (psz >= Range.first && psz < Range.first + Range.second)
                return true;
        return false;
    };

    RTOPTIONSTATE State;
    check(RTGetOptInit(&State, (int)vecArgv.size(), vecArgv.data(), g_aOpts, RT_ELEMENTS(g_aOpts),
                       0, fInit)
          == 0);

    /* Every call consumes an argument or a bundle character, or ends. */
    size_t const cMaxCalls = cb + vecArgv.size() + 2;
    size_t cCalls = 0;
    for (;;)
    {
        check(++cCalls <= cMaxCalls);
        RTOPTIONVALUE Value;
        int rc = RTGetOpt(&State, &Value);
        if (rc == 0)
            break;
        if (rc == KINF_OPT_NOT_AN_OPTION || rc == KERR_OPT_UNKNOWN)
            check(pointsIntoArgs(Value.psz));
        else if (rc > 0)
        {
            check(isOurDef(State.pDef) && State.pDef->iShort == rc);
            uint32_t const fFlags = State.pDef->fFlags;
            if ((fFlags & RTGETOPT_REQ_MASK) == RTGETOPT_REQ_STRING)
                check(pointsIntoArgs(Value.psz));
            if (!(fFlags & RTGETOPT_FLAG_INDEX))
                check(State.uIndex == UINT32_MAX);
            if (uTakeEvery && cCalls % uTakeEvery == 0)
            {
                uint32_t const fTake = (uint32_t)(cCalls % 22)
                                       | (cCalls & 4 ? RTGETOPT_FLAG_HEX : 0);
                rc = RTGetOptTakeValue(&State, &Value, fTake);
                if (rc == KERR_OPT_VALUE_MISSING)
                    check(Value.pDef == nullptr);
                else if (rc == 0 && (fTake & RTGETOPT_REQ_MASK) == RTGETOPT_REQ_STRING)
                    check(pointsIntoArgs(Value.psz));
            }
        }
        else if (rc == KERR_OPT_VALUE_MISSING || rc == KERR_OPT_BAD_VALUE_FORMAT
                 || rc == KERR_OPT_INDEX_MISSING || rc == KERR_INTERNAL_ERROR)
            check(isOurDef(Value.pDef) && State.pDef == nullptr);
        else
            check(pointsIntoArgs(Value.psz)); /* a decoding error names the argument */
    }
    check(State.pszNextShort == nullptr);

    /* Permute mode may only have reordered the vector. */
    std::vector<char *> vecSorted = vecArgv;
    std::sort(vecSorted.begin(), vecSorted.end());
    std::sort(vecOriginal.begin(), vecOriginal.end());
    check(vecSorted == vecOriginal);
    for (char *psz : vecOriginal)
        delete[] psz;
    return 0;
}
