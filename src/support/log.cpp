#include "support/log.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

namespace {

unsigned int verbosity;

struct level_info {
    int priority;
    unsigned int threshold; // least verbosity at which the level is shown
};

constexpr std::array<level_info, 6> kLevels{{
    {LOG_ALERT, 0},
    {LOG_ERR, 0},
    {LOG_WARNING, 0},
    {LOG_NOTICE, 1},
    {LOG_INFO, 2},
    {LOG_DEBUG, 3},
}};

// The program's name while messages go to standard error alone, else null.
const char *stderr_name;

struct free_deleter {
    void operator()(char *block) const { std::free(block); }
};

LOG_PRINTF(1, 0) void write_to_stderr(const char *format, va_list ap)
{
    // Messages about an input are bounded well below this; a longer one
    // gets a block of its own, from the C library directly: the checked
    // allocation reports its failure through this very function.
    char text[8192];
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    const char *body = text;
    size_t len = static_cast<size_t>(n);
    std::unique_ptr<char, free_deleter> big;
    if (len >= sizeof text) {
        big.reset(static_cast<char *>(std::malloc(len + 1)));
        if (big) {
            std::vsnprintf(big.get(), len + 1, format, ap);
            body = big.get();
        } else {
            len = sizeof text - 1; // what fits, still ended as a line
        }
    }
    // One write per message, as the system log's own copy is made, so that
    // messages of programs sharing standard error do not mix.
    char pid[32];
    const int pid_len = std::snprintf(pid, sizeof pid, "[%ld]: ", static_cast<long>(getpid()));
    const bool ends_line = len > 0 && body[len - 1] == '\n';
    iovec parts[4] = {
        {const_cast<char *>(stderr_name), std::strlen(stderr_name)},
        {pid, static_cast<size_t>(pid_len)},
        {const_cast<char *>(body), len},
        {const_cast<char *>("\n"), ends_line ? 0U : 1U},
    };
    // A message standard error refuses has nowhere else to go. (A cast to
    // void does not silence the unused-result warning of a fortified
    // build.)
    [[maybe_unused]] const ssize_t written = writev(STDERR_FILENO, parts, 4);
}

class system_sink final : public log_sink {
  public:
    int message(int level, const char *format, va_list ap) override
    {
        if (stderr_name != nullptr)
            write_to_stderr(format, ap);
        else
            vsyslog(kLevels[static_cast<size_t>(level)].priority, format, ap);
        return 1;
    }
    // The library's reports go to standard error alone, unframed, as the
    // library would print them; one write each, so that they do not mix
    // with the messages of another program.
    void library(int, const char *line) override
    {
        iovec parts[2] = {
            {const_cast<char *>(line), std::strlen(line)},
            {const_cast<char *>("\n"), 1},
        };
        std::fflush(stderr);
        [[maybe_unused]] const ssize_t written = writev(STDERR_FILENO, parts, 2);
    }
};

system_sink system_log;
log_sink *sink = &system_log;

LOG_PRINTF(2, 0) int log_v(unsigned int level, const char *format, va_list ap)
{
    if (level >= kLevels.size())
        level = kLevels.size() - 1;
    if (verbosity < kLevels[level].threshold)
        return 0;
    return sink->message(static_cast<int>(level), format, ap);
}

LOG_PRINTF(2, 3) int log_at(unsigned int level, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int passed = log_v(level, format, ap);
    va_end(ap);
    return passed;
}

} // namespace

int log_init(const char *name)
{
    stderr_name = nullptr;
    openlog(name, LOG_PID | LOG_CONS | LOG_NDELAY | LOG_PERROR, LOG_USER);
    return 0;
}

int log_init_stderr(const char *name)
{
    closelog(); // of an earlier run in the same process, if any
    stderr_name = name != nullptr ? name : "";
    return 0;
}

void log_exit(void)
{
    // A program that must not log keeps to standard error to the end: a
    // message after this one must not open the system log either.
    if (stderr_name == nullptr)
        closelog();
}

log_sink *log_set_sink(log_sink *replacement)
{
    log_sink *previous = sink;
    sink = replacement != nullptr ? replacement : &system_log;
    return previous;
}

void log_library(int level, const char *line)
{
    sink->library(level, line);
}

int log_shown(int level)
{
    // As log_vmessage reads a level code.
    size_t i = level >= 0 && static_cast<size_t>(level) < kLevels.size()
                   ? static_cast<size_t>(level)
                   : kLevels.size() - 1;
    return verbosity >= kLevels[i].threshold ? 1 : 0;
}

void log_set_verbosity(int level)
{
    verbosity = static_cast<unsigned int>(level);
}

#define LOG_ENTRY(fn, level)                                                                       \
    int fn(const char *format, ...)                                                                \
    {                                                                                              \
        va_list ap;                                                                                \
        va_start(ap, format);                                                                      \
        int passed = log_v(level, format, ap);                                                     \
        va_end(ap);                                                                                \
        return passed;                                                                             \
    }

LOG_ENTRY(log_alert, LOG_LEVEL_ALERT)
LOG_ENTRY(log_error, LOG_LEVEL_ERROR)
LOG_ENTRY(log_warning, LOG_LEVEL_WARNING)
LOG_ENTRY(log_notice, LOG_LEVEL_NOTICE)
LOG_ENTRY(log_info, LOG_LEVEL_INFO)
LOG_ENTRY(log_debug, LOG_LEVEL_DEBUG)

int log_vmessage(int level, const char *format, va_list ap)
{
    return log_v(level < 0 ? unsigned{LOG_LEVEL_DEBUG} : static_cast<unsigned int>(level), format,
                 ap);
}

int log_errno(int level, int errnum, const char *prefix)
{
    if (errnum == 0)
        return 0;
    char description[1024];
    std::snprintf(description, sizeof(description), "%s", std::strerror(errnum));
    return log_at(level < 0 ? unsigned{LOG_LEVEL_DEBUG} : static_cast<unsigned int>(level), "%s%s%s",
                  prefix != nullptr ? prefix : "", prefix != nullptr ? ": " : "", description);
}
