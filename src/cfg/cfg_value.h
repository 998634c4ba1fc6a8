// The few shapes every field of the configuration model takes. A field is
// declared as a member of one of these types, which holds its bound (a
// text's most bytes, a number's range, the words it takes), so that its
// setter is one call, every value of one kind follows the same rules, and
// what it holds is freed with it. A refusal returns -1 with a static
// reason text in *errstrp (when given) and leaves the stored value as it
// was, except that an over-long text of bounded length still leaves its
// cut copy behind.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <source_location>
#include <span>
#include <strings.h>

#include "cfg/cfg_document.h"
#include "support/alloc.h"
#include "support/compat.h"

struct cfg_code_name {
    const char *name;
    int code;
};

namespace cfg_value {

inline int fail(const char **errstrp, const char *reason)
{
    if (errstrp != nullptr)
        *errstrp = reason;
    return -1;
}

inline bool is_empty(const char *value)
{
    return value == nullptr || value[0] == '\0';
}

// The copy comes before the length is judged, so a refused value leaves its
// first N-1 characters behind.
template <std::size_t N> int set_buffer(char (&buffer)[N], const char *value, const char **errstrp)
{
    if (is_empty(value))
        return fail(errstrp, "empty");
    // A value read back from this very buffer must not be copied onto
    // itself with strlcpy's overlapping memcpy.
    if (std::less_equal<const char *>{}(buffer, value) &&
        std::less<const char *>{}(value, buffer + N)) {
        std::size_t len = std::strlen(value);
        std::memmove(buffer, value, len + 1);
        return 0;
    }
    if (strlcpy(buffer, value, N) >= N)
        return fail(errstrp, "too long");
    return 0;
}

template <std::size_t N> const char *get_buffer(const char (&buffer)[N])
{
    return buffer[0] != '\0' ? buffer : nullptr;
}

// The block of text a field owns, freed with the field: a heap block sized
// to the value, or nothing while unset, so that an entry of many texts
// costs what its values cost, and no release of an entry can forget one.
// Null is the unset text; an empty text is never stored. It reads as the
// pointer it holds, as the plain `char *` it replaced did.
class owned_text {
  public:
    constexpr owned_text() = default;
    owned_text(const owned_text &) = delete;
    owned_text &operator=(const owned_text &) = delete;
    owned_text(owned_text &&other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    owned_text &operator=(owned_text &&other) noexcept
    {
        if (this != &other) {
            clear();
            text_ = other.text_;
            other.text_ = nullptr;
        }
        return *this;
    }
    ~owned_text() { clear(); }

    const char *get() const { return text_; }
    bool is_set() const { return text_ != nullptr; }
    operator const char *() const { return text_; }

    void clear()
    {
        xfree(text_, "cfg_value");
        text_ = nullptr;
    }

  protected:
    // `copy` is a block the caller allocated; what it replaces is freed
    // only now, since the copy may have been made from it.
    void replace(char *copy)
    {
        xfree(text_, "cfg_value");
        text_ = copy;
    }

  private:
    char *text_ = nullptr;
};

// A text of at most Max bytes. The copy comes before the length is judged,
// as with set_buffer: a refused over-long value leaves its first Max bytes
// behind.
template <std::size_t Max> class bounded_text : public owned_text {
  public:
    static_assert(Max >= 1, "a text must have room for one character");
    static constexpr std::size_t max = Max;

    int set(const char *value, const char **errstrp, const char *module,
            std::source_location at = std::source_location::current())
    {
        if (is_empty(value))
            return fail(errstrp, "empty");
        const std::size_t length = strnlen(value, Max + 1);
        const std::size_t kept = length <= Max ? length : Max;
        auto *copy = static_cast<char *>(xmalloc(kept + 1, module, at));
        std::memcpy(copy, value, kept);
        copy[kept] = '\0';
        replace(copy);
        if (length > Max)
            return fail(errstrp, "too long");
        return 0;
    }
};

// Optional check of a text before it replaces the stored one: returns the
// reason text of the first rule the value breaks, or null.
using text_check = const char *(*)(const char *value);

// A text with no length of its own to keep to; but one that no document
// could carry back is refused as too long, and nothing of it is kept.
class text : public owned_text {
  public:
    int set(const char *value, const char **errstrp, const char *module, text_check check = nullptr,
            std::source_location at = std::source_location::current())
    {
        if (is_empty(value))
            return fail(errstrp, "empty");
        if (!cfg_text_fits_document(value))
            return fail(errstrp, "too long");
        if (check != nullptr) {
            if (const char *reason = check(value))
                return fail(errstrp, reason);
        }
        replace(xstrdup(value, module, at));
        return 0;
    }
};

inline const cfg_code_name *find_name(std::span<const cfg_code_name> table, const char *name)
{
    for (const cfg_code_name &entry : table) {
        if (strcasecmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

// The reasons a word outside a field's table is refused for.
inline constexpr char kInvalid[] = "invalid";
inline constexpr char kUnsupported[] = "unsupported";

// The table is searched in its order; the first match wins.
inline int set_code(int &slot, const char *value, std::span<const cfg_code_name> table,
                    const char *unknown, const char **errstrp)
{
    if (is_empty(value))
        return fail(errstrp, "empty");
    const cfg_code_name *entry = find_name(table, value);
    if (entry == nullptr)
        return fail(errstrp, unknown);
    slot = entry->code;
    return 0;
}

inline const char *code_name(std::span<const cfg_code_name> table, int code, const char *fallback)
{
    for (const cfg_code_name &entry : table) {
        if (entry.code == code)
            return entry.name;
    }
    return fallback;
}

// Whole words only, in this order; nothing is trimmed.
inline constexpr cfg_code_name kBooleanWords[] = {
    {"true", 1}, {"yes", 1}, {"1", 1}, {"false", 0}, {"no", 0}, {"0", 0},
};

// strtonum's own reason text goes back to the caller on a refused number.
template <typename T>
int set_number(T &slot, const char *value, long long min, long long max, const char **errstrp)
{
    if (is_empty(value))
        return fail(errstrp, "empty");
    const char *reason = nullptr;
    long long number = strtonum(value, min, max, &reason);
    if (reason != nullptr)
        return fail(errstrp, reason);
    slot = static_cast<T>(number);
    return 0;
}

// A whole number from Min to Max; it reads as the number it holds.
template <typename T, long long Min, long long Max> class number {
  public:
    static_assert(Min <= Max);
    static constexpr long long min = Min;
    static constexpr long long max = Max;

    constexpr number() = default;
    constexpr explicit number(T initial) : value_(initial) {}

    int set(const char *value, const char **errstrp)
    {
        return set_number(value_, value, Min, Max, errstrp);
    }
    constexpr operator T() const { return value_; }

  private:
    T value_{};
};

// One of the words of `Words` (in any letter case), held as its code; a
// word outside them is refused for `Unknown`. It reads as the code.
template <const auto &Words, const char *Unknown> class code {
  public:
    int set(const char *value, const char **errstrp)
    {
        return set_code(value_, value, Words, Unknown, errstrp);
    }
    constexpr operator int() const { return value_; }

  private:
    int value_ = 0;
};

// A boolean: one of kBooleanWords, 0 until set.
using flag = code<kBooleanWords, kInvalid>;

} // namespace cfg_value
