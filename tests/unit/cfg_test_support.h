// The boolean words that every boolean setter of the configuration model
// takes, as a table the tests of each module run their setters through.
#pragma once

#include <string>

#include <gtest/gtest.h>

// The boolean words every boolean setter of the model shares: the value it
// stores, or -1 with the reason text of the refusal.
struct boolean_case {
    const char *word;
    int stored;
    const char *reason;
};

inline constexpr boolean_case kBooleanCases[] = {
    {"true", 1, nullptr},    {"TRUE", 1, nullptr},  {"yes", 1, nullptr},    {"YES", 1, nullptr},
    {"1", 1, nullptr},       {"false", 0, nullptr}, {"False", 0, nullptr},  {"no", 0, nullptr},
    {"0", 0, nullptr},       {"on", -1, "invalid"}, {"2", -1, "invalid"},   {" yes", -1, "invalid"},
    {"yes ", -1, "invalid"}, {"", -1, "empty"},     {nullptr, -1, "empty"},
};

// Runs every boolean case through `set` (which returns the setter's result)
// and `get`; a refused word must leave the previous value in place, so each
// refusal is tried on both stored values.
template <typename Set, typename Get> void expect_boolean_words(Set set, Get get)
{
    for (const boolean_case &c : kBooleanCases) {
        SCOPED_TRACE(c.word != nullptr ? std::string("word \"") + c.word + "\"" : "null");
        if (c.reason == nullptr) {
            const char *reason = "untouched";
            ASSERT_EQ(set(c.stored != 0 ? "0" : "1", nullptr), 0);
            EXPECT_EQ(set(c.word, &reason), 0);
            EXPECT_STREQ(reason, "untouched");
            EXPECT_EQ(get(), c.stored);
            continue;
        }
        for (const char *before : {"0", "1"}) {
            const char *reason = nullptr;
            ASSERT_EQ(set(before, nullptr), 0);
            EXPECT_EQ(set(c.word, &reason), -1);
            EXPECT_STREQ(reason, c.reason);
            EXPECT_EQ(get(), before[0] - '0');
        }
    }
}
