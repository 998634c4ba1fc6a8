// The few shapes every setter of the configuration model takes, so that each
// setter is one call and every value of one kind follows the same rules.
// A refusal returns -1 with a static reason text in *errstrp (when given)
// and leaves the stored value as it was, except that an over-long text
// of bounded length still leaves its cut copy behind.
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

// A text of an entry that keeps the limit of a buffer of N bytes (at most
// N-1 characters, the same refusals and the same cut copy as set_buffer)
// but holds only what it holds: a heap block sized to the value, or nothing
// while unset. An entry of many such fields thus costs what its values
// cost, not the sum of their limits.
//
// All zero is the unset text, so that it can live in the zero-filled
// blocks the lists allocate; like those blocks it has no destructor, and
// the entry's release frees it with clear().
template <std::size_t N> struct bounded_text {
    static_assert(N >= 2, "a text must have room for one character");

    char *text;

    // The copy comes before the length is judged, as with set_buffer: a
    // refused over-long value leaves its first N-1 characters behind.
    int set(const char *value, const char **errstrp, const char *module,
            std::source_location at = std::source_location::current())
    {
        if (is_empty(value))
            return fail(errstrp, "empty");
        const std::size_t length = strnlen(value, N);
        const std::size_t kept = length < N ? length : N - 1;
        // Copy before freeing: `value` may lie within the stored text.
        auto *copy = static_cast<char *>(xmalloc(kept + 1, module, at.line()));
        std::memcpy(copy, value, kept);
        copy[kept] = '\0';
        xfree(text, module, at.line());
        text = copy;
        if (length >= N)
            return fail(errstrp, "too long");
        return 0;
    }

    // Null while unset: an empty text is never stored.
    const char *get() const { return text; }
    bool is_set() const { return text != nullptr; }

    void clear(const char *module, std::source_location at = std::source_location::current())
    {
        xfree(text, module, at.line());
        text = nullptr;
    }
};

// Optional check of an owned text before it replaces the stored one: returns
// the reason text of the first rule the value breaks, or null.
using text_check = const char *(*)(const char *value);

// Owned texts have no length of their own to keep to, but one that no
// document could carry back is refused as too long.
inline int set_text(char *&slot, const char *value, const char **errstrp, const char *module,
                    text_check check = nullptr,
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
    // Copy before freeing: `value` may be the stored text itself.
    char *copy = xstrdup(value, module, at.line());
    xfree(slot, module, at.line());
    slot = copy;
    return 0;
}

inline void clear_text(char *&slot, const char *module,
                       std::source_location at = std::source_location::current())
{
    xfree(slot, module, at.line());
    slot = nullptr;
}

inline const cfg_code_name *find_name(std::span<const cfg_code_name> table, const char *name)
{
    for (const cfg_code_name &entry : table) {
        if (strcasecmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

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

inline int set_boolean(int &slot, const char *value, const char **errstrp)
{
    return set_code(slot, value, kBooleanWords, "invalid", errstrp);
}

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

} // namespace cfg_value
