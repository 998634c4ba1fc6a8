#include "support/util.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <memory>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "support/alloc.h"
#include "support/log.h"

constexpr const char kAllocModule[] = "util";

namespace {

struct xfree_deleter {
    void operator()(char *text) const { xfree(text, kAllocModule); }
};
using owned_text = std::unique_ptr<char, xfree_deleter>;

struct file_closer {
    void operator()(FILE *stream) const { std::fclose(stream); }
};
using owned_file = std::unique_ptr<FILE, file_closer>;

// A growing text assembled from pieces; the block comes from the checked
// allocation and is handed to the caller by release().
class text_builder {
  public:
    text_builder() : data_(static_cast<char *>(xmalloc(1, kAllocModule))) { data_.get()[0] = '\0'; }

    void append(const char *bytes, size_t count) { std::memcpy(extend(count), bytes, count); }

    // Appends the bytes last first.
    void append_reversed(const char *bytes, size_t count)
    {
        std::reverse_copy(bytes, bytes + count, extend(count));
    }

    size_t size() const { return length_; }
    char *data() { return data_.get(); }

    void truncate(size_t length)
    {
        length_ = std::min(length, length_);
        data_.get()[length_] = '\0';
    }

    char *release() { return data_.release(); }

  private:
    // Makes room for `count` more bytes and returns where they go.
    char *extend(size_t count)
    {
        if (length_ + count + 1 > capacity_) {
            size_t wanted = std::max(capacity_ * 2, length_ + count + 1);
            data_.reset(
                static_cast<char *>(xreallocarray(data_.release(), wanted, 1, kAllocModule)));
            capacity_ = wanted;
        }
        char *room = data_.get() + length_;
        length_ += count;
        data_.get()[length_] = '\0';
        return room;
    }

    owned_text data_;
    size_t length_ = 0;
    size_t capacity_ = 1;
};

// Closing can fail, and the caller must hear about it, so close() is
// explicit; the destructor only covers the paths that leave early.
class charset_converter {
  public:
    explicit charset_converter(iconv_t handle) : handle_(handle) {}
    charset_converter(const charset_converter &) = delete;
    charset_converter &operator=(const charset_converter &) = delete;
    ~charset_converter()
    {
        if (is_open())
            iconv_close(handle_);
    }

    bool is_open() const { return handle_ != kInvalid; }
    iconv_t get() const { return handle_; }

    int close()
    {
        iconv_t handle = handle_;
        handle_ = kInvalid;
        return iconv_close(handle);
    }

    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

  private:
    iconv_t handle_;
};

charset_converter open_converter(const char *from, const char *to)
{
    // A name the platform does not know on one side is tried against the
    // locale's own character set (the empty name) before giving up.
    iconv_t handle = iconv_open(to, from);
    if (handle == charset_converter::kInvalid)
        handle = iconv_open("", from);
    if (handle == charset_converter::kInvalid)
        handle = iconv_open(to, "");
    return charset_converter(handle);
}

constexpr size_t kChunkSize = 1023;

char *convert_with_locale_codeset(const char *text, bool to_utf8)
{
    std::setlocale(LC_CTYPE, "");
    // nl_langinfo's text belongs to the locale and may be gone once the
    // category is set back, so keep a copy of our own.
    owned_text codeset(xstrdup(nl_langinfo(CODESET), kAllocModule));
    std::setlocale(LC_CTYPE, "C");
    return to_utf8 ? util_convert_charset(text, codeset.get(), "UTF-8")
                   : util_convert_charset(text, "UTF-8", codeset.get());
}

struct pid_file_state {
    owned_text path;
    owned_file stream;
    pid_t owner = 0;
    bool handler_registered = false;
};

pid_file_state pid_file;

void forget_pid_file_after_failure(int fd)
{
    int saved = errno;
    unlink(pid_file.path.get());
    pid_file.path.reset();
    if (fd >= 0)
        close(fd);
    pid_file.stream.reset();
    pid_file.owner = 0;
    errno = saved;
}

int fold_case(unsigned char byte)
{
    return byte < 0x80 ? std::tolower(byte) : byte;
}

} // namespace

