// A parsed document as the configuration readers need it, and no more: its
// elements with their lines, the text each holds directly, and the entity
// references among them. The XML library's own tree keeps several nodes
// of 120 bytes and a block for every text, and freeing them costs about as
// much as building them; this one is built from the parser's SAX2 events
// into a few large blocks, and freed in one go.
#pragma once

#include <cstddef>
#include <memory>
#include <sys/types.h>

#include "support/xml_handle.h"

struct xml_node {
    enum class kind : unsigned char { element, reference };

    kind type;
    // An element held a text or CDATA section, if an empty one.
    bool has_text = false;
    // Of the element's start tag (where the tag ends, as the XML library
    // counts); of a reference, the line the library's tree gives it (see
    // xml_tree.cpp).
    long line = 0;
    // An element's name as the library's tree names it; an entity's name.
    const char *name = nullptr;
    xml_node *parent = nullptr;
    // An element's elements and entity references, in document order.
    xml_node *children = nullptr;
    xml_node *next = nullptr;
    union {
        // An element's direct text, the texts of its elements and of its
        // entity references left out, ended by a null byte; "" for none.
        const char *text = "";
        // A reference's declaration (null when the entity was not declared).
        const xmlEntity *entity;
    };
    union {
        size_t length = 0; // of an element's text
        size_t offset;     // of a reference: its place in its parent's text
    };

    bool is_element() const { return type == kind::element; }
};

class xml_tree {
  public:
    xml_tree();
    ~xml_tree();
    xml_tree(const xml_tree &) = delete;
    xml_tree &operator=(const xml_tree &) = delete;

    // Null for a document without a root element.
    const xml_node *root() const { return root_; }
    // What the document declares (its entities); never null once parsed.
    xmlDoc *doc() const { return doc_.get(); }

  private:
    friend class xml_tree_builder;
    class arena;

    std::unique_ptr<arena> arena_;
    xml_doc_ptr doc_;
    xml_node *root_ = nullptr;
};
using xml_tree_ptr = std::unique_ptr<xml_tree>;

// Parses the local file `path` with the library's safe defaults (no entity
// substitution, no DTD loading, no network, no decompression) into an
// xml_tree. A file that cannot be opened, or a directory, is reported as
// "PATH: reason" with the given line end ("\n" or "") and gives null
// without parsing. The parser's reports go to the log (see
// xml_reports_to_log); a document that does not parse gives null after
// them.
xml_tree_ptr xml_tree_parse_local_file(const char *path, const char *line_end = "\n");

// As xml_tree_parse_local_file, on the file already open as `fd`, read from
// where it stands to its end and named `name` in messages; the descriptor
// stays open. A directory is reported as above.
xml_tree_ptr xml_tree_parse_fd(int fd, const char *name, const char *line_end = "\n");

// As xml_tree_parse_fd, on a descriptor whose fstat gave `mode`, without
// another one.
xml_tree_ptr xml_tree_parse_examined_fd(int fd, mode_t mode, const char *name,
                                        const char *line_end = "\n");

// As xml_tree_parse_local_file, on a document of `size` bytes in memory
// named `name` in messages; the library reads it as it would read a file
// with those bytes, reports included.
xml_tree_ptr xml_tree_parse_memory(const char *bytes, size_t size, const char *name);
