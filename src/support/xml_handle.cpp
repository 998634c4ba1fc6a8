#include "support/xml_handle.h"

#include <libxml/parserInternals.h>

#include "support/alloc.h"

static_assert(kXmlTextMax == XML_MAX_TEXT_LENGTH,
              "the readers' text limit must be the XML library's");

namespace {

constexpr const char kAllocModule[] = "xml_handle";

void *checked_malloc(size_t size)
{
    return xmalloc(size, kAllocModule);
}

// A block shrunk to nothing would come back null from the C library and
// pass for exhaustion.
void *checked_realloc(void *block, size_t size)
{
    return xreallocarray(block, 1, size != 0 ? size : 1, kAllocModule);
}

char *checked_strdup(const char *text)
{
    return xstrdup(text, kAllocModule);
}

void plain_free(void *block)
{
    xfree(block, kAllocModule);
}

} // namespace

void xml_use_checked_allocation()
{
    // Both sets end in the same C library allocator, so blocks the library
    // allocated before the switch may still be freed after it.
    static const bool installed = [] {
        xmlMemSetup(plain_free, checked_malloc, checked_realloc, checked_strdup);
        return true;
    }();
    (void)installed;
}
