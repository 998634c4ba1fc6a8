#include "support/compat.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char *text;
    long long min, max;
    long long value;
    const char *reason; // null when accepted
    int error;          // errno after a refusal
};

const NumberCase kNumbers[] = {
    {"0", 0, 1, 0, nullptr, 0},
    {"1", 0, 1, 1, nullptr, 0},
    {" \t\n+1", 0, 1, 1, nullptr, 0},
    {"-1", -1, 2147483647, -1, nullptr, 0},
    {"2147483647", -1, 2147483647, 2147483647, nullptr, 0},
    {"4294967295", 0, 4294967295LL, 4294967295LL, nullptr, 0},
    {"9223372036854775807", LLONG_MIN, LLONG_MAX, LLONG_MAX, nullptr, 0},
    {"-9223372036854775808", LLONG_MIN, LLONG_MAX, LLONG_MIN, nullptr, 0},
    {"007", 0, 10, 7, nullptr, 0},
    {"2", 0, 1, 0, "too large", ERANGE},
    {"-2", -1, 1, 0, "too small", ERANGE},
    {"9223372036854775808", LLONG_MIN, LLONG_MAX, 0, "too large", ERANGE},
    {"-9223372036854775809", LLONG_MIN, LLONG_MAX, 0, "too small", ERANGE},
    {"99999999999999999999999", 0, 1, 0, "too large", ERANGE},
    {"-99999999999999999999999", 0, 1, 0, "too small", ERANGE},
    {"", 0, 1, 0, "invalid", EINVAL},
    {" ", 0, 1, 0, "invalid", EINVAL},
    {"-", 0, 1, 0, "invalid", EINVAL},
    {"+-1", -5, 5, 0, "invalid", EINVAL},
    {"1 ", 0, 1, 0, "invalid", EINVAL},
    {"0x1", 0, 1, 0, "invalid", EINVAL},
    {"1.0", 0, 1, 0, "invalid", EINVAL},
    {"99999999999999999999999x", 0, 1, 0, "invalid", EINVAL},
    {"1", 2, 1, 0, "invalid", EINVAL}, // an empty range
};

TEST(Compat, StrtonumReadsDecimalsWithinTheirRange)
{
    for (const NumberCase &c : kNumbers) {
        const char *reason = "untouched";
        errno = 12345;
        long long value = strtonum(c.text, c.min, c.max, &reason);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        if (c.reason == nullptr) {
            EXPECT_EQ(reason, nullptr) << '"' << c.text << '"';
            EXPECT_EQ(errno, 12345) << "errno is left alone on success";
        } else {
            ASSERT_NE(reason, nullptr) << '"' << c.text << '"';
            EXPECT_STREQ(reason, c.reason) << '"' << c.text << '"';
            EXPECT_EQ(errno, c.error) << '"' << c.text << '"';
        }
    }
}

TEST(Compat, StrlcpyCopiesWhatFitsAndReportsTheWholeLength)
{
    char buffer[4] = "xyz";
    EXPECT_EQ(strlcpy(buffer, "ab", sizeof buffer), 2u);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(strlcpy(buffer, "abcdef", sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(strlcpy(buffer, "zz", 0), 2u) << "a zero size writes nothing";
    EXPECT_STREQ(buffer, "abc");
}

} // namespace