const char *util_program_name(const char *)
{
    // glibc records the text after the last '/' of argv[0] before main()
    // runs, and leaves "" when the process had no argv[0].
    return program_invocation_short_name;
}

char *util_convert_charset(const char *text, const char *from, const char *to)
{
    if (text == nullptr)
        return xstrdup("", kAllocModule);

    charset_converter converter = open_converter(from, to);
    if (!converter.is_open()) {
        log_errno(LOG_LEVEL_ERROR, errno, "iconv_open");
        return xstrdup(text, kAllocModule);
    }

    text_builder result;
    char chunk[kChunkSize];
    // iconv takes a non-const input pointer but never writes through it.
    char *in = const_cast<char *>(text);
    size_t in_left = std::strlen(text);
    while (in_left > 0) {
        const char *start = in;
        char *out = chunk;
        size_t out_left = sizeof(chunk);
        size_t done = iconv(converter.get(), &in, &in_left, &out, &out_left);
        int failure = errno;
        result.append(chunk, sizeof(chunk) - out_left);
        if (done != static_cast<size_t>(-1))
            continue;
        // A full chunk only asks for another pass, unless nothing at all was
        // written: then no pass would ever make progress.
        if (failure == E2BIG && out_left < sizeof(chunk))
            continue;
        // A failure after some input was taken is looked at again from where
        // the converter stopped. A converter that drops what it cannot
        // convert (//IGNORE) has already skipped the bad bytes and reports
        // the failure only afterwards, often with no input left at all;
        // skipping one more byte would run past the end of the text.
        if (in != start)
            continue;
        // Stuck on the byte at `in`, and since nothing was taken, that byte
        // is still part of the input.
        result.append("?", 1);
        ++in;
        --in_left;
    }
    // A converter that keeps shift state must be brought back to its initial
    // state, or the output of a stateful character set ends unterminated.
    for (;;) {
        char *out = chunk;
        size_t out_left = sizeof(chunk);
        size_t done = iconv(converter.get(), nullptr, nullptr, &out, &out_left);
        int failure = errno;
        result.append(chunk, sizeof(chunk) - out_left);
        if (done != static_cast<size_t>(-1) || failure != E2BIG || out_left == sizeof(chunk))
            break;
    }

    owned_text converted(result.release());
    if (converter.close() != 0) {
        log_errno(LOG_LEVEL_ERROR, errno, "iconv_close");
        return xstrdup(text, kAllocModule);
    }
    return converted.release();
}

char *util_locale_to_utf8(const char *text)
{
    return convert_with_locale_codeset(text, true);
}

char *util_utf8_to_locale(const char *text)
{
    return convert_with_locale_codeset(text, false);
}

int util_create_pid_file(const char *path)
{
    if (path == nullptr)
        return 0;

    pid_file.path.reset(xstrdup(path, kAllocModule));
    pid_file.stream.reset();

    // The file is locked before it is truncated: when another process holds
    // it, its content and the file itself stay as they are.
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        int saved = errno;
        pid_file.path.reset();
        errno = saved;
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int saved = errno;
        close(fd);
        pid_file.path.reset();
        pid_file.owner = 0;
        errno = saved;
        return -1;
    }
    if (ftruncate(fd, 0) != 0) {
        forget_pid_file_after_failure(fd);
        return -1;
    }
    pid_file.stream.reset(fdopen(fd, "w"));
    if (!pid_file.stream) {
        forget_pid_file_after_failure(fd);
        return -1;
    }
    if (std::fprintf(pid_file.stream.get(), "%ld\n", static_cast<long>(getpid())) < 0 ||
        std::fflush(pid_file.stream.get()) != 0) {
        forget_pid_file_after_failure(-1);
        return -1;
    }
    if (!pid_file.handler_registered) {
        if (std::atexit(util_remove_pid_file) != 0) {
            errno = ENOMEM;
            forget_pid_file_after_failure(-1);
            return -1;
        }
        pid_file.handler_registered = true;
    }
    pid_file.owner = getpid();
    return 0;
}

