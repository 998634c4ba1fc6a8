#include "cfg/cfg_placeholder.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace {

using rules = std::span<const cfg_placeholder_rule>;

// Every breach the walk reports, as "kind token" lines in report order.
std::string breaches(const char *text, rules set, int *count = nullptr)
{
    static const char *const kKinds[] = {"prohibited", "at_most_once", "exactly_once"};
    std::string out;
    const int n =
        cfg_placeholder_check(text, set, [&](const char *token, cfg_placeholder_rule::kind broken) {
            out += std::string(kKinds[broken]) + " " + token + "\n";
            return true;
        });
    if (count != nullptr)
        *count = n;
    return out;
}

TEST(CfgPlaceholder, CheckReportsEveryBreachInTableOrder)
{
    const rules decoder = cfg_placeholder_decoder_rules;
    const rules encoder = cfg_placeholder_encoder_rules;
    const rules format = cfg_placeholder_format_rules;
    struct {
        rules set;
        const char *text;
        const char *reports;
    } const cases[] = {
        {decoder, "dec @T@ @M@ @a@ @t@", ""},
        {decoder, "", "exactly_once @T@\n"},
        // a repeated track breaks its at-most-once rule and the exactly-once one
        {decoder, "@T@@T@", "at_most_once @T@\nexactly_once @T@\n"},
        {decoder, "@T@T@", ""}, // overlapping tokens count once
        {decoder, "@t@ @s@", "prohibited @s@\nexactly_once @T@\n"},
        {encoder, "@s@ @T@ @T@ @M@@M@ @t@ @t@",
         "prohibited @T@\nprohibited @s@\nat_most_once @M@\nat_most_once @t@\n"},
        {encoder, "@t@ @a@ @M@", ""},
        {format, "@a@ @a@ @M@ @T@ @T@ @s@", "prohibited @M@\nat_most_once @T@\nat_most_once @a@\n"},
        {format, "@T@ @s@ @a@ @t@", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        int count = -1;
        const std::string reports = breaches(c.text, c.set, &count);
        EXPECT_EQ(reports, c.reports);
        EXPECT_EQ(count, static_cast<int>(std::count(reports.begin(), reports.end(), '\n')));
    }
}

TEST(CfgPlaceholder, CheckStopsWhenTheReportSaysSo)
{
    int calls = 0;
    const int n = cfg_placeholder_check(
        "@s@ @M@@M@", cfg_placeholder_decoder_rules,
        [&](const char *, cfg_placeholder_rule::kind) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(n, 2);
}

TEST(CfgPlaceholder, FaultWordsTheFirstBreach)
{
    // An exactly-once rule with nothing before it words a repeat and an
    // absence differently.
    const cfg_placeholder_rule track_once[] = {{cfg_placeholder_rule::exactly_once, "@T@"}};
    struct {
        rules set;
        const char *text;
        const char *fault;
    } const cases[] = {
        {track_once, "@T@ @T@", "duplicate placeholder @T@"},
        {track_once, "@t@", "missing placeholder @T@"},
        {track_once, "@T@", nullptr},
        {cfg_placeholder_encoder_rules, "@a@ @a@ @s@", "prohibited placeholder @s@"},
        {cfg_placeholder_format_rules, "@t@ @t@ @s@@s@", "duplicate placeholder @s@"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(cfg_placeholder_fault(c.text, c.set), c.fault);
    }
}

} // namespace
