#include "support/xml_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <libxml/entities.h>

#include "support/alloc.h"
#include "support/log.h"

namespace {

constexpr const char kAllocModule[] = "xml_handle";

void *checked_malloc(size_t size)
{
    return XMALLOC(size);
}

// A block shrunk to nothing would come back null from the C library and
// pass for exhaustion.
void *checked_realloc(void *block, size_t size)
{
    return XREALLOCARRAY(block, 1, size != 0 ? size : 1);
}

char *checked_strdup(const char *text)
{
    return XSTRDUP(text);
}

void plain_free(void *block)
{
    XFREE(block);
}

struct fd_guard {
    int fd;
    ~fd_guard()
    {
        if (fd >= 0)
            close(fd);
    }
};

// Entities nest, and a document may refer to one entity many times; each
// declaration is looked into once. The parser has already refused loops.
const xmlChar *first_unexpanded(xmlDoc *doc, const xmlNode *list,
                                std::vector<const xmlEntity *> &seen)
{
    for (const xmlNode *node = list; node != nullptr; node = node->next) {
        if (node->type != XML_ENTITY_REF_NODE)
            continue;
        const xmlEntity *entity = xmlGetDocEntity(doc, node->name);
        if (entity == nullptr || entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
            entity->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY)
            return node->name;
        if (std::find(seen.begin(), seen.end(), entity) != seen.end())
            continue;
        seen.push_back(entity);
        if (const xmlChar *name = first_unexpanded(doc, entity->children, seen))
            return name;
    }
    return nullptr;
}

} // namespace

void xml_free_doc(xmlDoc *doc)
{
#if defined(__GLIBC__) && defined(M_MXFAST)
    // A large tree is a great many small blocks. Freed into the C library's
    // fast bins, they are merged only when a larger block is asked for
    // later, by then cold in the cache, which costs more than parsing did;
    // without fast bins they are merged while the free touches them anyway.
    constexpr int kDefaultMaxFast = 64 * sizeof(size_t) / 4;
    mallopt(M_MXFAST, 0);
    xmlFreeDoc(doc);
    mallopt(M_MXFAST, kDefaultMaxFast);
#else
    xmlFreeDoc(doc);
#endif
}

xml_text_ptr xml_element_text(xmlDoc *doc, const xmlNode *element)
{
    // Most elements hold one text node. The library's general path copies
    // it with a byte-wise length count, which long texts pay for dearly.
    if (const char *only = xml_single_text(element)) {
        const size_t len = std::strlen(only);
        if (auto *copy = static_cast<xmlChar *>(xmlMalloc(len + 1))) {
            std::memcpy(copy, only, len + 1);
            return xml_text_ptr(copy);
        }
    }
    return xml_text_ptr(xmlNodeListGetString(doc, element->children, 1));
}

xml_text_ptr xml_take_element_text(xmlDoc *doc, xmlNode *element)
{
    xmlNode *only = element->children;
    // The same test the library makes before it frees a node's text: texts
    // kept inside the node (compact mode) or in the document's dictionary
    // are not blocks of their own and are copied as usual.
    if (xml_single_text(element) != nullptr && only->content != nullptr &&
        only->content != reinterpret_cast<xmlChar *>(&only->properties) &&
        (doc->dict == nullptr || xmlDictOwns(doc->dict, only->content) == 0)) {
        xmlChar *text = only->content;
        only->content = nullptr;
        return xml_text_ptr(text);
    }
    return xml_element_text(doc, element);
}

const xmlChar *xml_unexpanded_entity(xmlDoc *doc, const xmlNode *element)
{
    std::vector<const xmlEntity *> seen;
    return first_unexpanded(doc, element->children, seen);
}

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

xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end)
{
    xml_use_checked_allocation();
    // Reading through our own descriptor keeps the library from treating
    // the name as a URL or a compressed file, and lets us say plainly why a
    // file cannot be read.
    fd_guard file{open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) {
        log_error("%s: %s%s", path, std::strerror(errno), line_end);
        return nullptr;
    }
    struct stat st;
    if (fstat(file.fd, &st) != 0) {
        log_error("%s: %s%s", path, std::strerror(errno), line_end);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        log_error("%s: %s%s", path, std::strerror(EISDIR), line_end);
        return nullptr;
    }
    // Big-lines mode keeps line numbers right past 65535 in messages;
    // compact mode keeps short texts inside their nodes, saving an
    // allocation each (the tree is only read, never changed).
    return xml_doc_ptr(xmlReadFd(file.fd, path, nullptr, XML_PARSE_BIG_LINES | XML_PARSE_COMPACT));
}
