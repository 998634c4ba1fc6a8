#include "support/log_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/types.h>
#include <vector>

namespace {

// The innermost channel open, which a channel for the same path joins.
log_input *open_channel;

LOG_PRINTF(3, 4) int pass(log_sink *sink, int level, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int passed = sink->message(level, format, ap);
    va_end(ap);
    return passed;
}

// What a closing line calls the messages it stands for.
const char *noun(int level, unsigned int count)
{
    switch (level) {
    case LOG_LEVEL_ALERT:
    case LOG_LEVEL_ERROR:
        return count == 1 ? "error" : "errors";
    case LOG_LEVEL_WARNING:
        return count == 1 ? "warning" : "warnings";
    case LOG_LEVEL_NOTICE:
        return count == 1 ? "notice" : "notices";
    default:
        return count == 1 ? "message" : "messages";
    }
}

// Bytes 0x01-0x1F and 0x7F would let a value end its line, or rewrite it
// on a terminal.
void append_escaped(std::string &out, const char *text, size_t len)
{
    static constexpr char kHex[] = "0123456789abcdef";
    size_t plain = 0;
    for (size_t i = 0; i < len; i++) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != 0x7F)
            continue;
        out.append(text + plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            break;
        }
    }
    out.append(text + plain, len - plain);
}

// A value as a message shows it; `limit` is the precision of the
// conversion, if any.
void append_value(std::string &out, const char *value, size_t limit)
{
    if (value == nullptr) {
        out += "(null)";
        return;
    }
    size_t len = strnlen(value, std::min(limit, log_input::kValueMax + 1));
    if (len > log_input::kValueMax) {
        // Cut where a character starts, so the start stays valid UTF-8.
        len = log_input::kValueCut;
        while (len > 0 && (static_cast<unsigned char>(value[len]) & 0xC0) == 0x80)
            len--;
        append_escaped(out, value, len);
        out += "...";
        return;
    }
    append_escaped(out, value, len);
}

LOG_PRINTF(2, 3) void append_printf(std::string &out, const char *format, ...)
{
    char buffer[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        out.append(buffer, static_cast<size_t>(n));
        return;
    }
    // A width of thousands: rare, and still bounded by the format.
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_start(ap, format);
    std::vsnprintf(big.data(), big.size(), format, ap);
    va_end(ap);
    big.resize(static_cast<size_t>(n));
    out += big;
}

} // namespace

std::string log_input_value(const char *value)
{
    std::string out;
    append_value(out, value, SIZE_MAX);
    return out;
}

// One conversion at a time: %s by the rules for values, every other one by
// the C library, from a format of that one conversion with the width and
// precision written out. The argument list is read exactly as printf
// reads it.
std::string log_input_format(const char *format, va_list ap)
{
    std::string out;
    const char *p = format;
    while (*p != '\0') {
        const char *percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out += p;
            break;
        }
        out.append(p, static_cast<size_t>(percent - p));
        const char *q = percent + 1;
        std::string directive = "%";
        while (*q != '\0' && std::strchr("-+ #0'", *q) != nullptr)
            directive += *q++;
        bool left = directive.find('-') != std::string::npos;
        long width = -1;
        if (*q == '*') {
            width = va_arg(ap, int);
            if (width < 0) { // a negative width from the list means '-'
                width = -width;
                if (!left)
                    directive += '-';
                left = true;
            }
            q++;
        } else if (*q >= '0' && *q <= '9') {
            width = std::strtol(q, const_cast<char **>(&q), 10);
        }
        long precision = -1;
        if (*q == '.') {
            q++;
            if (*q == '*') {
                precision = va_arg(ap, int);
                q++;
            } else {
                precision = std::strtol(q, const_cast<char **>(&q), 10);
            }
        }
        std::string length;
        while (*q != '\0' && std::strchr("hljztLq", *q) != nullptr)
            length += *q++;
        const char conversion = *q;
        if (conversion == '\0') {
            out += percent; // a format cut short is shown as it stands
            break;
        }
        p = q + 1;
        if (width >= 0)
            directive += std::to_string(width);
        if (precision >= 0)
            directive += "." + std::to_string(precision);
        directive += length;
        directive += conversion;

        switch (conversion) {
        case '%':
            out += '%';
            break;
        case 's': {
            const char *value = va_arg(ap, const char *);
            std::string shown;
            append_value(shown, value, precision >= 0 ? static_cast<size_t>(precision) : SIZE_MAX);
            if (width > 0 && shown.size() < static_cast<size_t>(width)) {
                const std::string pad(static_cast<size_t>(width) - shown.size(), ' ');
                shown = left ? shown + pad : pad + shown;
            }
            out += shown;
            break;
        }
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
        case 'c': {
            const bool is_signed = conversion == 'd' || conversion == 'i';
            if (length == "ll" || length == "q" || length == "j") {
                if (is_signed)
                    append_printf(out, directive.c_str(), va_arg(ap, long long));
                else
                    append_printf(out, directive.c_str(), va_arg(ap, unsigned long long));
            } else if (length == "l" || length == "z" || length == "t") {
                if (is_signed)
                    append_printf(out, directive.c_str(), va_arg(ap, long));
                else
                    append_printf(out, directive.c_str(), va_arg(ap, unsigned long));
            } else if (is_signed || conversion == 'c') {
                append_printf(out, directive.c_str(), va_arg(ap, int));
            } else {
                append_printf(out, directive.c_str(), va_arg(ap, unsigned int));
            }
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (length == "L")
                append_printf(out, directive.c_str(), va_arg(ap, long double));
            else
                append_printf(out, directive.c_str(), va_arg(ap, double));
            break;
        case 'p':
            append_printf(out, "%p", va_arg(ap, void *));
            break;
        case 'm':
            append_value(out, std::strerror(errno), SIZE_MAX);
            break;
        case 'n':
            (void)va_arg(ap, void *); // writes nothing back
            break;
        default:
            out.append(percent, static_cast<size_t>(p - percent));
            break;
        }
    }
    return out;
}

