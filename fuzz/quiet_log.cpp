// The log of the harnesses: a sink that formats every message it is given,
// so that a bad argument still shows under the sanitizers, checks it, and
// drops it, together with the XML library's own diagnostics.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "support/log.h"

namespace {

// No message of the programs comes near it; a longer one means a value
// went into it uncut.
constexpr size_t kMessageMax = 64 * 1024;

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
        check_line(text, text.ends_with('\n') ? text.size() - 1 : text.size());
        return 1;
    }

    void library(int, const char *line) override
    {
        const std::string text(line);
        FUZZ_CHECK(text.size() <= kMessageMax, "a report of %zu bytes", text.size());
        check_line(text, text.size());
    }

  private:
    // A control character before `end` would let a value end its line and
    // forge a message of its own, or rewrite the line on a terminal.
    static void check_line(const std::string &text, size_t end)
    {
        for (size_t i = 0; i < end; i++) {
            const auto c = static_cast<unsigned char>(text[i]);
            FUZZ_CHECK(c >= 0x20 && c != 0x7F, "a message holds the control character 0x%02x: %s",
                       c, text.c_str());
        }
    }
};

} // namespace

void fuzz_quiet_log()
{
    static quiet_sink sink;
    log_set_sink(&sink);
}
