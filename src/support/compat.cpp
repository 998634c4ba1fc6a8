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
long long strtonum(const char *numstr, long long minval, long long maxval, const char **errstrp)
{
    const char *error = nullptr;
    long long value = 0;
    int saved = errno;

    if (minval > maxval) {
        error = "invalid";
        saved = EINVAL;
    } else {
        char *end = nullptr;
        errno = 0;
        long long ll = std::strtoll(numstr, &end, 10);
        if (numstr == end || *end != '\0') {
            error = "invalid";
            saved = EINVAL;
        } else if ((ll == LLONG_MIN && errno == ERANGE) || ll < minval) {
            error = "too small";
            saved = ERANGE;
        } else if ((ll == LLONG_MAX && errno == ERANGE) || ll > maxval) {
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
