// What a read of a version-1 document finds besides the configuration it
// builds: where each entry came from, what it passed over, and what it
// refused. The client asks for none of it; the checker derives its problems
// from it, and the rules (cfg_rules) their findings.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "support/xml_tree.h"

// One entry element of a list section of a document.
struct cfg_document_entry {
    const char *section; // "servers", "streams", ... in small letters
    const char *entry;   // "server", "stream", ... in small letters
    long line;           // of the entry element
    // The text of its last "name" field ("" for an empty one), or null when
    // it has none and so fills the entry named "default".
    const char *name;
};

// What a reader passes over: the client reads only the elements it knows,
// in the places it knows them, and takes nothing but text from a setting
// or an entity. A checker turns each into a problem of its own.
enum class cfg_passed_over_kind {
    // An element of a name the client does not know in that place.
    unknown_element,
    // An element inside a setting, whose text alone the client reads.
    element_in_text,
    // An entity reference that brings elements in, or that the client
    // never expands (an external entity) where the document's elements
    // stand.
    entity_markup,
};

// `place`, below, is where an item stands among the messages of the read's
// channel: the number kept before it (log_input::position) while the
// caller holds them, so that the caller can put a line of its own there.

struct cfg_document_passed_over {
    cfg_passed_over_kind kind;
    long line;           // of the element, or of the entity reference
    const char *element; // its name as written; for entity_markup the first
                         // element the entity brings in, or null
    const char *parent;  // the element it stands in, as written
    const char *entity;  // the entity's name, for entity_markup only
    unsigned long place = 0;
};

// A setting the model refused, right after the reader's message about it;
// or a document that does not parse because of a '&' that opens no entity
// reference (kind stray_ampersand, with only the line).
enum class cfg_refusal_kind { setting, stray_ampersand };

struct cfg_document_refusal {
    cfg_refusal_kind kind;
    long line;                     // of the setting's element, or of the parser's stop
    const char *section = nullptr; // "servers", ..., "metadata"
    const char *entry = nullptr;   // "server", ...; null in the metadata section
    long entry_line = 0;           // of the entry element; 0 in the metadata section
    const char *field = nullptr;   // the setting's element, as the field tables name it
    const char *value = nullptr;   // the refused text; null for an element without text
    const char *reason = nullptr;  // the model's reason
    unsigned long place = 0;
};

// Everything in document order. The texts live as long as the object.
struct cfg_read_facts {
    // Whether the root element was accepted; nothing below is known
    // otherwise, but a stray '&' refusal.
    bool root_read = false;
    long root_line = 0;
    unsigned int sections = 0; // elements at the root that name a section
    // Every entry element of the list sections, whether or not the read
    // refused something before it.
    std::vector<cfg_document_entry> entries;
    // In place of the reader's notice, which is then not given, and also
    // what the reader passes over without one (elements in a setting,
    // elements from entities).
    std::vector<cfg_document_passed_over> passed_over;
    std::vector<cfg_document_refusal> refusals;

    // A copy of `text` that lives as long as the object.
    const char *keep(const char *text) { return texts_.emplace_back(text).c_str(); }
    // The document, which the names of what was passed over and most
    // entry names belong to.
    void keep(xml_tree_ptr tree) { tree_ = std::move(tree); }

  private:
    std::deque<std::string> texts_;
    xml_tree_ptr tree_;
};
