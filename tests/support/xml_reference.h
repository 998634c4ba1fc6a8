// The XML library's own tree, parsed as the readers parse the compact tree
// and joined as they join its texts: the reference the unit tests and the
// fuzzers hold the compact tree against. No program ships it.
#pragma once

#include <cstddef>

#include <libxml/tree.h>

#include "support/xml_handle.h"
#include "support/xml_text.h"

// Parses the local file `path` with the options, the input and the reports
// of xml_tree_parse_local_file, into the library's own tree: the same
// messages (the library's reports included) and the same verdict on the
// document.
xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end = "\n");

// As xml_tree_parse_fd, into the library's own tree.
xml_doc_ptr xml_parse_fd(int fd, const char *name, const char *line_end = "\n");

// As xml_tree_parse_memory, into the library's own tree.
xml_doc_ptr xml_parse_memory(const char *bytes, size_t size, const char *name);

// The text of an element whose one child is a text or CDATA node, borrowed
// from the tree; null for any other element.
const char *xml_single_text(const xmlNode *element);

struct xml_text {
    xml_text_ptr text; // null when the element has no text, and on every fault but too_long
    xml_text_fault fault = xml_text_fault::none;
    const xmlChar *entity = nullptr; // the name, for unexpanded_entity
};

// The join of xml_text_joiner, on an element of the library's own tree: its
// text and CDATA children, with entity references replaced by their text,
// within the same limits and with the same faults. Written apart from the
// readers' joiner, so that each checks the other.
class library_text_joiner {
  public:
    explicit library_text_joiner(xmlDoc *doc) : doc_(doc) {}

    xml_text text(const xmlNode *element);

    // As text(), but when the element holds one text node whose text has
    // a block of its own, that block is taken out of the tree instead of
    // copied.
    xml_text take(xmlNode *element);

  private:
    class join;

    xmlDoc *doc_;
    size_t expansion_left_ = kXmlExpansionMax;
};
