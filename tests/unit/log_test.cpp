#include "support/log.h"

#include <cerrno>
#include <string>
#include <unistd.h>

#include "test_support.h"

namespace {

using test_support::capture_log;

struct Levels {
    int alert, error, warning, notice, info, debug;
};

// Returns what each entry point answered at `verbosity`, with the output.
std::string emit_all(int verbosity, Levels &passed)
{
    return capture_log(
        [&] {
            passed.alert = log_alert("alert %d", 0);
            passed.error = log_error("error %d", 1);
            passed.warning = log_warning("warning %d", 2);
            passed.notice = log_notice("notice %d", 3);
            passed.info = log_info("info %d", 4);
            passed.debug = log_debug("debug %d", 5);
        },
        verbosity);
}

TEST(Log, VerbosityLetsTheLowerLevelsThroughOneByOne)
{
    struct Case {
        int verbosity;
        Levels expected;
        const char *output;
    };
    const Case cases[] = {
        {0, {1, 1, 1, 0, 0, 0}, "alert 0\nerror 1\nwarning 2\n"},
        {1, {1, 1, 1, 1, 0, 0}, "alert 0\nerror 1\nwarning 2\nnotice 3\n"},
        {2, {1, 1, 1, 1, 1, 0}, "alert 0\nerror 1\nwarning 2\nnotice 3\ninfo 4\n"},
        {3, {1, 1, 1, 1, 1, 1}, "alert 0\nerror 1\nwarning 2\nnotice 3\ninfo 4\ndebug 5\n"},
        // compared unsigned: a negative verbosity is a very large one
        {-1, {1, 1, 1, 1, 1, 1}, "alert 0\nerror 1\nwarning 2\nnotice 3\ninfo 4\ndebug 5\n"},
    };
    for (const Case &c : cases) {
        Levels passed{};
        std::string out = emit_all(c.verbosity, passed);
        EXPECT_EQ(out, c.output) << "verbosity " << c.verbosity;
        EXPECT_EQ(passed.alert, c.expected.alert);
        EXPECT_EQ(passed.error, c.expected.error);
        EXPECT_EQ(passed.warning, c.expected.warning);
        EXPECT_EQ(passed.notice, c.expected.notice) << "verbosity " << c.verbosity;
        EXPECT_EQ(passed.info, c.expected.info) << "verbosity " << c.verbosity;
        EXPECT_EQ(passed.debug, c.expected.debug) << "verbosity " << c.verbosity;
    }
}

TEST(Log, MessagesKeepTheirOwnNewlineAndGetNoneAdded)
{
    std::string out = capture_log([] {
        log_error("with newline\n");
        log_error("without");
    });
    EXPECT_EQ(out, "with newline\nwithout\n");
}

TEST(Log, ErrnoReportsTheSystemTextWithItsPrefix)
{
    int results[5] = {};
    std::string out = capture_log([&] {
        results[0] = log_errno(LOG_LEVEL_ERROR, 0, "nothing");
        results[1] = log_errno(LOG_LEVEL_ERROR, EINVAL, "iconv_open");
        results[2] = log_errno(LOG_LEVEL_WARNING, ENOENT, nullptr);
        results[3] = log_errno(LOG_LEVEL_ERROR, EINVAL, "100% %s %n sure");
        results[4] = log_errno(LOG_LEVEL_NOTICE, EINVAL, "hidden");
    });
    EXPECT_EQ(out, "iconv_open: Invalid argument\n"
                   "No such file or directory\n"
                   "100% %s %n sure: Invalid argument\n");
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 1);
    EXPECT_EQ(results[2], 1);
    EXPECT_EQ(results[3], 1);
    EXPECT_EQ(results[4], 0) << "notice level is suppressed at verbosity 0";
}

TEST(Log, LevelCodesAboveDebugCountAsDebug)
{
    int shown = -1, hidden = -1;
    std::string out = capture_log([&] { shown = log_errno(9, EINVAL, "nine"); }, 3);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(out, "nine: Invalid argument\n");
    out = capture_log([&] { hidden = log_errno(9, EINVAL, "nine"); }, 2);
    EXPECT_EQ(hidden, 0);
    EXPECT_EQ(out, "");
}

// A program that logs to standard error alone must print there exactly what
// the system log's copy shows, framing included: the golden cases and any
// script reading the messages take both alike.
TEST(Log, StandardErrorAloneFramesEachMessageAsTheSystemLogsCopy)
{
    const std::string long_text(10000, 'x'); // more than one stack buffer
    const auto emit = [&] {
        log_error("plain");
        log_warning("own newline\n");
        log_error("%s", "");
        log_notice("%d%% %s", 100, "sure");
        log_error("%s", long_text.c_str());
        log_errno(LOG_LEVEL_ERROR, ENOENT, "open");
    };
    const auto raw = [&](bool to_stderr_alone) {
        if (to_stderr_alone)
            log_init_stderr("onyx-test");
        else
            log_init("onyx-test");
        log_set_verbosity(1);
        testing::internal::CaptureStderr();
        emit();
        std::fflush(stderr);
        std::string out = testing::internal::GetCapturedStderr();
        log_set_verbosity(0);
        log_exit();
        return out;
    };
    const std::string system_copy = raw(false);
    const std::string alone = raw(true);
    EXPECT_EQ(alone, system_copy);
    const std::string framing = "onyx-test[" + std::to_string(getpid()) + "]: ";
    EXPECT_TRUE(alone.starts_with(framing + "plain\n" + framing + "own newline\n" + framing + "\n" +
                                  framing + "100% sure\n"))
        << alone.substr(0, 200);
    EXPECT_NE(alone.find(framing + long_text + "\n"), std::string::npos);
}

} // namespace
