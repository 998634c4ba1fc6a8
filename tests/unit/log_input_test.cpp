#include "support/log_input.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "support/xml_tree.h"
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

TEST(LogInput, BeyondTheLimitMessagesAreCountedAndSummedUpBySeverity)
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
        // one closing line per severity, the most severe first
        {101, 2, "", "old.xml: 1 more error not shown\nold.xml: 2 more warnings not shown\n"},
        {99, 2, "", "old.xml: 1 more warning not shown\n"},
    };
    for (const Case &c : cases) {
        unsigned int held = 0, errors = 0, warnings = 0;
        int last_passed = -1;
        std::string out = capture_log([&] {
            log_input messages("old.xml", c.line_end);
            for (unsigned int i = 1; i <= c.errors; i++)
                last_passed = messages.error("error %u", i);
            for (unsigned int i = 1; i <= c.warnings; i++)
                last_passed = messages.warning("warning %u", i);
            held = messages.held();
            errors = messages.errors();
            warnings = messages.warnings();
            messages.finish();
        });
        const unsigned int shown_errors = std::min(c.errors, log_input::kShown);
        std::string expected = numbered("error", 1, shown_errors) +
                               numbered("warning", 1, log_input::kShown - shown_errors) + c.closing;
        EXPECT_EQ(out, expected) << c.errors << " errors, " << c.warnings << " warnings";
        EXPECT_EQ(held, c.errors + c.warnings - log_input::kShown);
        EXPECT_EQ(errors, c.errors) << "totals count what was held back too";
        EXPECT_EQ(warnings, c.warnings);
        EXPECT_EQ(last_passed, 0) << "a message held back reports that it did not pass";
    }
}

