// Messages about one input file, bounded as compilers bound their errors.
// A hostile file can hold a million problems, and every message is a line
// in the system log and, where no daemon listens, a slow write to the
// console (milliseconds a line). The first kShown messages about a file are
// passed on; later ones are only counted, and finish() says in one line how
// many were not shown. Callers keep their own totals, which therefore stay
// exact whatever the limit hid.
//
// One object serves one read of one file: a program that reads many files
// gives each its own, and so its own limit.
#pragma once

#include <cstdarg>

#include "support/log.h"

class log_input {
  public:
    // No real configuration comes near it.
    static constexpr unsigned int kShown = 100;

    // `path` opens the closing line and must outlive the object; `line_end`
    // ends it as the caller's other messages end ("\n" or "").
    log_input(const char *path, const char *line_end) : path_(path), line_end_(line_end) {}
    log_input(const log_input &) = delete;
    log_input &operator=(const log_input &) = delete;

    const char *path() const { return path_; }

    // As log_error and log_warning until kShown messages about the file
    // were shown; after that the message is only counted, and 0 returned.
    int error(const char *format, ...) LOG_PRINTF(2, 3);
    int warning(const char *format, ...) LOG_PRINTF(2, 3);
    // As log_notice, within the same limit; a notice the verbosity hides
    // is neither shown nor counted.
    int notice(const char *format, ...) LOG_PRINTF(2, 3);

    // Messages counted but not shown so far.
    unsigned int held() const { return held_; }

    // Once, at the end of the read and before any total: when messages were
    // held back, "PATH: N more errors not shown" (or warnings) in their
    // stead, at the most severe level among them.
    void finish();

  private:
    int message(int level, const char *format, va_list ap) LOG_PRINTF(3, 0);

    const char *path_;
    const char *line_end_;
    unsigned int shown_ = 0;
    unsigned int held_ = 0;
    int held_level_ = LOG_LEVEL_DEBUG; // the most severe held back
};
