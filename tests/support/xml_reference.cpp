#include "xml_reference.h"

#include <cstring>
#include <string>

#include <libxml/entities.h>
#include <libxml/parser.h>

#include "support/fd.h"
#include "support/xml_input.h"
#include "support/xml_report.h"

namespace {

// A parse into the library's own tree with a context of its own, whose
// reports go to the log.
template <typename Read> xml_doc_ptr parse_with_reports(Read read)
{
    const xml_parser_ctxt_ptr ctxt(xmlNewParserCtxt());
    if (!ctxt)
        return nullptr;
    const xml_reports_to_log reports(ctxt.get());
    return xml_doc_ptr(read(ctxt.get()));
}

} // namespace

xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end)
{
    fd_guard file(xml_open_local_file(path, line_end));
    if (!file)
        return nullptr;
    return xml_parse_fd(file.get(), path, line_end);
}

xml_doc_ptr xml_parse_fd(int fd, const char *name, const char *line_end)
{
    if (!xml_prepare_fd(fd, name, line_end))
        return nullptr;
    return parse_with_reports(
        [&](xmlParserCtxt *ctxt) { return xmlCtxtReadFd(ctxt, fd, name, nullptr, kXmlParseOptions); });
}

xml_doc_ptr xml_parse_memory(const char *bytes, size_t size, const char *name)
{
    xml_memory_input input{bytes, size};
    return parse_with_reports([&](xmlParserCtxt *ctxt) {
        return xmlCtxtReadIO(ctxt, xml_read_memory, nullptr, &input, name, nullptr,
                             kXmlParseOptions);
    });
}

const char *xml_single_text(const xmlNode *element)
{
    const xmlNode *only = element->children;
    if (only == nullptr || only->next != nullptr ||
        (only->type != XML_TEXT_NODE && only->type != XML_CDATA_SECTION_NODE))
        return nullptr;
    return xml_chars(only->content);
}

// One element's text, gathered node by node: the library's tree holds the
// element's own text and each entity's replacement as lists of nodes.
class library_text_joiner::join {
  public:
    join(xmlDoc *doc, size_t &expansion_left) : doc_(doc), expansion_left_(expansion_left) {}

    // Appends the texts of `node` and its siblings, reached through
    // `depth` entity references; false once a fault has ended the join.
    bool nodes(const xmlNode *node, unsigned int depth)
    {
        for (; node != nullptr; node = node->next) {
            if (depth > 0 && !spend(1))
                return false;
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                if (node->content != nullptr) {
                    any_ = true;
                    if (!add(xml_chars(node->content), depth > 0))
                        return false;
                }
            } else if (node->type == XML_ENTITY_REF_NODE) {
                const xmlEntity *entity = xml_entity_of(doc_, node);
                if (entity == nullptr || entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
                    entity->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY) {
                    fault_ = xml_text_fault::unexpanded_entity;
                    entity_ = node->name;
                    return false;
                }
                if (depth >= kXmlEntityDepthMax) {
                    fault_ = xml_text_fault::expansion;
                    return false;
                }
                if (!nodes(xml_entity_content(doc_, entity), depth + 1))
                    return false;
            }
        }
        return true;
    }

    xml_text result() const
    {
        xml_text out;
        out.fault = fault_;
        out.entity = entity_;
        if (any_ && fault_ != xml_text_fault::unexpanded_entity &&
            fault_ != xml_text_fault::expansion)
            out.text.reset(xmlStrndup(reinterpret_cast<const xmlChar *>(text_.data()),
                                      static_cast<int>(text_.size())));
        return out;
    }

  private:
    bool spend(size_t cost)
    {
        if (cost > expansion_left_) {
            expansion_left_ = 0;
            fault_ = xml_text_fault::expansion;
            return false;
        }
        expansion_left_ -= cost;
        return true;
    }

    // Up to one byte beyond the limit: enough to tell a text too long.
    bool add(const char *content, bool through_entity)
    {
        const size_t length = strnlen(content, kXmlTextMax + 1 - text_.size());
        if (length == 0)
            return true;
        if (through_entity && !spend(length))
            return false;
        text_.append(content, length);
        if (text_.size() > kXmlTextMax) {
            fault_ = xml_text_fault::too_long;
            return false;
        }
        return true;
    }

    xmlDoc *doc_;
    size_t &expansion_left_;
    std::string text_;
    bool any_ = false;
    xml_text_fault fault_ = xml_text_fault::none;
    const xmlChar *entity_ = nullptr;
};

xml_text library_text_joiner::text(const xmlNode *element)
{
    join joined(doc_, expansion_left_);
    joined.nodes(element->children, 0);
    return joined.result();
}

xml_text library_text_joiner::take(xmlNode *element)
{
    xmlNode *only = element->children;
    // The same test the library makes before it frees a node's text: texts
    // kept inside the node (compact mode) or in the document's dictionary
    // are not blocks of their own and are copied as usual.
    if (xml_single_text(element) != nullptr && only->content != nullptr &&
        only->content != reinterpret_cast<xmlChar *>(&only->properties) &&
        (doc_->dict == nullptr || xmlDictOwns(doc_->dict, only->content) == 0)) {
        xml_text out;
        out.text.reset(only->content);
        only->content = nullptr;
        if (strnlen(xml_chars(out.text.get()), kXmlTextMax + 1) > kXmlTextMax) {
            out.text.get()[kXmlTextMax + 1] = '\0';
            out.fault = xml_text_fault::too_long;
        }
        return out;
    }
    return text(element);
}
