#include "support/util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "support/alloc.h"
#include "support/log.h"

constexpr const char kAllocModule[] = "util_test";

namespace {

struct XFreeDeleter {
    void operator()(char *text) const { xfree(text, kAllocModule); }
};

// Takes ownership of a returned text so that every path releases it.
std::optional<std::string> take(char *text)
{
    std::unique_ptr<char, XFreeDeleter> owned(text);
    if (!owned)
        return std::nullopt;
    return std::string(owned.get());
}

std::string convert(const char *text, const char *from, const char *to)
{
    return take(util_convert_charset(text, from, to)).value();
}

TEST(UtilConvertCharset, NullAndEmptyTextGiveAnEmptyText)
{
    EXPECT_EQ(convert(nullptr, "UTF-8", "ISO-8859-1"), "");
    EXPECT_EQ(convert("", "UTF-8", "ISO-8859-1"), "");
}

TEST(UtilConvertCharset, Latin1RoundTrip)
{
    EXPECT_EQ(convert("caf\xe9 \xdf", "ISO-8859-1", "UTF-8"), "caf\xc3\xa9 \xc3\x9f");
    EXPECT_EQ(convert("caf\xc3\xa9 \xc3\x9f", "UTF-8", "ISO-8859-1"), "caf\xe9 \xdf");
}

TEST(UtilConvertCharset, EachByteThatDoesNotConvertBecomesAQuestionMark)
{
    struct Case {
        const char *input;
        const char *expected;
    };
    const Case cases[] = {
        {"a\xff\xfe"
         "b",
         "a??b"},
        // Cut off inside a sequence at the very end.
        {"ab\xc3", "ab?"},
        // Valid in the source but not representable in the target.
        {"x\xe2\x82\xac"
         "y",
         "x???y"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(convert(c.input, "UTF-8", "ISO-8859-1"), c.expected) << c.input;
}

TEST(UtilConvertCharset, TextLongerThanOneChunk)
{
    // The first 1023 output bytes fill a chunk exactly; the bad byte comes
    // right after it.
    std::string input(1022, 'a');
    std::string expected(1022, 'a');
    input += "\xc3\xa9\xff";
    expected += "\xe9?";
    for (int i = 0; i < 2000; ++i) {
        input += "\xc3\xa9";
        expected += '\xe9';
    }
    EXPECT_EQ(convert(input.c_str(), "UTF-8", "ISO-8859-1"), expected);

    std::string latin1(3000, '\xe9');
    std::string utf8;
    for (int i = 0; i < 3000; ++i)
        utf8 += "\xc3\xa9";
    EXPECT_EQ(convert(latin1.c_str(), "ISO-8859-1", "UTF-8"), utf8);
}

TEST(UtilConvertCharset, ConverterThatDropsWhatItCannotConvert)
{
    // Such a converter skips the bad bytes itself and still reports a
    // failure, possibly with no input left; what it dropped stays dropped.
    EXPECT_EQ(convert("a\xff"
                      "b",
                      "UTF-8", "ASCII//IGNORE"),
              "ab");
    EXPECT_EQ(convert("ab\xff", "UTF-8", "ASCII//IGNORE"), "ab");
    EXPECT_EQ(convert("\xff", "UTF-8", "ASCII//IGNORE"), "");

    std::string input;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        input += i % 700 == 0 ? "\xff" : "\xc3\xa9";
        if (i % 700 != 0)
            expected += '\xe9';
    }
    EXPECT_EQ(convert(input.c_str(), "UTF-8", "ISO-8859-1//IGNORE"), expected);
}

TEST(UtilConvertCharset, StatefulTargetEndsInItsInitialState)
{
    EXPECT_EQ(convert("\xe6\x97\xa5", "UTF-8", "ISO-2022-JP"), "\x1b$BF|\x1b(B");
}

TEST(UtilConvertCharset, UnknownConverterNamesGiveTheInputBack)
{
    log_init("util_test");
    testing::internal::CaptureStderr();
    std::string result = convert("abc\xff", "no-such-charset-a", "no-such-charset-b");
    std::string err = testing::internal::GetCapturedStderr();
    log_exit();

    EXPECT_EQ(result, "abc\xff");
    size_t first = err.find("iconv_open: ");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("iconv_open", first + 1), std::string::npos) << err;
}

class LocaleConversion : public testing::Test {
  protected:
    void SetUp() override
    {
        if (const char *old = std::getenv("LC_ALL"))
            saved_ = old;
    }
    void TearDown() override
    {
        if (saved_)
            setenv("LC_ALL", saved_->c_str(), 1);
        else
            unsetenv("LC_ALL");
        std::setlocale(LC_CTYPE, "C");
    }

