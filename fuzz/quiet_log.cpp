// The log for the harnesses: it formats every message, so that a bad
// argument still shows under the sanitizers, and then drops it. It defines
// every function of support/log.h, so the linker never takes the real
// module from the library; a function added there and missing here shows
// up as a duplicate definition at link time.
#include "support/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

unsigned int verbosity;

constexpr unsigned int kThresholds[] = {0, 0, 0, 1, 2, 3}; // by level code

// Formats whatever the verbosity, so that suppressed messages are checked
// as well.
LOG_PRINTF(2, 0) int drop(unsigned int threshold, const char *format, va_list ap)
{
    char buffer[256];
    std::vsnprintf(buffer, sizeof buffer, format, ap);
    return verbosity >= threshold ? 1 : 0;
}

} // namespace

int log_init(const char *)
{
    return 0;
}

void log_exit(void) {}

void log_set_verbosity(int level)
{
    verbosity = static_cast<unsigned int>(level);
}

#define QUIET_ENTRY(fn, threshold)                                                                 \
    int fn(const char *format, ...)                                                                \
    {                                                                                              \
        va_list ap;                                                                                \
        va_start(ap, format);                                                                      \
        int passed = drop(threshold, format, ap);                                                  \
        va_end(ap);                                                                                \
        return passed;                                                                             \
    }

QUIET_ENTRY(log_alert, 0)
QUIET_ENTRY(log_error, 0)
QUIET_ENTRY(log_warning, 0)
QUIET_ENTRY(log_notice, 1)
QUIET_ENTRY(log_info, 2)
QUIET_ENTRY(log_debug, 3)

int log_vmessage(int level, const char *format, va_list ap)
{
    const unsigned int threshold = level < 0 || level > 5 ? kThresholds[5] : kThresholds[level];
    return drop(threshold, format, ap);
}

int log_errno(int level, int errnum, const char *prefix)
{
    if (errnum == 0)
        return 0;
    const unsigned int threshold = level < 0 || level > 5 ? kThresholds[5] : kThresholds[level];
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%s%s%s", prefix != nullptr ? prefix : "",
                  prefix != nullptr ? ": " : "", std::strerror(errnum));
    return verbosity >= threshold ? 1 : 0;
}
