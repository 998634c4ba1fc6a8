#include "support/log_input.h"

#include <algorithm>
#include <string>

#include "test_support.h"

namespace {

using test_support::capture_log;

// "error 1\n" ... "error N\n", as the log shows them.
std::string numbered(const char *word, unsigned int from, unsigned int to)
{
    std::string lines;
    for (unsigned int i = from; i <= to; i++)
        lines += std::string(word) + " " + std::to_string(i) + "\n";
    return lines;
}

TEST(LogInput, UpToTheLimitEveryMessagePassesAndNothingIsAdded)
{
    std::string out = capture_log([] {
        log_input messages("old.xml", "\n");
        for (unsigned int i = 1; i <= log_input::kShown; i++)
            EXPECT_EQ(messages.error("error %u\n", i), 1);
        messages.finish();
        EXPECT_EQ(messages.held(), 0u);
    });
    EXPECT_EQ(out, numbered("error", 1, 100));
}

TEST(LogInput, BeyondTheLimitMessagesAreCountedAndSummedUpInOneLine)
{
    struct Case {
        unsigned int errors, warnings; // errors first, then warnings
        const char *line_end;
        const char *closing;
    };
    const Case cases[] = {
        {101, 0, "\n", "old.xml: 1 more error not shown\n"},
        {150, 0, "", "old.xml: 50 more errors not shown\n"},
        {0, 101, "", "old.xml: 1 more warning not shown\n"},
        {0, 102, "", "old.xml: 2 more warnings not shown\n"},
        // one error among the held messages makes them errors
        {101, 2, "", "old.xml: 3 more errors not shown\n"},
        {99, 2, "", "old.xml: 1 more warning not shown\n"},
    };
    for (const Case &c : cases) {
        unsigned int held = 0;
        int last_passed = -1;
        std::string out = capture_log([&] {
            log_input messages("old.xml", c.line_end);
            for (unsigned int i = 1; i <= c.errors; i++)
                last_passed = messages.error("error %u", i);
            for (unsigned int i = 1; i <= c.warnings; i++)
                last_passed = messages.warning("warning %u", i);
            held = messages.held();
            messages.finish();
        });
        const unsigned int shown_errors = std::min(c.errors, log_input::kShown);
        std::string expected = numbered("error", 1, shown_errors) +
                               numbered("warning", 1, log_input::kShown - shown_errors) + c.closing;
        EXPECT_EQ(out, expected) << c.errors << " errors, " << c.warnings << " warnings";
        EXPECT_EQ(held, c.errors + c.warnings - log_input::kShown);
        EXPECT_EQ(last_passed, 0) << "a message held back reports that it did not pass";
    }
}

TEST(LogInput, EachInputHasItsOwnLimit)
{
    std::string out = capture_log([] {
        log_input first("a.xml", "");
        for (unsigned int i = 0; i < log_input::kShown + 5; i++)
            first.error("a");
        first.finish();
        log_input second("b.xml", "");
        second.error("b");
        second.finish();
    });
    EXPECT_TRUE(out.ends_with("a\na.xml: 5 more errors not shown\nb\n")) << out;
}

// A path is text, not a format.
TEST(LogInput, ThePathIsPrintedAsGiven)
{
    std::string out = capture_log([] {
        log_input messages("my %s %n.xml", "");
        for (unsigned int i = 0; i <= log_input::kShown; i++)
            messages.warning("w");
        messages.finish();
    });
    EXPECT_TRUE(out.ends_with("w\nmy %s %n.xml: 1 more warning not shown\n")) << out;
}

// Notices the verbosity hides cost no place in the limit: a file full of
// elements passed over must not hide its errors at the default verbosity.
// Shown, they are held back like the others and summed up as notices.
TEST(LogInput, NoticesCountOnlyWhenShown)
{
    std::string out = capture_log([] {
        log_set_verbosity(0);
        log_input messages("old.xml", "");
        for (unsigned int i = 1; i <= 500; i++)
            EXPECT_EQ(messages.notice("notice %u", i), 0);
        EXPECT_EQ(messages.error("error %u", 1u), 1);
        messages.finish();
        EXPECT_EQ(messages.held(), 0u);
    });
    EXPECT_EQ(out, "error 1\n");

    out = capture_log([] {
        log_set_verbosity(1);
        log_input messages("old.xml", "");
        for (unsigned int i = 1; i <= 102; i++)
            messages.notice("notice %u", i);
        messages.finish();
        log_set_verbosity(0);
    });
    EXPECT_EQ(out, numbered("notice", 1, 100) + "old.xml: 2 more notices not shown\n");
}

} // namespace
