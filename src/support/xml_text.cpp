#include "support/xml_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <libxml/entities.h>
#include <libxml/parser.h>

#include "support/alloc.h"

namespace {

constexpr const char kAllocModule[] = "xml_text";

// An undeclared or external entity: the readers never read one.
bool never_read(const xmlEntity *entity)
{
    return entity == nullptr || entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
           entity->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY;
}

void no_report(void *, xmlError *) {}

} // namespace

// One element's text, gathered in a block that grows by doubling, so that
// joining costs time in proportion to the text however many pieces it
// comes in.
class xml_text_joiner::join {
  public:
    join(xmlDoc *doc, size_t &expansion_left) : doc_(doc), expansion_left_(expansion_left) {}
    ~join() { xfree(block_, kAllocModule); }
    join(const join &) = delete;
    join &operator=(const join &) = delete;

    // The texts of `element`, its references expanded; false once a fault
    // has ended the join.
    bool element(const xml_node *element);

    joined result();

  private:
    bool spend(size_t cost)
    {
        // Once spent, the allowance stays spent: a short text after a long
        // one would otherwise be let through.
        if (cost > expansion_left_) {
            expansion_left_ = 0;
            fault_ = xml_text_fault::expansion;
            return false;
        }
        expansion_left_ -= cost;
        return true;
    }

    // Appends the texts of the replacement's node `node` and its siblings,
    // reached through `depth` entity references.
    bool list(const xmlNode *node, unsigned int depth);
    bool expand(const xmlEntity *entity, const xmlChar *name, unsigned int depth);
    bool append(const char *text, size_t length, bool through_entity);

    xmlDoc *doc_;
    size_t &expansion_left_;
    xmlChar *block_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool any_ = false; // a text or CDATA section was met, if an empty one
    xml_text_fault fault_ = xml_text_fault::none;
    const xmlChar *entity_ = nullptr;
};

bool xml_text_joiner::join::element(const xml_node *element)
{
    any_ = element->has_text;
    size_t at = 0;
    for (const xml_node *node = element->children; node != nullptr; node = node->next) {
        if (node->is_element())
            continue;
        if (!append(element->text + at, node->offset - at, false))
            return false;
        at = node->offset;
        if (!expand(node->entity, reinterpret_cast<const xmlChar *>(node->name), 0))
            return false;
    }
    return append(element->text + at, element->length - at, false);
}

