#include "support/alloc.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "support/log.h"

namespace {

[[noreturn]] void out_of_memory()
{
    std::exit(1);
}

} // namespace

void *xmalloc(size_t size, const char *file, unsigned int line)
{
    void *block = std::malloc(size);
    if (block == nullptr) {
        log_alert("%s[%u]: cannot allocate %zu bytes", file, line, size);
        out_of_memory();
    }
    return block;
}

void *xcalloc(size_t count, size_t size, const char *file, unsigned int line)
{
    void *block = std::calloc(count, size);
    if (block == nullptr) {
        log_alert("%s[%u]: cannot allocate %zu * %zu bytes", file, line, count, size);
        out_of_memory();
    }
    return block;
}

void *xreallocarray(void *block, size_t count, size_t size, const char *file, unsigned int line)
{
    void *grown = reallocarray(block, count, size);
    if (grown == nullptr) {
        log_alert("%s[%u]: cannot allocate %zu * %zu bytes", file, line, count, size);
        out_of_memory();
    }
    return grown;
}

char *xstrdup(const char *text, const char *file, unsigned int line)
{
    char *copy = strdup(text);
    if (copy == nullptr) {
        log_alert("%s[%u]: cannot allocate %zu bytes", file, line, std::strlen(text) + 1);
        out_of_memory();
    }
    return copy;
}

void xfree(void *block, const char *, unsigned int)
{
    std::free(block);
}

void xalloc_install_new_handler(void)
{
    std::set_new_handler([] {
        log_alert("operator new: cannot allocate memory");
        out_of_memory();
    });
}