    static std::string ctype_locale() { return std::setlocale(LC_CTYPE, nullptr); }

  private:
    std::optional<std::string> saved_;
};

TEST_F(LocaleConversion, AsciiLocaleMarksWhatItCannotHold)
{
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(take(util_locale_to_utf8("caf\xe9")).value(), "caf?");
    EXPECT_EQ(take(util_utf8_to_locale("caf\xc3\xa9")).value(), "caf??");
    EXPECT_EQ(ctype_locale(), "C");
}

TEST_F(LocaleConversion, Utf8LocaleKeepsTheTextAndLeavesTheCategoryAtC)
{
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        GTEST_SKIP() << "no C.UTF-8 locale";
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(take(util_utf8_to_locale("caf\xc3\xa9")).value(), "caf\xc3\xa9");
    EXPECT_EQ(ctype_locale(), "C");
    std::setlocale(LC_CTYPE, "C.UTF-8");
    EXPECT_EQ(take(util_locale_to_utf8("caf\xc3\xa9")).value(), "caf\xc3\xa9");
    EXPECT_EQ(ctype_locale(), "C");
}

class PidFile : public testing::Test {
  protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "util_pid_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        for (const char *name : {"a.pid", "b.pid"})
            unlink(path(name).c_str());
        rmdir(dir_.c_str());
    }

    std::string path(const char *name) const { return dir_ + "/" + name; }

    static bool exists(const std::string &file)
    {
        struct stat st;
        return stat(file.c_str(), &st) == 0;
    }

    static std::string read_file(const std::string &file)
    {
        std::string content;
        if (FILE *f = std::fopen(file.c_str(), "r")) {
            char buf[256];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
                content.append(buf, n);
            std::fclose(f);
        }
        return content;
    }

    // Whether some other open file description can take the lock now.
    static bool lockable(const std::string &file)
    {
        int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool taken = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return taken;
    }

    static std::string own_pid_line() { return std::to_string(getpid()) + "\n"; }

    // Runs body in a forked child that ends through exit(), so exit handlers
    // run there; returns its exit status (or -1 when it did not exit).
    static int in_child(const std::function<int()> &body)
    {
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0)
            std::exit(body());
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    std::string dir_;
};