struct log_input::records {
    struct record {
        record_kind of;
        unsigned char level;
        // False for records that the limit holds back whatever comes
        // before them: consecutive ones of one kind and level are kept as
        // one, with their count, and never formatted.
        bool whole;
        unsigned long count;
        std::string text; // of a whole record
    };
    bool holding = true;
    std::vector<record> kept;
    size_t next = 0;            // the first not released
    unsigned long total = 0;    // records kept, counted ones included
    unsigned long released = 0; // of those, passed on or counted
    unsigned int may_show = 0;  // records kept whole that count to the limit
};

log_input::log_input(const char *path, const char *line_end)
    : line_end_(line_end), previous_(nullptr), outer_(nullptr), enclosing_(open_channel)
{
    path_ = log_input_value(path != nullptr ? path : "");
    if (open_channel != nullptr && open_channel->path_ == path_ &&
        std::strcmp(open_channel->line_end_, line_end) == 0)
        outer_ = open_channel;
    open_channel = this;
    previous_ = log_set_sink(this);
}

log_input::~log_input()
{
    if (records_)
        release();
    log_set_sink(previous_);
    open_channel = enclosing_;
}

int log_input::pass_on(int level, const char *format, va_list ap)
{
    const std::string text = log_input_format(format, ap);
    return pass(previous_, level, "%s", text.c_str());
}

int log_input::message(int level, const char *format, va_list ap)
{
    if (level < 0 || static_cast<size_t>(level) >= given_.size())
        level = LOG_LEVEL_DEBUG;
    // Last words before the process ends are never held back.
    if (level == LOG_LEVEL_ALERT)
        return previous_->message(level, format, ap);
    given_[static_cast<size_t>(level)]++;
    if (outer_ != nullptr)
        return outer_->message(level, format, ap);
    if (records_ && records_->holding) {
        if (shown_ + records_->may_show >= kShown) {
            keep_counted(record_kind::message, level);
            return 0;
        }
        keep(record_kind::message, level, log_input_format(format, ap).c_str());
        records_->may_show++;
        return 1;
    }
    if (shown_ >= kShown) {
        // Not even formatted: holding a message back costs next to nothing.
        held_[static_cast<size_t>(level)]++;
        return 0;
    }
    int passed = pass_on(level, format, ap);
    shown_ += static_cast<unsigned int>(passed);
    return passed;
}

