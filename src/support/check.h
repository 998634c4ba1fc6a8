// Checks of what a caller promised, kept in every build, NDEBUG included:
// a broken promise is a programming error, and the process stops there
// rather than carry it into what it writes. The alert goes through the
// log, where the program's other messages go, in the shape of assert(3)'s
// message so that it reads as one.
#pragma once

#include <cstdlib>

#include "support/log.h"

[[noreturn, gnu::cold]] inline void check_failed(const char *expression, const char *module,
                                                 unsigned int line, const char *function)
{
    log_alert("%s:%u: %s: Assertion `%s' failed.", module, line, function, expression);
    std::abort();
}

// The module is the kAllocModule every module passes to the checked
// allocation; a macro, as only a macro can spell the expression out.
#define ONYX_CHECK(expr)                                                                           \
    ((expr) ? static_cast<void>(0) : check_failed(#expr, kAllocModule, __LINE__, __func__))
