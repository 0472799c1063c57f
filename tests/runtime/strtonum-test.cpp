/*
 * Integer reading: every width at both ends of its range, signs, base
 * prefixes, what may follow the digits, and which outputs are written.
 */
#include <gtest/gtest.h>

#include <zelk/err.h>
#include <zelk/strtonum.h>

namespace {

enum Width
{
    U8,
    U16,
    U32,
    U64,
    I8,
    I16,
    I32,
    I64
};

/* Calls the reader for the width; *pu gets the value's bits zero-extended. */
int readNumber(Width enmWidth, const char *psz, const char **ppszNext, unsigned uBase, uint64_t *pu)
{
    int rc;
    switch (enmWidth)
    {
        case U8:
        {
            uint8_t u = 0xa5;
            rc = RTStrToUInt8Ex(psz, ppszNext, uBase, &u);
            if (rc >= 0)
                *pu = u;
            break;
        }
        case U16:
        {
            uint16_t u = 0xa5;
            rc = RTStrToUInt16Ex(psz, ppszNext, uBase, &u);
            if (rc >= 0)
                *pu = u;
            break;
        }
        case U32:
        {
            uint32_t u = 0xa5;
            rc = RTStrToUInt32Ex(psz, ppszNext, uBase, &u);
            if (rc >= 0)
                *pu = u;
            break;
        }
        case U64:
        {
            uint64_t u = 0xa5;
            rc = RTStrToUInt64Ex(psz, ppszNext, uBase, &u);
            if (rc >= 0)
                *pu = u;
            break;
        }
        case I8:
        {
            int8_t i = 0x25;
            rc = RTStrToInt8Ex(psz, ppszNext, uBase, &i);
            if (rc >= 0)
                *pu = (uint8_t)i;
            break;
        }
        case I16:
        {
            int16_t i = 0x25;
            rc = RTStrToInt16Ex(psz, ppszNext, uBase, &i);
            if (rc >= 0)
                *pu = (uint16_t)i;
            break;
        }
        case I32:
        {
            int32_t i = 0x25;
            rc = RTStrToInt32Ex(psz, ppszNext, uBase, &i);
            if (rc >= 0)
                *pu = (uint32_t)i;
            break;
        }
        default:
        {
            int64_t i = 0x25;
            rc = RTStrToInt64Ex(psz, ppszNext, uBase, &i);
            if (rc >= 0)
                *pu = (uint64_t)i;
            break;
        }
    }
    return rc;
}

struct NumberRow
{
    const char *psz;
    Width enmWidth;
    unsigned uBase;
    int rc;
    uint64_t uValue; /* bits of the width, when rc is not negative */
    size_t offNext;  /* where reading stopped, when rc is not negative */
};

const NumberRow g_aRows[] = // clang-format off
{
    { "0",                      U32, 10, 0, 0, 1 },
    { "4294967295",             U32, 10, 0, 0xffffffff, 10 },
    { "4294967296",             U32, 10, KWRN_NUMBER_TOO_BIG, 0, 10 },
    { "-1",                     U32, 10, KWRN_NUMBER_TOO_BIG, 0xffffffff, 2 },
    { "-0",                     U32, 10, 0, 0, 2 },
    { "+7",                     U8,  10, 0, 7, 2 },
    { "255",                    U8,  10, 0, 255, 3 },
    { "256",                    U8,  10, KWRN_NUMBER_TOO_BIG, 0, 3 },
    { "65535",                  U16, 10, 0, 0xffff, 5 },
    { "65536",                  U16, 10, KWRN_NUMBER_TOO_BIG, 0, 5 },
    { "18446744073709551615",   U64, 10, 0, UINT64_MAX, 20 },
    { "18446744073709551616",   U64, 10, KWRN_NUMBER_TOO_BIG, 0, 20 },
    { "99999999999999999999x",  U64, 10, KWRN_NUMBER_TOO_BIG, UINT64_C(7766279631452241919), 20 },
    { "127",                    I8,  10, 0, 127, 3 },
    { "128",                    I8,  10, KWRN_NUMBER_TOO_BIG, 0x80, 3 },
    { "-128",                   I8,  10, 0, 0x80, 4 },
    { "-129",                   I8,  10, KWRN_NUMBER_TOO_BIG, 0x7f, 4 },
    { "32767",                  I16, 10, 0, 0x7fff, 5 },
    { "-32768",                 I16, 10, 0, 0x8000, 6 },
    { "32768",                  I16, 10, KWRN_NUMBER_TOO_BIG, 0x8000, 5 },
    { "-2147483648",            I32, 10, 0, 0x80000000, 11 },
    { "2147483648",             I32, 10, KWRN_NUMBER_TOO_BIG, 0x80000000, 10 },
    { "9223372036854775807",    I64, 10, 0, INT64_MAX, 19 },
    { "9223372036854775808",    I64, 10, KWRN_NUMBER_TOO_BIG, UINT64_C(0x8000000000000000), 19 },
    { "-9223372036854775808",   I64, 10, 0, UINT64_C(0x8000000000000000), 20 },
    { "-9223372036854775809",   I64, 10, KWRN_NUMBER_TOO_BIG, INT64_MAX, 20 },
    /* Bases and prefixes. */
    { "0x1F",                   U32, 16, 0, 31, 4 },
    { "1f",                     U32, 16, 0, 31, 2 },
    { "0X1f",                   U32, 0,  0, 31, 4 },
    { "0x",                     U32, 16, KWRN_TRAILING_CHARS, 0, 1 },
    { "0xg",                    U32, 16, KWRN_TRAILING_CHARS, 0, 1 },
    { "0x1F",                   U32, 10, KWRN_TRAILING_CHARS, 0, 1 },
    { "-0x10",                  I32, 16, 0, 0xfffffff0, 5 },
    { "017",                    U32, 0,  0, 15, 3 },
    { "09",                     U32, 0,  KWRN_TRAILING_CHARS, 0, 1 },
    { "17",                     U32, 0,  0, 17, 2 },
    { "777",                    U32, 8,  0, 511, 3 },
    { "101",                    U32, 2,  0, 5, 3 },
    { "zZ",                     U32, 36, 0, 35 * 36 + 35, 2 },
    { "ffffffffffffffff",       U64, 16, 0, UINT64_MAX, 16 },
    { "10000000000000000",      U64, 16, KWRN_NUMBER_TOO_BIG, 0, 17 },
    /* What follows the digits. */
    { "12 ",                    U32, 10, KWRN_TRAILING_SPACES, 12, 2 },
    { "12 \t\r\n\v\f",          U32, 10, KWRN_TRAILING_SPACES, 12, 2 },
    { "12 x",                   U32, 10, KWRN_TRAILING_CHARS, 12, 2 },
    { "12x",                    U32, 10, KWRN_TRAILING_CHARS, 12, 2 },
    { "300 x",                  U8,  10, KWRN_NUMBER_TOO_BIG, 44, 3 },
    /* No number at all. */
    { "",                       U32, 10, KERR_NO_DIGITS, 0, 0 },
    { "-",                      I32, 10, KERR_NO_DIGITS, 0, 0 },
    { "+x",                     U32, 10, KERR_NO_DIGITS, 0, 0 },
    { " 5",                     U32, 10, KERR_NO_DIGITS, 0, 0 },
    { "8",                      U32, 8,  KERR_NO_DIGITS, 0, 0 },
    { "2",                      U32, 2,  KERR_NO_DIGITS, 0, 0 },
    { "1",                      U32, 1,  KERR_INVALID_PARAMETER, 0, 0 },
    { "1",                      U32, 37, KERR_INVALID_PARAMETER, 0, 0 },
};
// clang-format on

TEST(StrToNum, Table)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aRows); i++)
    {
        NumberRow const &Row = g_aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " \"" << Row.psz << "\"");
        const char *pszNext = "untouched";
        uint64_t u = 0xdeadbeef;
        int const rc = readNumber(Row.enmWidth, Row.psz, &pszNext, Row.uBase, &u);
        EXPECT_EQ(rc, Row.rc);
        if (rc >= 0)
        {
            EXPECT_EQ(u, Row.uValue);
            EXPECT_EQ(pszNext, Row.psz + Row.offNext);
        }
        else
        {
            /* Errors write nothing. */
            EXPECT_EQ(u, UINT64_C(0xdeadbeef));
            EXPECT_STREQ(pszNext, "untouched");
        }
    }
}

TEST(StrToNum, OptionalOutputs)
{
    EXPECT_EQ(RTStrToUInt32Ex("42 ", nullptr, 10, nullptr), KWRN_TRAILING_SPACES);
    int64_t i = 0;
    EXPECT_EQ(RTStrToInt64Ex("-42", nullptr, 0, &i), 0);
    EXPECT_EQ(i, -42);
}

} // namespace