// A report of the XML library is one line, shown or held back like any
// message and counted by its level, but not among the caller's errors and
// warnings: the reader says in its own words what the parse came to.
void log_input::library(int level, const char *line)
{
    if (outer_ != nullptr) {
        outer_->library(level, line);
        return;
    }
    if (level < 0 || static_cast<size_t>(level) >= held_.size())
        level = LOG_LEVEL_DEBUG;
    if (records_ && records_->holding) {
        if (shown_ + records_->may_show >= kShown) {
            keep_counted(record_kind::library, level);
            return;
        }
        keep(record_kind::library, level, line);
        records_->may_show++;
        return;
    }
    if (shown_ >= kShown) {
        held_[static_cast<size_t>(level)]++;
        return;
    }
    shown_++;
    previous_->library(level, line);
}

#define LOG_INPUT_ENTRY(fn, level)                                                                 \
    int log_input::fn(const char *format, ...)                                                     \
    {                                                                                              \
        if (!log_shown(level))                                                                     \
            return 0;                                                                              \
        va_list ap;                                                                                \
        va_start(ap, format);                                                                      \
        int passed = message(level, format, ap);                                                   \
        va_end(ap);                                                                                \
        return passed;                                                                             \
    }

LOG_INPUT_ENTRY(error, LOG_LEVEL_ERROR)
LOG_INPUT_ENTRY(warning, LOG_LEVEL_WARNING)
LOG_INPUT_ENTRY(notice, LOG_LEVEL_NOTICE)

unsigned int log_input::held() const
{
    unsigned int total = 0;
    for (unsigned int count : held_)
        total += count;
    return total;
}

void log_input::finish()
{
    if (outer_ != nullptr)
        return;
    if (records_)
        release();
    for (size_t level = 0; level < held_.size(); level++) {
        const unsigned int count = held_[level];
        if (count != 0)
            pass(previous_, static_cast<int>(level), "%s: %u more %s not shown%s", path_.c_str(),
                 count, noun(static_cast<int>(level), count), line_end_);
    }
}

int log_input::summary(int level, const char *format, ...)
{
    if (!log_shown(level))
        return 0;
    log_input *channel = this;
    while (channel->outer_ != nullptr)
        channel = channel->outer_;
    va_list ap;
    va_start(ap, format);
    int passed = 1;
    if (channel->records_ && channel->records_->holding)
        channel->keep(record_kind::summary, level, log_input_format(format, ap).c_str());
    else
        passed = channel->pass_on(level, format, ap);
    va_end(ap);
    return passed;
}

void log_input::hold()
{
    if (outer_ != nullptr)
        outer_->hold();
    else if (!records_)
        records_ = std::make_unique<records>();
    else
        records_->holding = true;
}

unsigned long log_input::position() const
{
    if (outer_ != nullptr)
        return outer_->position();
    return records_ ? records_->total : 0;
}

void log_input::keep(record_kind of, int level, const char *text)
{
    records_->kept.push_back({of, static_cast<unsigned char>(level), true, 1, text});
    records_->total++;
}

void log_input::keep_counted(record_kind of, int level)
{
    records_->total++;
    std::vector<records::record> &kept = records_->kept;
    if (!kept.empty()) {
        records::record &last = kept.back();
        if (!last.whole && last.of == of && last.level == level) {
            last.count++;
            return;
        }
    }
    kept.push_back({of, static_cast<unsigned char>(level), false, 1, {}});
}

void log_input::release(unsigned long place)
{
    if (outer_ != nullptr) {
        outer_->release(place);
        return;
    }
    if (!records_)
        return;
    records &r = *records_;
    r.holding = false;
    while (r.released < place && r.next < r.kept.size()) {
        records::record &next = r.kept[r.next];
        const auto level = static_cast<size_t>(next.level);
        if (!next.whole) {
            const unsigned long n = std::min(next.count, place - r.released);
            held_[level] += static_cast<unsigned int>(n);
            next.count -= n;
            r.released += n;
            if (next.count == 0)
                r.next++;
            continue;
        }
        r.released++;
        r.next++;
        if (next.of == record_kind::summary) {
            pass(previous_, next.level, "%s", next.text.c_str());
        } else if (shown_ >= kShown) {
            // Whatever the caller put before it may have reached the limit.
            held_[level]++;
        } else if (next.of == record_kind::library) {
            shown_++;
            previous_->library(next.level, next.text.c_str());
        } else {
            shown_ += static_cast<unsigned int>(pass(previous_, next.level, "%s", next.text.c_str()));
        }
    }
    if (r.next == r.kept.size()) {
        r.kept.clear();
        r.next = 0;
    }
}

void log_input::release()
{
    release(position());
}
