// Allocation that never returns null: on exhaustion one alert names the
// call site and the process exits with status 1 through exit(), so exit
// handlers still run. Callers therefore never test the result.
#pragma once

#include <cstddef>
#include <source_location>

void *xmalloc(size_t size, const char *file, unsigned int line);
void *xcalloc(size_t count, size_t size, const char *file, unsigned int line);
void *xreallocarray(void *block, size_t count, size_t size, const char *file, unsigned int line);
char *xstrdup(const char *text, const char *file, unsigned int line);
void xfree(void *block, const char *file, unsigned int line);

// Makes operator new end the process the same way instead of throwing
// std::bad_alloc, which nothing catches and which would end the run by a
// signal. Containers of the standard library allocate through it.
void xalloc_install_new_handler(void);

// The tag of a call is the module's name and the line the call is written
// on: each module defines `constexpr const char kAllocModule[]` and passes
// it, and the line comes from where the call stands. A helper that
// allocates on its caller's behalf (a list, a text field) takes the
// caller's std::source_location and passes it on, so the message points at
// the code that asked rather than at the helper.
inline void *xmalloc(size_t size, const char *file,
                     std::source_location at = std::source_location::current())
{
    return xmalloc(size, file, at.line());
}

inline void *xcalloc(size_t count, size_t size, const char *file,
                     std::source_location at = std::source_location::current())
{
    return xcalloc(count, size, file, at.line());
}

inline void *xreallocarray(void *block, size_t count, size_t size, const char *file,
                           std::source_location at = std::source_location::current())
{
    return xreallocarray(block, count, size, file, at.line());
}

inline char *xstrdup(const char *text, const char *file,
                     std::source_location at = std::source_location::current())
{
    return xstrdup(text, file, at.line());
}

inline void xfree(void *block, const char *file,
                  std::source_location at = std::source_location::current())
{
    xfree(block, file, at.line());
}
