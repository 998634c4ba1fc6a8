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
constexpr size_t kSecretMin = 8;

std::vector<std::string> secrets;

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
            FUZZ_CHECK(text.find(secret) == std::string::npos ||
                           words.find(secret) != std::string_view::npos,
                       "a message shows the password \"%s\": %s", secret.c_str(), text.c_str());
        }
    }
};

// A text that stands once in the input, and not in the path of its file:
// one that stands elsewhere too (a password that is also a host name, an
// element's name) may be shown for that.
void watch(std::string_view input, std::string_view path, std::string_view secret)
{
    if (secret.size() < kSecretMin || input.find(secret) != input.rfind(secret) ||
        path.find(secret) != std::string_view::npos)
        return;
    secrets.emplace_back(secret);
    // A long value is shown by its start: a password shown so would show
    // its first bytes.
    if (secret.size() > 2 * kSecretMin)
        watch(input, path, secret.substr(0, 2 * kSecretMin));
}

// The texts of every element `name` in the input, as written.
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
        fn(input.substr(start, end - start));
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
    for (const char *name : {"password", "sourcepassword"})
        each_text(input, name, [&](std::string_view text) { watch(input, path, text); });
    // A URL's user information, as a whole and its password alone.
    each_text(input, "url", [&](std::string_view url) {
        const size_t scheme = url.find("://");
        const size_t at = url.rfind('@');
        if (scheme == std::string_view::npos || at == std::string_view::npos || at < scheme)
            return;
        const std::string_view userinfo = url.substr(scheme + 3, at - scheme - 3);
        watch(input, path, userinfo);
        const size_t colon = userinfo.find(':');
        if (colon != std::string_view::npos)
            watch(input, path, userinfo.substr(colon + 1));
    });
}
