// Owning handles for libxml2 objects, so every return path releases them.
#pragma once

#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>

// Frees a parsed document; see xml_handle.cpp for how.
void xml_free_doc(xmlDoc *doc);

struct xml_doc_deleter {
    void operator()(xmlDoc *doc) const { xml_free_doc(doc); }
};
using xml_doc_ptr = std::unique_ptr<xmlDoc, xml_doc_deleter>;

struct xml_text_deleter {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using xml_text_ptr = std::unique_ptr<xmlChar, xml_text_deleter>;

// The text of an element's direct children joined, entity references
// replaced; null when the element has no text at all.
xml_text_ptr xml_element_text(xmlDoc *doc, const xmlNode *element);

// The text of `element` as xml_element_text gives it, but when the element
// holds one text node whose text has a block of its own, that block is
// taken out of the tree instead of copied: for a document that is about to
// be freed, where long texts would otherwise be copied once more.
xml_text_ptr xml_take_element_text(xmlDoc *doc, xmlNode *element);

// The text of an element whose one child is a text or CDATA node, borrowed
// from the tree; null for any other element (xml_element_text takes those).
inline const char *xml_single_text(const xmlNode *element)
{
    const xmlNode *only = element->children;
    if (only == nullptr || only->next != nullptr ||
        (only->type != XML_TEXT_NODE && only->type != XML_CDATA_SECTION_NODE))
        return nullptr;
    return reinterpret_cast<const char *>(only->content);
}

// The name of the first entity that the element's text refers to and that
// xml_element_text cannot expand: one declared as external (such entities
// are never read, so as not to open files or addresses a document names) or
// one not declared at all. Null when every reference expands. Without this
// check such a reference would silently drop out of the text.
const xmlChar *xml_unexpanded_entity(xmlDoc *doc, const xmlNode *element);

inline const char *xml_chars(const xmlChar *text)
{
    return reinterpret_cast<const char *>(text);
}

// Makes the XML library allocate through the checked allocation, so that
// memory running out inside it ends the run with the usual alert instead
// of leaving a document or a text silently cut short (the library carries
// on after many such failures). xml_parse_local_file does this itself.
void xml_use_checked_allocation();

// Parses the local file `path` with the library's safe defaults (no entity
// substitution, no DTD loading, no network, no decompression). A file that
// cannot be opened, or a directory, is reported as "PATH: reason" with the
// given line ending and gives null without parsing; parser diagnostics go
// to standard error as the library prints them.
xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end = "\n");
