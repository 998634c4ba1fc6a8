// What the readers take from the elements of a compact tree: an element's
// text, its entities expanded, within limits that keep a few bytes of
// declarations from turning into gigabytes; and what an entity reference
// brings in besides text, which the readers pass over.
#pragma once

#include <cstddef>
#include <unordered_map>

#include <libxml/tree.h>

#include "support/xml_handle.h"
#include "support/xml_tree.h"

// What entity references may add to the texts of one document, in all:
// each node reached through a reference costs one, and each byte it adds
// one more. It leaves room for one text beyond kXmlTextMax to be
// recognised as too long, and stops a few bytes of declarations from
// turning into gigabytes of text.
inline constexpr size_t kXmlExpansionMax = 2 * kXmlTextMax;

// The XML library refuses entities nested more than 40 deep (without its
// "huge" option); a deeper nesting is none it made, and a loop in one must
// not run the stack out.
inline constexpr unsigned int kXmlEntityDepthMax = 64;

// Why an element's text was not joined whole.
enum class xml_text_fault {
    none,
    // It refers to an entity that cannot be expanded: one declared as
    // external (such entities are never read, so as not to open files or
    // addresses a document names) or one not declared at all. The text
    // would otherwise silently lack that part.
    unexpanded_entity,
    // It is longer than kXmlTextMax; the text holds its first
    // kXmlTextMax + 1 bytes, enough for any check of length to refuse it.
    too_long,
    // The document's entities have expanded beyond kXmlExpansionMax, or
    // are nested deeper than kXmlEntityDepthMax.
    expansion,
};

// Joins the texts of elements of one compact tree: each element's own
// text, with its entity references replaced by their text (comments,
// processing instructions and elements in the replacement passed over),
// as the XML library's xmlNodeListGetString(doc, children, 1) joins an
// element of its own tree, but in time linear in the text and within the
// limits above. The text is null when nothing was joined (no text, or
// only comments or elements); an empty CDATA section makes it empty
// instead.
class xml_text_joiner {
  public:
    explicit xml_text_joiner(xmlDoc *doc) : doc_(doc) {}

    struct joined {
        // Borrowed from the tree when the element's text needed no
        // joining, else `owned`; null when the element has no text, and on
        // every fault but too_long.
        const char *text = nullptr;
        xml_text_fault fault = xml_text_fault::none;
        const xmlChar *entity = nullptr; // the name, for unexpanded_entity
        xml_text_ptr owned;
    };
    // `element` belongs to the tree whose doc() this joiner was made with.
    joined text(const xml_node *element);

  private:
    class join;

    xmlDoc *doc_;
    size_t expansion_left_ = kXmlExpansionMax;
};

// What the replacement of an entity holds besides text, for the readers
// that take only text from entities: the first element it brings in, or
// that it cannot be known, the entity being external or undeclared (such
// entities are never read). Each declaration's replacement is looked at
// once, however many references a document makes to it, and nested ones
// through the references in it.
class xml_markup_finder {
  public:
    struct markup {
        const xmlNode *element = nullptr; // the first element brought in
        bool unexpanded = false;          // an entity that is never read
        explicit operator bool() const { return element != nullptr || unexpanded; }
    };

    explicit xml_markup_finder(xmlDoc *doc) : doc_(doc) {}

    // What the entity of the reference `reference` brings in.
    markup of(const xml_node *reference) { return of(reference->entity); }
    // What the declaration `entity` (null for an undeclared one) brings in.
    markup of(const xmlEntity *entity) { return of_entity(entity, 0); }

  private:
    markup of_entity(const xmlEntity *entity, unsigned int depth);

    xmlDoc *doc_;
    std::unordered_map<const xmlEntity *, markup> seen_;
};

// The declaration a reference node of the library's tree refers to (an
// entity's replacement is made of such nodes); null for an undeclared
// entity.
const xmlEntity *xml_entity_of(xmlDoc *doc, const xmlNode *reference);

// The nodes of an entity's replacement. The parse of an xml_tree keeps
// them in the declaration; for an internal entity that has none (one
// never referenced in content, say), this makes them, once, without a
// word (the parse said what there was to say).
const xmlNode *xml_entity_content(xmlDoc *doc, const xmlEntity *entity);