void util_remove_pid_file(void)
{
    // A forked child inherits this state and this handler; only the process
    // that wrote the file may remove it.
    if (!pid_file.path || pid_file.owner != getpid())
        return;
    unlink(pid_file.path.get());
    pid_file.stream.reset();
    pid_file.path.reset();
    pid_file.owner = 0;
}

int util_finish_output(FILE *out, const char *name)
{
    errno = 0;
    bool failed = std::fflush(out) != 0;
    int err = errno;
    if (!failed && !std::ferror(out))
        return 0;
    log_error("%s: %s", name, std::strerror(err != 0 ? err : EIO));
    return -1;
}

int util_ends_with(const char *text, const char *suffix)
{
    size_t text_length = std::strlen(text);
    size_t suffix_length = std::strlen(suffix);
    if (suffix_length > text_length)
        return 1;
    return std::memcmp(text + text_length - suffix_length, suffix, suffix_length) == 0 ? 0 : 1;
}

int util_ends_with_nocase(const char *text, const char *suffix)
{
    size_t text_length = std::strlen(text);
    size_t suffix_length = std::strlen(suffix);
    if (suffix_length > text_length)
        return 1;
    const char *tail = text + text_length - suffix_length;
    for (size_t i = 0; i < suffix_length; ++i) {
        if (fold_case(static_cast<unsigned char>(tail[i])) !=
            fold_case(static_cast<unsigned char>(suffix[i])))
            return 1;
    }
    return 0;
}

char *util_replace_tokens(const char *text, const util_token_pair *pairs)
{
    if (text[0] == '\0')
        return nullptr;
    if (pairs == nullptr)
        return xstrdup(text, kAllocModule);

    struct token_swap {
        std::string_view from;
        std::string_view to;
    };
    std::vector<token_swap> table;
    for (const util_token_pair *pair = pairs; pair->from != nullptr; ++pair)
        table.push_back({pair->from, pair->to != nullptr ? pair->to : ""});

    // The copy is visited from its last byte to its first, and a token found
    // at a position is replaced in the copy as it is then; walking backwards
    // means a replacement is never scanned again from its own first byte, so
    // a `to` that contains its `from` cannot loop. Splicing each replacement
    // into the whole copy would move the rest of it every time, so the part
    // from the current position on is kept reversed instead: putting bytes
    // in front of it is an append, and dropping a matched token from its
    // front is a truncation.
    text_builder reversed;
    for (size_t pos = std::strlen(text); pos-- > 0;) {
        reversed.append(text + pos, 1);
        // The byte at the position, then the bytes after it, going down.
        const char *at = reversed.data() + reversed.size() - 1;
        auto found = [&](std::string_view from) {
            if (from.size() > reversed.size())
                return false;
            for (size_t i = 0; i < from.size(); ++i) {
                if (from[i] != *(at - i))
                    return false;
            }
            return true;
        };
        for (const token_swap &pair : table) {
            if (!found(pair.from))
                continue;
            reversed.truncate(reversed.size() - pair.from.size());
            reversed.append_reversed(pair.to.data(), pair.to.size());
            break;
        }
    }
    std::reverse(reversed.data(), reversed.data() + reversed.size());
    return reversed.release();
}

char *util_quote_for_shell(const char *text, size_t maxlen)
{
    // Below 2 there is no room even for the two quotes. An empty text is the
    // only result that keeps within maxlen; callers that need a word must
    // pass at least 2.
    if (maxlen < 2)
        return xstrdup("", kAllocModule);

    constexpr size_t kMaxQuoted = 8191;
    size_t budget = std::min(maxlen, kMaxQuoted) - 1;
    auto *quoted = static_cast<char *>(xmalloc(budget + 2, kAllocModule));
    char *out = quoted;
    *out++ = '\'';
    if (budget > 1) {
        for (const char *in = text; *in != '\0'; ++in) {
            if (*in == '\'') {
                // Close the quote, an escaped quote, open it again: never cut
                // in the middle of these four bytes.
                if (budget <= 4)
                    break;
                std::memcpy(out, "'\\''", 4);
                out += 4;
                budget -= 4;
            } else {
                *out++ = *in;
                --budget;
            }
            if (budget <= 1)
                break;
        }
    }
    *out++ = '\'';
    *out = '\0';
    return quoted;
}