bool xml_text_joiner::join::list(const xmlNode *node, unsigned int depth)
{
    for (; node != nullptr; node = node->next) {
        // The element's own text is paid for by the size of the file; what
        // entities bring in can be met any number of times.
        if (!spend(1))
            return false;
        switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (node->content != nullptr) {
                any_ = true;
                // One byte beyond the limit is enough to tell a text too
                // long.
                const char *content = xml_chars(node->content);
                if (!append(content, strnlen(content, kXmlTextMax + 1 - size_), true))
                    return false;
            }
            break;
        case XML_ENTITY_REF_NODE:
            if (!expand(xml_entity_of(doc_, node), node->name, depth))
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

bool xml_text_joiner::join::expand(const xmlEntity *entity, const xmlChar *name, unsigned int depth)
{
    if (never_read(entity)) {
        fault_ = xml_text_fault::unexpanded_entity;
        entity_ = name;
        return false;
    }
    if (depth >= kXmlEntityDepthMax) {
        fault_ = xml_text_fault::expansion;
        return false;
    }
    return list(xml_entity_content(doc_, entity), depth + 1);
}

bool xml_text_joiner::join::append(const char *content, size_t len, bool through_entity)
{
    len = std::min(len, kXmlTextMax + 1 - size_);
    if (len == 0)
        return true;
    if (through_entity && !spend(len))
        return false;
    if (size_ + len + 1 > capacity_) {
        capacity_ = std::max({size_ + len + 1, 2 * capacity_, size_t{64}});
        block_ = static_cast<xmlChar *>(xreallocarray(block_, 1, capacity_, kAllocModule));
    }
    std::memcpy(block_ + size_, content, len);
    size_ += len;
    if (size_ > kXmlTextMax) {
        fault_ = xml_text_fault::too_long;
        return false;
    }
    return true;
}

xml_text_joiner::joined xml_text_joiner::join::result()
{
    joined out;
    out.fault = fault_;
    out.entity = entity_;
    if (!any_ || fault_ == xml_text_fault::unexpanded_entity || fault_ == xml_text_fault::expansion)
        return out;
    if (capacity_ != size_ + 1)
        block_ = static_cast<xmlChar *>(xreallocarray(block_, 1, size_ + 1, kAllocModule));
    block_[size_] = '\0';
    out.owned.reset(std::exchange(block_, nullptr));
    out.text = xml_chars(out.owned.get());
    return out;
}

xml_text_joiner::joined xml_text_joiner::text(const xml_node *element)
{
    // Most elements hold their text alone, which needs no joining.
    bool plain = true;
    for (const xml_node *node = element->children; node != nullptr && plain; node = node->next)
        plain = node->is_element();
    if (plain) {
        joined out;
        if (!element->has_text)
            return out;
        if (element->length <= kXmlTextMax) {
            out.text = element->text;
            return out;
        }
    }
    join pieces(doc_, expansion_left_);
    pieces.element(element);
    return pieces.result();
}

const xmlEntity *xml_entity_of(xmlDoc *doc, const xmlNode *reference)
{
    // The parser points a reference at the declaration it found; looking
    // the name up instead would hash it at every one of maybe millions of
    // references.
    if (reference->children != nullptr && reference->children->type == XML_ENTITY_DECL)
        return reinterpret_cast<const xmlEntity *>(reference->children);
    return xmlGetDocEntity(doc, reference->name);
}

const xmlNode *xml_entity_content(xmlDoc *doc, const xmlEntity *entity)
{
    if (entity == nullptr || entity->children != nullptr ||
        entity->etype != XML_INTERNAL_GENERAL_ENTITY || entity->content == nullptr)
        return entity != nullptr ? entity->children : nullptr;
    xmlNode *list = nullptr;
    // The parse of the document read this replacement already and said
    // whatever there was to say about it: this one builds its nodes
    // without a word.
    xmlSAXHandler quiet{};
    xmlSAXVersion(&quiet, 2);
    quiet.serror = no_report;
    // Without the document's dictionary the parse keeps each name in a
    // block of its own, which the document frees as such later; with it,
    // the library mixes the names of two dictionaries when the replacement
    // holds references of its own, and frees one as a block.
    xmlDict *dict = doc->dict;
    doc->dict = nullptr;
    const int failed = xmlParseBalancedChunkMemory(doc, &quiet, nullptr, 0, entity->content, &list);
    doc->dict = dict;
    if (failed != 0) {
        xmlFreeNodeList(list);
        return nullptr;
    }
    // Owned by the declaration, as the parser would have it: freed with
    // the document.
    auto *owner = const_cast<xmlEntity *>(entity);
    owner->children = list;
    owner->owner = 1;
    for (xmlNode *node = list; node != nullptr; node = node->next) {
        node->parent = reinterpret_cast<xmlNode *>(owner);
        if (node->next == nullptr)
            owner->last = node;
    }
    return list;
}

xml_markup_finder::markup xml_markup_finder::of_entity(const xmlEntity *entity, unsigned int depth)
{
    if (never_read(entity))
        return markup{.unexpanded = true};
    // The parser refuses a loop; one it let through ends here as an entity
    // that brings nothing in.
    if (depth >= kXmlEntityDepthMax)
        return {};
    // Entered before the walk, so that a loop finds it and stops.
    const auto [known, fresh] = seen_.try_emplace(entity);
    if (!fresh)
        return known->second;
    markup found;
    for (const xmlNode *node = xml_entity_content(doc_, entity); node != nullptr && !found;
         node = node->next) {
        if (node->type == XML_ELEMENT_NODE)
            found.element = node;
        else if (node->type == XML_ENTITY_REF_NODE)
            found = of_entity(xml_entity_of(doc_, node), depth + 1);
    }
    // The map may have grown and moved its entries meanwhile.
    seen_[entity] = found;
    return found;
}
