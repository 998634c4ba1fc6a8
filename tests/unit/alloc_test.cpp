#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "support/alloc.h"
#include "support/log.h"
#include "test_support.h"

// Sizes that no allocator can satisfy must come back as null, also in the
// sanitizer build, so that the failure path is the real one.
extern "C" __attribute__((used)) const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

bool fail_strdup;

} // namespace

// Interposed for this executable, so that a copy can be made to fail on
// demand; otherwise it behaves as the platform's.
extern "C" char *strdup(const char *text) noexcept
{
    if (fail_strdup)
        return nullptr;
    std::size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, text, size);
    return copy;
}

namespace {

TEST(Alloc, SucceedingCalls)
{
    xfree(nullptr, "alloc_test", __LINE__);

    char *empty = xstrdup("", "alloc_test", __LINE__);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], '\0');
    xfree(empty, "alloc_test", __LINE__);

    auto *zeroed = static_cast<unsigned char *>(xcalloc(3, 4, "alloc_test", __LINE__));
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(zeroed[i], 0);
    zeroed[11] = 7;
    zeroed = static_cast<unsigned char *>(xreallocarray(zeroed, 100, 4, "alloc_test", __LINE__));
    EXPECT_EQ(zeroed[11], 7);
    xfree(zeroed, "alloc_test", __LINE__);
}

// Matches standard error whose lines, without the system log's framing,
// are exactly `expected`. The sanitizer build adds a warning of its own
// ("==PID==WARNING: ... failed to allocate") when an allocation returns
// null; such lines are not the program's and are skipped.
class UnframedStderr : public testing::MatcherInterface<const std::string &>
{
  public:
    explicit UnframedStderr(std::string expected) : expected_(std::move(expected)) {}

    bool MatchAndExplain(const std::string &captured,
                         testing::MatchResultListener *listener) const override
    {
        const std::string unframed = test_support::strip_framing(without_sanitizer_lines(captured));
        *listener << "unframed as \"" << unframed << "\"";
        return unframed == expected_;
    }

    void DescribeTo(std::ostream *os) const override
    {
        *os << "reads, unframed, \"" << expected_ << "\"";
    }

  private:
    static bool is_sanitizer_line(const std::string &line)
    {
        std::size_t i = 2;
        while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
            i++;
        return line.rfind("==", 0) == 0 && i > 2 && line.compare(i, 2, "==") == 0;
    }

    static std::string without_sanitizer_lines(const std::string &captured)
    {
        std::string out;
        std::size_t start = 0;
        while (start < captured.size()) {
            std::size_t end = captured.find('\n', start);
            end = end == std::string::npos ? captured.size() : end + 1;
            const std::string line = captured.substr(start, end - start);
            if (!is_sanitizer_line(line))
                out += line;
            start = end;
        }
        return out;
    }

    std::string expected_;
};

testing::Matcher<const std::string &> unframed_stderr(const std::string &expected)
{
    return testing::MakeMatcher(new UnframedStderr(expected));
}

// The process must leave through exit(), so the handlers registered with
// atexit still run after the alert.
void prepare_to_fail()
{
    log_init("onyx-test");
    std::atexit([] { std::fputs("exit handlers ran\n", stderr); });
}

constexpr std::size_t kHuge = SIZE_MAX / 4 + 1; // times 8 overflows

TEST(AllocDeathTest, ExhaustionLogsOneAlertAndExitsWithStatus1)
{
    EXPECT_EXIT(
        {
            prepare_to_fail();
            xmalloc(SIZE_MAX, "cfg_test", 12);
        },
        testing::ExitedWithCode(1),
        unframed_stderr("cfg_test[12]: cannot allocate 18446744073709551615 bytes\n"
                        "exit handlers ran\n"));

    // Count and size are reported apart, never as their product.
    EXPECT_EXIT(
        {
            prepare_to_fail();
            xcalloc(kHuge, 8, "cfg_server", 34);
        },
        testing::ExitedWithCode(1),
        unframed_stderr("cfg_server[34]: cannot allocate 4611686018427387904 * 8 bytes\n"
                        "exit handlers ran\n"));

    EXPECT_EXIT(
        {
            prepare_to_fail();
            void *block = xmalloc(16, "cfg", 1);
            block = xreallocarray(block, 8, kHuge, "cfg_stream", 56);
            xfree(block, "cfg", 2);
        },
        testing::ExitedWithCode(1),
        unframed_stderr("cfg_stream[56]: cannot allocate 8 * 4611686018427387904 bytes\n"
                        "exit handlers ran\n"));

    // The size of a failed copy includes the terminating NUL.
    EXPECT_EXIT(
        {
            prepare_to_fail();
            fail_strdup = true;
            xstrdup("0123456789", "cfg_decoder", 136);
        },
        testing::ExitedWithCode(1),
        unframed_stderr("cfg_decoder[136]: cannot allocate 11 bytes\nexit handlers ran\n"));
}

} // namespace
