// Diagnostics: every message goes to the system log and, through
// LOG_PERROR, to standard error; or, for a program whose messages are for
// the person running it alone, to standard error only. The text is passed
// on as the caller wrote it; the log adds no prefix and no newline of its
// own.
#pragma once

#include <cstdarg>

#define LOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

enum {
    LOG_LEVEL_ALERT = 0,
    LOG_LEVEL_ERROR = 1,
    LOG_LEVEL_WARNING = 2,
    LOG_LEVEL_NOTICE = 3,
    LOG_LEVEL_INFO = 4,
    LOG_LEVEL_DEBUG = 5,
};

// The platform keeps `name` by reference: it must outlive log_exit().
int log_init(const char *name);
// In place of log_init, for a program that must not log: every message
// goes to standard error alone, framed as the system log frames its copy
// there ("NAME[PID]: text", with a newline unless the text ends in one),
// and nothing reaches the system log or the console. `name` must outlive
// every message; log_exit() leaves the log on standard error.
int log_init_stderr(const char *name);
void log_exit(void);
// Thresholds: notice at 1, info at 2, debug at 3. Compared unsigned, so a
// negative level lets everything through.
void log_set_verbosity(int level);
// 1 when messages of `level` (LOG_LEVEL_*) pass at the current verbosity:
// for a caller whose message is costly to put together.
int log_shown(int level);

int log_alert(const char *format, ...) LOG_PRINTF(1, 2);
int log_error(const char *format, ...) LOG_PRINTF(1, 2);
int log_warning(const char *format, ...) LOG_PRINTF(1, 2);
int log_notice(const char *format, ...) LOG_PRINTF(1, 2);
int log_info(const char *format, ...) LOG_PRINTF(1, 2);
int log_debug(const char *format, ...) LOG_PRINTF(1, 2);

// The entry points above for wrappers of the log: the level as a code
// (LOG_LEVEL_*; a negative code or one above debug counts as debug) and the
// arguments as a list.
int log_vmessage(int level, const char *format, va_list ap) LOG_PRINTF(2, 0);

// Logs "prefix: strerror(errnum)" (or the description alone for a null
// prefix) at the given level code; nothing for errnum 0.
int log_errno(int level, int errnum, const char *prefix);

// Where messages go once they passed the verbosity. Without a sink of its
// own the process logs where log_init or log_init_stderr said, and the XML
// library's diagnostics go to standard error alone.
// A sink is installed for a while (a read of one input) or for good (a
// test harness that wants quiet), and usually passes what it keeps on to
// the sink it replaced.
class log_sink {
  public:
    virtual ~log_sink() = default;
    // A message of `level` (LOG_LEVEL_*, within range); 1 when it was
    // passed on, 0 when it was held back.
    virtual int message(int level, const char *format, va_list ap) LOG_PRINTF(3, 0) = 0;
    // One report of the XML library at `level`, whole and made safe to
    // show already: one line, without its line end.
    virtual void library(int level, const char *line) = 0;
};

// Installs `sink` (null: the log that was opened) and returns the one it
// replaces.
log_sink *log_set_sink(log_sink *sink);
// Hands a report of the XML library to the current sink.
void log_library(int level, const char *line);
