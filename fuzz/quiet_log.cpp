// The log of the harnesses: a sink that formats every message it is given,
// so that a bad argument still shows under the sanitizers, checks it, and
// drops it, together with the XML library's own reports. Whatever a
// program would print to standard error must be safe to print: no control
// character but a message's own line end, and no password of the input.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "support/log.h"

namespace {

// No message of the programs comes near it; a longer one means a value
// went into it uncut.
constexpr size_t kMessageMax = 64 * 1024;

// Shorter texts turn up in messages by chance (a password "error"), and
// fuzzed inputs are full of short texts.
constexpr size_t kSecretMin = 10;

std::vector<std::string> secrets;

// Where `needle` stands in `text`, for the oracle alone: byte by byte and
// without coverage, so that the fuzzer cannot learn the words of messages
// from its comparisons (as it learns from memcmp and from traced compares)
// and steer a password into them.
#if defined(__clang__)
__attribute__((no_sanitize("coverage")))
#endif
__attribute__((noinline)) size_t
occurrences(std::string_view text, std::string_view needle, size_t most)
{
    size_t found = 0;
    for (size_t at = 0; needle.size() <= text.size() && at <= text.size() - needle.size(); at++) {
        size_t i = 0;
        while (i < needle.size() && text[at + i] == needle[i])
            i++;
        if (i == needle.size() && ++found >= most)
            break;
    }
    return found;
}

class quiet_sink final : public log_sink {
  public:
    int message(int, const char *format, va_list ap) override
    {
        va_list copy;
        va_copy(copy, ap);
        const int length = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        FUZZ_CHECK(length >= 0 && static_cast<size_t>(length) <= kMessageMax,
                   "a message of %d bytes", length);
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, ap);
        text.resize(static_cast<size_t>(length));
        // Only the version-0 messages' own line end may end a line.
        check_line(text, text.ends_with('\n') ? text.size() - 1 : text.size(), format);
        return 1;
    }

    void library(int, const char *line) override
    {
        const std::string text(line);
        FUZZ_CHECK(text.size() <= kMessageMax, "a report of %zu bytes", text.size());
        check_line(text, text.size(), "");
    }

  private:
    // A control character before `end` would let a value end its line and
    // forge a message of its own, or rewrite the line on a terminal. A
    // password is never shown, unless the words of the message hold it.
    static void check_line(const std::string &text, size_t end, std::string_view words)
    {
        for (size_t i = 0; i < end; i++) {
            const auto c = static_cast<unsigned char>(text[i]);
            FUZZ_CHECK(c >= 0x20 && c != 0x7F, "a message holds the control character 0x%02x: %s",
                       c, text.c_str());
        }
        for (const std::string &secret : secrets) {
            FUZZ_CHECK(occurrences(text, secret, 1) == 0 || occurrences(words, secret, 1) != 0,
                       "a message shows the password \"%s\": %s", secret.c_str(), text.c_str());
        }
    }
};

// A text as messages show it: control characters escaped, as "\t" or
// "\x01".
std::string escaped(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (c >= 0x20 && c != 0x7F)
            out += byte;
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
    }
    return out;
}

// A text that stands once in the input, and not in the path of its file,
// both as messages would show them: one that stands elsewhere too (a
// password that is also a host name, an element's name, or that an escape
// such as "\t" spells) may be shown for that. A long one is watched by its
// start, which a message would show whole or cut alike, and which keeps
// the search short.
void watch(std::string_view shown_input, std::string_view path, std::string_view secret)
{
    const std::string shown = escaped(secret.substr(0, 2 * kSecretMin));
    if (shown.size() < kSecretMin || occurrences(shown_input, shown, 2) != 1 ||
        occurrences(path, shown, 1) != 0)
        return;
    secrets.push_back(shown);
}

// The texts of every element `name` in the input, as written, up to the
// first markup in them: what follows a '<' may be an element of its own,
// whose name a report may show.
template <typename Fn> void each_text(std::string_view input, std::string_view name, Fn fn)
{
    const std::string open = "<" + std::string(name) + ">";
    const std::string close = "</" + std::string(name) + ">";
    for (size_t at = input.find(open); at != std::string_view::npos;
         at = input.find(open, at + 1)) {
        const size_t start = at + open.size();
        const size_t end = input.find(close, start);
        if (end == std::string_view::npos)
            return;
        const std::string_view text = input.substr(start, end - start);
        fn(text.substr(0, text.find('<')));
    }
}

} // namespace

void fuzz_quiet_log()
{
    static quiet_sink sink;
    log_set_sink(&sink);
}

void fuzz_watch_secrets(const uint8_t *data, size_t size, const char *path)
{
    secrets.clear();
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::string shown_input = escaped(input);
    for (const char *name : {"password", "sourcepassword"})
        each_text(input, name, [&](std::string_view text) { watch(shown_input, path, text); });
    // A URL's user information, as a whole and its password alone: what
    // stands before its last '@' when a host and port follow it, or when
    // the host part (up to the first ':') holds an '@'. An '@' in the
    // mountpoint alone is none.
    each_text(input, "url", [&](std::string_view url) {
        const size_t scheme = url.find("://");
        const size_t at = url.rfind('@');
        if (scheme == std::string_view::npos || at == std::string_view::npos || at < scheme)
            return;
        const std::string_view authority = url.substr(scheme + 3);
        const std::string_view after = url.substr(at + 1);
        const size_t host_end = authority.find(':');
        const bool host_port_after = after.find_first_of(":/") != std::string_view::npos &&
                                     after[after.find_first_of(":/")] == ':';
        if (!host_port_after && authority.substr(0, host_end).find('@') == std::string_view::npos)
            return;
        const std::string_view userinfo = url.substr(scheme + 3, at - scheme - 3);
        watch(shown_input, path, userinfo);
        const size_t colon = userinfo.find(':');
        if (colon != std::string_view::npos)
            watch(shown_input, path, userinfo.substr(colon + 1));
    });
}