TEST(LogInput, EachInputHasItsOwnLimit)
{
    std::string out = capture_log([] {
        {
            log_input first("a.xml", "");
            for (unsigned int i = 0; i < log_input::kShown + 5; i++)
                first.error("a");
            first.finish();
        }
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

namespace {

using test_support::TempFile;

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = log_input_format(fmt, ap);
    va_end(ap);
    return text;
}

std::string c_format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string c_format(const char *fmt, ...)
{
    char buffer[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, ap);
    va_end(ap);
    return buffer;
}

// Every conversion but %s comes out as printf makes it, and the arguments
// after it are read from the right place.
TEST(LogInputFormat, OtherConversionsAsPrintfMakesThem)
{
    EXPECT_EQ(format("%s[%ld]: %u %d %zu %lld %c %x %% %5s|%-4s|%.2s %3.1f %s", "p", 12L, 7u, -3,
                     size_t{42}, -9LL, 'z', 255u, "ab", "c", "xyz", 2.25, "end"),
              c_format("%s[%ld]: %u %d %zu %lld %c %x %% %5s|%-4s|%.2s %3.1f %s", "p", 12L, 7u, -3,
                       size_t{42}, -9LL, 'z', 255u, "ab", "c", "xyz", 2.25, "end"));
    EXPECT_EQ(format("%*d|%-*d|%.*s|%s", 4, 1, 3, 2, 1, "xy", "z"),
              c_format("%*d|%-*d|%.*s|%s", 4, 1, 3, 2, 1, "xy", "z"));
}

TEST(LogInputFormat, ControlCharactersInValuesAreEscaped)
{
    EXPECT_EQ(format("%s: %s", "a.xml", "x\nonyxcast-cfgcheck[1]: a.xml: configuration accepted"),
              "a.xml: x\\nonyxcast-cfgcheck[1]: a.xml: configuration accepted");
    EXPECT_EQ(format("%s", "tab\there\r\x01\x1f\x7f end"), "tab\\there\\r\\x01\\x1f\\x7f end");
    // The format's own line end stays: version-0 messages carry one.
    EXPECT_EQ(format("%s: Error\n", "old.xml"), "old.xml: Error\n");
    // Bytes of other characters pass as they are.
    EXPECT_EQ(format("%s", "caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(LogInputFormat, LongValuesAreCutToTheirStart)
{
    const std::string at_limit(log_input::kValueMax, 'a');
    EXPECT_EQ(format("v: %s", at_limit.c_str()), "v: " + at_limit);
    const std::string over = std::string(log_input::kValueMax, 'b') + "c";
    EXPECT_EQ(format("v: %s!", over.c_str()), "v: " + std::string(64, 'b') + "...!");
    // The cut falls where a character starts.
    const std::string wide = std::string(63, 'd') + "\xC3\xA9" + std::string(5000, 'e');
    EXPECT_EQ(format("%s", wide.c_str()), std::string(63, 'd') + "...");
    // What is cut is escaped too.
    const std::string broken = "\n" + std::string(5000, 'f');
    EXPECT_EQ(format("%s", broken.c_str()), "\\n" + std::string(63, 'f') + "...");
}

// The path opens the closing lines as messages show it.
TEST(LogInput, ThePathIsShownAsAValue)
{
    std::string out = capture_log([] {
        log_input messages("a\nb.xml", "");
        EXPECT_STREQ(messages.path(), "a\\nb.xml");
        for (unsigned int i = 0; i <= log_input::kShown; i++)
            messages.warning("w");
        messages.finish();
        messages.summary(LOG_LEVEL_WARNING, "%s: %u warnings", messages.path(),
                         messages.warnings());
    });
    EXPECT_TRUE(out.ends_with("w\na\\nb.xml: 1 more warning not shown\na\\nb.xml: 101 warnings\n"))
        << out;
}

// While a channel is open it is the log's sink: whatever else is logged,
// a notice of the model say, takes its limit and its escaping; closed, the
// log is as it was.
TEST(LogInput, WhileOpenEveryMessageTakesTheChannel)
{
    std::string out = capture_log(
        [] {
            {
                log_input messages("a.xml", "");
                for (unsigned int i = 0; i < log_input::kShown; i++)
                    log_notice("%s: n", "x\ny");
                EXPECT_EQ(log_notice("held"), 0);
                EXPECT_EQ(log_alert("%s", "last words"), 1) << "alerts are never held";
                messages.finish();
            }
            EXPECT_EQ(log_notice("%s", "after\n"), 1);
        },
        1);
    EXPECT_TRUE(out.starts_with("x\\ny: n\n")) << out;
    EXPECT_TRUE(out.ends_with("x\\ny: n\nlast words\na.xml: 1 more notice not shown\nafter\n"))
        << out;
}

// A reader opened inside a caller's channel for the same file shares its
// limit, and only the caller sums up.
TEST(LogInput, AChannelForTheSamePathJoinsTheOpenOne)
{
    unsigned int inner_errors = 0, outer_errors = 0;
    std::string out = capture_log([&] {
        log_input outer("a.xml", "");
        {
            log_input inner("a.xml", "");
            for (unsigned int i = 0; i < log_input::kShown; i++)
                inner.error("inner");
            inner.finish();
            inner_errors = inner.errors();
        }
        outer.error("outer");
        outer.finish();
        outer_errors = outer.errors();
    });
    EXPECT_EQ(inner_errors, log_input::kShown);
    EXPECT_EQ(outer_errors, log_input::kShown + 1);
    EXPECT_TRUE(out.ends_with("inner\na.xml: 1 more error not shown\n")) << out;
}

// The XML library's reports keep their words and go to standard error, one
// line each without the line of input they would quote, and count against
// the limit like any message.
TEST(LogInput, TheLibrarysReportsShareTheLimit)
{
    std::string doc = "<r>\n";
    for (int i = 0; i < 150; i++)
        doc += "<a:b/>\n";
    doc += "</r>\n";
    TempFile file(doc, "ns.xml");
    std::string out = capture_log([&] {
        log_input messages(file.c_path(), "");
        xml_tree_ptr parsed = xml_tree_parse_local_file(file.c_path(), "");
        EXPECT_TRUE(parsed);
        messages.finish();
        EXPECT_EQ(messages.errors(), 0u) << "the library's reports are not the caller's errors";
    });
    std::string expected;
    for (int line = 2; line < 102; line++)
        expected += file.path() + ":" + std::to_string(line) +
                    ": namespace error : Namespace prefix a on b is not defined\n";
    expected += file.path() + ": 50 more errors not shown\n";
    EXPECT_EQ(out, expected);
}

} // namespace

namespace {

// A caller that holds the reader's messages puts its own lines in their
// places among them, and the limit and the closing lines come out as if
// every line had been said in that order.
TEST(LogInput, HeldMessagesComeOutInTheirPlacesAmongTheCallersLines)
{
    const std::string out = capture_log([] {
        log_input messages("old.xml", "");
        messages.hold();
        {
            log_input reader("old.xml", ""); // joins, and holds with it
            reader.error("reader 1");
            EXPECT_EQ(reader.position(), 1u);
            reader.error("reader 2");
            log_library(LOG_LEVEL_ERROR, "library 3");
            reader.summary(LOG_LEVEL_ERROR, "old.xml: closing");
        }
        EXPECT_EQ(messages.position(), 4u);
        messages.release(1);
        EXPECT_EQ(messages.error("mine after 1"), 1);
        messages.release(3);
        messages.error("mine after 3");
        messages.finish();
        EXPECT_EQ(messages.errors(), 4u);
    });
    EXPECT_EQ(out, "reader 1\nmine after 1\nreader 2\nlibrary 3\nmine after 3\nold.xml: closing\n");
}

TEST(LogInput, HeldMessagesCountToTheLimitWhereTheyComeOut)
{
    const std::string out = capture_log([] {
        log_input messages("old.xml", "");
        messages.hold();
        for (unsigned int i = 1; i <= 150; i++)
            messages.error("reader %u", i);
        messages.release(50);
        for (unsigned int i = 1; i <= 60; i++)
            EXPECT_EQ(messages.error("mine %u", i), i <= 50 ? 1 : 0) << i;
        messages.release();
        EXPECT_EQ(messages.held(), 110u);
        messages.finish();
    });
    EXPECT_EQ(out, numbered("reader", 1, 50) + numbered("mine", 1, 50) +
                       "old.xml: 110 more errors not shown\n");
}

} // namespace