TEST_F(PidFile, HoldsTheLockAndOnlyTheWriterRemovesItAtExit)
{
    const std::string a = path("a.pid");
    int status = in_child([&] {
        if (util_create_pid_file(a.c_str()) != 0)
            return 10;
        if (read_file(a) != own_pid_line())
            return 11;
        // Another process, which inherited the state and the exit handler,
        // can neither take the lock nor remove the file when it exits.
        if (in_child([&] { return lockable(a) ? 1 : 0; }) != 0)
            return 12;
        if (!exists(a) || read_file(a) != own_pid_line())
            return 13;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(exists(a));
}

TEST_F(PidFile, SecondCallAndSwitchingToAnotherPath)
{
    const std::string a = path("a.pid");
    const std::string b = path("b.pid");
    int status = in_child([&] {
        if (util_create_pid_file(a.c_str()) != 0 || util_create_pid_file(a.c_str()) != 0)
            return 10;
        if (read_file(a) != own_pid_line() || lockable(a))
            return 11;
        if (util_create_pid_file(b.c_str()) != 0)
            return 12;
        // The earlier file stays, no longer locked.
        if (read_file(a) != own_pid_line() || !lockable(a) || lockable(b))
            return 13;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(exists(a));
    EXPECT_FALSE(exists(b));
}

TEST_F(PidFile, Failures)
{
    EXPECT_EQ(util_create_pid_file(nullptr), 0);

    errno = 0;
    EXPECT_EQ(util_create_pid_file(path("missing/a.pid").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);

    // A file locked by a running process keeps its content and stays.
    const std::string a = path("a.pid");
    int fd = open(a.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345\n", 6), 6);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    errno = 0;
    EXPECT_EQ(util_create_pid_file(a.c_str()), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(read_file(a), "12345\n");
    close(fd);
}

TEST(UtilEndsWith, Table)
{
    struct Case {
        const char *text;
        const char *suffix;
        int exact;
        int nocase;
    };
    const Case cases[] = {
        {"track.ogg", ".ogg", 0, 0},
        {"track.ogg", "track.ogg", 0, 0},
        {"track.OGG", ".ogg", 1, 0},
        {"track.ogg", ".OGG", 1, 0},
        {"ogg", ".ogg", 1, 1},
        {"track.ogg", ".mp3", 1, 1},
        {"track.ogg", "", 0, 0},
        {"", "", 0, 0},
        // Bytes with the high bit set are not folded.
        {"caf\xc9", "\xe9", 1, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(util_ends_with(c.text, c.suffix), c.exact) << c.text << " / " << c.suffix;
        EXPECT_EQ(util_ends_with_nocase(c.text, c.suffix), c.nocase) << c.text << " / " << c.suffix;
    }
}

TEST(UtilReplaceTokens, Table)
{
    const util_token_pair track[] = {{"@T@", "x.ogg"}, {nullptr, nullptr}};
    const util_token_pair long_first[] = {{"@T@", "1"}, {"@T", "2"}, {nullptr, nullptr}};
    const util_token_pair short_first[] = {{"@T", "2"}, {"@T@", "1"}, {nullptr, nullptr}};
    const util_token_pair grow[] = {{"a", "aa"}, {nullptr, nullptr}};
    const util_token_pair shrink[] = {{"ab", "b"}, {nullptr, nullptr}};
    const util_token_pair drop[] = {{"@M@", ""}, {nullptr, nullptr}};
    const util_token_pair empty_from[] = {{"", "-"}, {nullptr, nullptr}};

    struct Case {
        const char *text;
        const util_token_pair *pairs;
        const char *expected; // null: no text
    };
    const Case cases[] = {
        {"play @T@ then @T@", track, "play x.ogg then x.ogg"},
        {"no tokens here", track, "no tokens here"},
        {"@t@ @T@", track, "@t@ x.ogg"},
        {"@T@", nullptr, "@T@"},
        {"", track, nullptr},
        // The later of two overlapping occurrences is seen first.
        {"@T@T@", track, "@Tx.ogg"},
        // At one position the first matching pair of the table wins.
        {"@T@", long_first, "1"},
        {"@T@", short_first, "2@"},
        // Inserted text is not visited again from its own start...
        {"aba", grow, "aabaa"},
        // ...but a token beginning in front of it can reach into it.
        {"aab", shrink, "b"},
        {"a@M@b", drop, "ab"},
        {"ab", empty_from, "-a-b"},
    };
    for (const Case &c : cases) {
        std::optional<std::string> got = take(util_replace_tokens(c.text, c.pairs));
        if (c.expected == nullptr)
            EXPECT_FALSE(got.has_value()) << c.text;
        else
            EXPECT_EQ(got, std::optional<std::string>(c.expected)) << c.text;
    }
}

// Token replacement as plainly as it can be done: visit the positions from
// the last to the first and splice the first matching pair's `to` into the
// whole text.
std::string replace_by_splicing(std::string text, const util_token_pair *pairs)
{
    for (size_t pos = text.size(); pos-- > 0;) {
        for (const util_token_pair *pair = pairs; pair->from != nullptr; ++pair) {
            if (text.compare(pos, std::strlen(pair->from), pair->from) == 0) {
                text.replace(pos, std::strlen(pair->from), pair->to != nullptr ? pair->to : "");
                break;
            }
        }
    }
    return text;
}

TEST(UtilReplaceTokens, SameAsSplicingForEveryShortText)
{
    // Tables whose tokens overlap each other, reach into what was put in,
    // grow, shrink, vanish or are empty.
    const util_token_pair tables[][4] = {
        {{"a", "aa"}, {nullptr, nullptr}},
        {{"ab", "b"}, {"b", nullptr}, {nullptr, nullptr}},
        {{"@a@", "b"}, {"@a", "@@"}, {"@", "a@"}, {nullptr, nullptr}},
        {{"aa", "a"}, {"ba", "ab"}, {nullptr, nullptr}},
        {{"b", "ab"}, {"", "@"}, {nullptr, nullptr}},
        {{"@b", "a@"}, {"a@a", ""}, {nullptr, nullptr}},
    };
    // Every text of one to six bytes made of 'a', 'b' and '@'.
    std::vector<std::string> texts = {""};
    for (size_t i = 0; texts[i].size() < 6; ++i)
        for (char byte : {'a', 'b', '@'})
            texts.push_back(texts[i] + byte);
    texts.erase(texts.begin());

    for (const auto &table : tables) {
        for (const std::string &text : texts) {
            std::optional<std::string> got = take(util_replace_tokens(text.c_str(), table));
            ASSERT_EQ(got, std::optional<std::string>(replace_by_splicing(text, table)))
                << text << " with " << table[0].from << " -> " << table[0].to;
        }
    }
}

// CPU time of the calling thread, which other processes on the machine do
// not inflate.
double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST(UtilReplaceTokens, TimeGrowsInLineWithTheText)
{
    // Splicing every replacement into a copy of the whole text took more
    // than a minute of processor time for a megabyte holding 100,000 tokens;
    // linear work takes milliseconds, and a fraction of a second under the
    // sanitizers.
    const util_token_pair track[] = {{"@T@", "x.ogg"}, {nullptr, nullptr}};
    const util_token_pair shrink[] = {{"ab", "b"}, {nullptr, nullptr}};
    constexpr size_t kTokens = 100000;
    std::string tokens;
    std::string replaced;
    for (size_t i = 0; i < kTokens; ++i) {
        tokens += "play @T@ \n";
        replaced += "play x.ogg \n";
    }
    // Each replacement is matched again, one byte further in front.
    const std::string chain = std::string(kTokens, 'a') + "b";

    double start = thread_seconds();
    std::optional<std::string> got_tokens = take(util_replace_tokens(tokens.c_str(), track));
    std::optional<std::string> got_chain = take(util_replace_tokens(chain.c_str(), shrink));
    double elapsed = thread_seconds() - start;

    EXPECT_EQ(got_tokens, std::optional<std::string>(replaced));
    EXPECT_EQ(got_chain, std::optional<std::string>("b"));
    EXPECT_LT(elapsed, 2.0);
}

// The words /bin/sh makes of `word`, joined as "COUNT:FIRST".
std::string shell_reads(const std::string &word)
{
    std::string command = "set -- " + word + "; printf '%s:%s' \"$#\" \"$1\"";
    FILE *sh = popen(command.c_str(), "r");
    if (sh == nullptr)
        return "<popen failed>";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), sh)) > 0)
        out.append(buf, n);
    pclose(sh);
    return out;
}

TEST(UtilQuoteForShell, Table)
{
    const std::string specials = "$HOME `id` \"x\" \\ * ? [a] ~ #;|&<>\n\ttab";
    const std::string many(10000, 'a');
    const std::string quote_at_end = std::string(8187, 'b') + "'c";

    struct Case {
        std::string text;
        size_t maxlen;
        std::string expected;
        std::string reads_as; // the word the shell sees
    };
    const Case cases[] = {
        {"it's", 100, "'it'\\''s'", "it's"},
        {"", 100, "''", ""},
        {"abcdef", 5, "'abc'", "abc"},
        {"abc", 2, "''", ""},
        {"abc", 3, "'a'", "a"},
        // A quote is written whole or not at all.
        {"'", 5, "''", ""},
        {"'", 6, "''\\'''", "'"},
        {"a'b", 6, "'a'", "a"},
        {"a'b", 8, "'a'\\''b'", "a'b"},
        {"''", 100, "''\\'''\\'''", "''"},
        {specials, 100, "'" + specials + "'", specials},
        // Never longer than 8191 bytes, whatever the maximum.
        {many, SIZE_MAX, "'" + many.substr(0, 8189) + "'", many.substr(0, 8189)},
        {many, 8192, "'" + many.substr(0, 8189) + "'", many.substr(0, 8189)},
        {quote_at_end, SIZE_MAX, "'" + quote_at_end.substr(0, 8187) + "'",
         quote_at_end.substr(0, 8187)},
    };
    for (const Case &c : cases) {
        std::string got = take(util_quote_for_shell(c.text.c_str(), c.maxlen)).value();
        SCOPED_TRACE(c.text.substr(0, 40) + " max " + std::to_string(c.maxlen));
        EXPECT_EQ(got, c.expected);
        EXPECT_LE(got.size(), c.maxlen);
        EXPECT_EQ(shell_reads(got), "1:" + c.reads_as);
    }
}

TEST(UtilQuoteForShell, MaximumTooSmallForTheQuotesGivesAnEmptyText)
{
    for (size_t maxlen : {size_t{0}, size_t{1}})
        EXPECT_EQ(take(util_quote_for_shell("abc", maxlen)), std::optional<std::string>(""));
}

} // namespace
