#include "support/log_input.h"

namespace {

LOG_PRINTF(2, 3) void log_at(int level, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    log_vmessage(level, format, ap);
    va_end(ap);
}

// What the closing line calls the messages it stands for: errors once any
// of them was one.
const char *noun(int level, unsigned int count)
{
    if (level == LOG_LEVEL_WARNING)
        return count == 1 ? "warning" : "warnings";
    if (level > LOG_LEVEL_WARNING)
        return count == 1 ? "notice" : "notices";
    return count == 1 ? "error" : "errors";
}

} // namespace

int log_input::message(int level, const char *format, va_list ap)
{
    if (!log_shown(level))
        return 0;
    if (shown_ >= kShown) {
        // Not even formatted: holding a message back costs next to nothing.
        held_++;
        if (level < held_level_)
            held_level_ = level;
        return 0;
    }
    int passed = log_vmessage(level, format, ap);
    shown_ += static_cast<unsigned int>(passed);
    return passed;
}

#define LOG_INPUT_ENTRY(fn, level)                                                                 \
    int log_input::fn(const char *format, ...)                                                     \
    {                                                                                              \
        va_list ap;                                                                                \
        va_start(ap, format);                                                                      \
        int passed = message(level, format, ap);                                                   \
        va_end(ap);                                                                                \
        return passed;                                                                             \
    }

LOG_INPUT_ENTRY(error, LOG_LEVEL_ERROR)
LOG_INPUT_ENTRY(warning, LOG_LEVEL_WARNING)
LOG_INPUT_ENTRY(notice, LOG_LEVEL_NOTICE)

void log_input::finish()
{
    if (held_ == 0)
        return;
    log_at(held_level_, "%s: %u more %s not shown%s", path_, held_, noun(held_level_, held_),
           line_end_);
}
