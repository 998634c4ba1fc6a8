// The channel of every message about one input file while it is read, as
// a compiler's diagnostics engine is for one compilation. A hostile file
// can hold a million problems, and every message is a line in the system
// log and, where no daemon listens, a slow write to the console
// (milliseconds a line); its values can be megabytes long or hold line
// breaks that would forge a line of their own. So the channel:
//
// - counts every message it is given, and passes on only the first kShown;
//   the others are counted, never formatted, and finish() sums them up in
//   one line per severity (a report of the XML library is one line and
//   takes one place);
// - formats every text argument as a value: control characters escaped
//   ("\n", "\t", "\x01"), and a value longer than kValueMax cut to its
//   first kValueCut bytes followed by "...";
// - while it is open, it is the log's sink (see log_set_sink): whatever
//   else is logged during the read, such as a notice of the configuration
//   model, and the XML library's own reports (which keep the library's
//   words, made safe as values are, and still go to standard error alone)
//   take the same path and the same limit.
//
// Callers never hand it a secret: they pass kLogSecret in its place.
//
// One object serves one read of one file: a program that reads many files
// gives each its own, and so its own limit. A channel opened for the path
// of the channel already open joins that one (a reader called by a checker
// that adds messages of its own about the same file): its messages count
// against the same limit, and only the outer channel sums up.
#pragma once

#include <array>
#include <cstdarg>
#include <cstddef>
#include <string>
#include <memory>

#include "support/log.h"

// What a message shows in place of a password.
inline constexpr const char kLogSecret[] = "(hidden)";

class log_input final : public log_sink {
  public:
    // No real configuration comes near it.
    static constexpr unsigned int kShown = 100;
    // Longer values are shown by their start: no real setting comes near
    // it, and whole, one would make a message of megabytes.
    static constexpr size_t kValueMax = 4096;
    static constexpr size_t kValueCut = 64;

    // `path` opens the closing lines and must outlive the object;
    // `line_end` ends them as the caller's other messages end ("\n" or "").
    // The channel is the log's sink until it is destroyed.
    log_input(const char *path, const char *line_end);
    ~log_input() override;
    log_input(const log_input &) = delete;
    log_input &operator=(const log_input &) = delete;

    // The path as messages show it.
    const char *path() const { return path_.c_str(); }
    // What ends the channel's messages ("\n" or "").
    const char *line_end() const { return line_end_; }

    // As log_error, log_warning and log_notice until kShown messages about
    // the file were passed on; after that the message is only counted,
    // and 0 returned. A notice the verbosity hides is neither shown nor
    // counted.
    int error(const char *format, ...) LOG_PRINTF(2, 3);
    int warning(const char *format, ...) LOG_PRINTF(2, 3);
    int notice(const char *format, ...) LOG_PRINTF(2, 3);

    // Every error and warning given to this object, shown or held back.
    // The XML library's diagnostics count against the limit but not here.
    unsigned int errors() const { return given_[LOG_LEVEL_ERROR]; }
    unsigned int warnings() const { return given_[LOG_LEVEL_WARNING]; }

    // Messages (the library's reports included) counted but not shown.
    unsigned int held() const;

    // Once, at the end of the read and before any total: for each
    // severity of which messages were held back, "PATH: N more errors not
    // shown" (warnings, notices) at that level. Nothing for a channel that
    // joined another.
    void finish();

    // A closing message, such as a total, after finish(): formatted as the
    // others, never held back and not counted.
    int summary(int level, const char *format, ...) LOG_PRINTF(3, 4);

    int message(int level, const char *format, va_list ap) override LOG_PRINTF(3, 0);
    void library(int level, const char *line) override;

    // A caller that learns what a read found as data, after the read, and
    // has lines of its own to put among the reader's: from hold() on,
    // every message, report and closing line is kept as a record in its
    // place, until the first release(), from which on new messages go
    // straight on again. position() is the number of records kept so far,
    // the place of whatever the reader finds next; release(place) passes
    // on the records before it, so that the caller's next lines follow
    // them, and release() the rest. finish() and the destructor release
    // what is left. Only what the limit could still let through is
    // formatted; the rest is only counted. A channel that joined another
    // holds and releases through it.
    void hold();
    unsigned long position() const;
    void release(unsigned long place);
    void release();

  private:
    // Made by hold(): a channel that never holds pays nothing for it.
    struct records;
    enum class record_kind : unsigned char { message, library, summary };
    void keep(record_kind of, int level, const char *text);
    void keep_counted(record_kind of, int level);

    int pass_on(int level, const char *format, va_list ap) LOG_PRINTF(3, 0);

    std::string path_;
    const char *line_end_;
    log_sink *previous_;
    log_input *outer_;        // the channel this one joined, or null
    log_input *enclosing_;    // the channel open before this one
    unsigned int shown_ = 0;
    std::array<unsigned int, 6> given_{};
    std::array<unsigned int, 6> held_{};
    std::unique_ptr<records> records_;
};

// `value` as the channel shows a value in a message: control characters
// escaped, and cut when longer than kValueMax. For a message outside any
// channel that still shows a name the user gave (a path, say).
std::string log_input_value(const char *value);

// The text of `format` with `ap` as the channel shows a message: every %s
// argument as a value (see above), every other conversion as printf makes
// it. Exposed for the tests.
std::string log_input_format(const char *format, va_list ap) LOG_PRINTF(1, 0);
