// Owning handles for libxml2 objects, so every return path releases them.
#pragma once

#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>

struct xml_doc_deleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using xml_doc_ptr = std::unique_ptr<xmlDoc, xml_doc_deleter>;

struct xml_text_deleter {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using xml_text_ptr = std::unique_ptr<xmlChar, xml_text_deleter>;

// The text of an element's direct children joined, entity references
// replaced; null when the element has no text at all.
inline xml_text_ptr xml_element_text(xmlDoc *doc, const xmlNode *element)
{
    return xml_text_ptr(xmlNodeListGetString(doc, element->children, 1));
}

inline const char *xml_chars(const xmlChar *text)
{
    return reinterpret_cast<const char *>(text);
}

// Parses the local file `path` with the library's safe defaults (no entity
// substitution, no DTD loading, no network, no decompression). A file that
// cannot be opened, or a directory, is reported as "PATH: reason" with the
// given line ending and gives null without parsing; parser diagnostics go
// to standard error as the library prints them.
xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end = "\n");
