// BSD string functions that the configuration code relies on, for C
// libraries that lack them (glibc before 2.38 has neither).
#pragma once

#include <cstddef>

#ifndef ONYX_HAVE_STRLCPY
// Copies at most size-1 bytes and always terminates (when size > 0);
// returns strlen(src) so that truncation shows as a result >= size.
size_t strlcpy(char *dst, const char *src, size_t size);
#endif

#ifndef ONYX_HAVE_STRTONUM
// Decimal conversion within [minval, maxval]. On failure returns 0, sets
// errno and stores "invalid", "too small" or "too large" in *errstrp.
long long strtonum(const char *numstr, long long minval, long long maxval, const char **errstrp);
#endif
