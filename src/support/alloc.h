// Allocation that never returns null: on exhaustion one alert names the
// call site and the process exits with status 1 through exit(), so exit
// handlers still run. Callers therefore never test the result.
#pragma once

#include <cstddef>

void *xmalloc(size_t size, const char *file, unsigned int line);
void *xcalloc(size_t count, size_t size, const char *file, unsigned int line);
void *xreallocarray(void *block, size_t count, size_t size, const char *file, unsigned int line);
char *xstrdup(const char *text, const char *file, unsigned int line);
void xfree(void *block, const char *file, unsigned int line);

// Makes operator new end the process the same way instead of throwing
// std::bad_alloc, which nothing catches and which would end the run by a
// signal. Containers of the standard library allocate through it.
void xalloc_install_new_handler(void);

// Each module defines `constexpr const char kAllocModule[]` with its own
// name and allocates through these, so the message points at the caller.
#define XMALLOC(size) xmalloc((size), kAllocModule, __LINE__)
#define XCALLOC(count, size) xcalloc((count), (size), kAllocModule, __LINE__)
#define XREALLOCARRAY(block, count, size) xreallocarray((block), (count), (size), kAllocModule, __LINE__)
#define XSTRDUP(text) xstrdup((text), kAllocModule, __LINE__)
#define XFREE(block) xfree((block), kAllocModule, __LINE__)
