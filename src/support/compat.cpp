#include "support/compat.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#ifndef ONYX_HAVE_STRLCPY
size_t strlcpy(char *dst, const char *src, size_t size)
{
    size_t len = std::strlen(src);
    if (size != 0) {
        size_t n = len < size - 1 ? len : size - 1;
        std::memcpy(dst, src, n);
        dst[n] = '\0';
    }
    return len;
}
#endif

#ifndef ONYX_HAVE_STRTONUM
// Decimal only, as strtoll(numstr, &end, 10) in the C locale reads it:
// leading white space, an optional sign, digits and nothing after them.
// Written out because every number of a configuration passes through here
// and the general conversion is several times slower.
long long strtonum(const char *numstr, long long minval, long long maxval, const char **errstrp)
{
    constexpr unsigned long long kMaxMagnitude = static_cast<unsigned long long>(LLONG_MAX) + 1;
    const char *error = nullptr;
    long long value = 0;
    int saved = errno;

    const char *p = numstr;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        p++;
    const char *digits = p;
    unsigned long long magnitude = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; p++) {
        const unsigned int digit = static_cast<unsigned int>(*p - '0');
        if (magnitude > (kMaxMagnitude - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }

    if (minval > maxval || p == digits || *p != '\0') {
        error = "invalid";
        saved = EINVAL;
    } else if (overflow || magnitude > (negative ? kMaxMagnitude : kMaxMagnitude - 1)) {
        error = negative ? "too small" : "too large";
        saved = ERANGE;
    } else {
        long long ll = negative ? static_cast<long long>(0 - magnitude)
                                : static_cast<long long>(magnitude);
        if (ll < minval) {
            error = "too small";
            saved = ERANGE;
        } else if (ll > maxval) {
            error = "too large";
            saved = ERANGE;
        } else {
            value = ll;
        }
    }
    if (errstrp != nullptr)
        *errstrp = error;
    errno = saved;
    return value;
}
#endif
