#include "support/xml_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/entities.h>

#include "support/alloc.h"
#include "support/fd.h"
#include "support/log.h"
#include "support/log_input.h"
#include "support/xml_tree.h"

namespace {

constexpr const char kAllocModule[] = "xml_handle";

// The XML library refuses entities nested more than 40 deep (without its
// "huge" option); a deeper nesting is none it made, and a loop in one must
// not run the stack out.
constexpr unsigned int kMaxEntityDepth = 64;

// An undeclared or external entity: the readers never read one.
bool never_read(const xmlEntity *entity)
{
    return entity == nullptr || entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
           entity->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY;
}

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

// The library's words for where a report comes from and how grave it is,
// as it prints them itself.
constexpr struct {
    int domain;
    const char *name;
} kReportOrigins[] = {
    {XML_FROM_PARSER, "parser "},       {XML_FROM_NAMESPACE, "namespace "},
    {XML_FROM_DTD, "validity "},        {XML_FROM_VALID, "validity "},
    {XML_FROM_HTML, "HTML parser "},    {XML_FROM_MEMORY, "memory "},
    {XML_FROM_OUTPUT, "output "},       {XML_FROM_IO, "I/O "},
    {XML_FROM_XINCLUDE, "XInclude "},   {XML_FROM_XPATH, "XPath "},
    {XML_FROM_XPOINTER, "parser "},     {XML_FROM_REGEXP, "regexp "},
    {XML_FROM_MODULE, "module "},       {XML_FROM_SCHEMASV, "Schemas validity "},
    {XML_FROM_SCHEMASP, "Schemas parser "}, {XML_FROM_RELAXNGP, "Relax-NG parser "},
    {XML_FROM_RELAXNGV, "Relax-NG validity "}, {XML_FROM_CATALOG, "Catalog "},
    {XML_FROM_C14N, "C14N "},           {XML_FROM_XSLT, "XSLT "},
    {XML_FROM_I18N, "encoding "},       {XML_FROM_SCHEMATRONV, "schematron "},
    {XML_FROM_BUFFER, "internal buffer "}, {XML_FROM_URI, "URI "},
};

const char *report_origin(int domain)
{
    for (const auto &origin : kReportOrigins) {
        if (origin.domain == domain)
            return origin.name;
    }
    return "";
}

// Reports that quote the input in their text, and where the quote
// starts: what a comment, a CDATA section or a failed conversion holds may
// be a password (a URL commented out, say). The library's other reports
// quote names, numbers and its own words.
constexpr struct {
    int domain;
    int code;
    const char *quote;
} kQuotingReports[] = {
    {XML_FROM_PARSER, XML_ERR_HYPHEN_IN_COMMENT, ": <!--"},
    {XML_FROM_I18N, XML_I18N_CONV_FAILED, ", bytes"},
};

// The report's own text, as much of it as may be shown: its first line
// (the reports of more lines quote the input on the next ones: text that
// is not UTF-8, a comment or a CDATA section not closed), without what
// the reports above quote. A value of the report that holds an '@' is no
// name (a name cannot hold one) but a URI or a literal, which may carry
// user information: it is shown as a password is.
std::string report_text(const xmlError *error)
{
    std::string text = error->message != nullptr ? error->message : "out of memory error";
    for (const char *value : {error->str1, error->str2, error->str3}) {
        if (value == nullptr || std::strchr(value, '@') == nullptr)
            continue;
        const std::string_view quoted(value);
        for (size_t at = text.find(quoted); at != std::string::npos;
             at = text.find(quoted, at + std::strlen(kLogSecret)))
            text.replace(at, quoted.size(), kLogSecret);
    }
    text.resize(std::min(text.size(), text.find('\n')));
    for (const auto &quoting : kQuotingReports) {
        if (error->domain == quoting.domain && error->code == quoting.code)
            text.resize(std::min(text.size(), text.find(quoting.quote)));
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// One report, whole, in the library's words (without the line of input it
// would quote, with a caret under the place: that line may hold a
// password or a terminal's control sequence, and the line number says
// where already), with the name of the input and every text of the report
// shown as values are.
void report_to_log(void *context, xmlError *error)
{
    if (error == nullptr || error->code == XML_ERR_OK)
        return;
    const int level = error->level == XML_ERR_ERROR || error->level == XML_ERR_FATAL
                          ? LOG_LEVEL_ERROR
                          : LOG_LEVEL_WARNING;
    std::string line;
    const char *file = error->file;
    long at = error->line;
    // A report raised without a parser (the conversion of the input's
    // encoding) gets the place the parse of `context` has reached.
    const auto *ctxt = static_cast<const xmlParserCtxt *>(context);
    if (file == nullptr && at == 0 && error->ctxt == nullptr && ctxt != nullptr &&
        ctxt->input != nullptr) {
        file = ctxt->input->filename;
        at = ctxt->input->line;
    }
    if (file != nullptr)
        line += log_input_value(file) + ":" + std::to_string(at) + ": ";
    else if (at != 0 && error->domain == XML_FROM_PARSER)
        line += "Entity: line " + std::to_string(at) + ": ";
    const auto *node = static_cast<const xmlNode *>(error->node);
    if (node != nullptr && node->type == XML_ELEMENT_NODE && node->name != nullptr)
        line += "element " + log_input_value(xml_chars(node->name)) + ": ";
    line += report_origin(error->domain);
    line += level == LOG_LEVEL_ERROR        ? "error : "
            : error->level == XML_ERR_NONE ? ": "
                                            : "warning : ";
    line += log_input_value(report_text(error).c_str());
    log_library(level, line.c_str());
}

void no_report(void *, xmlError *) {}

} // namespace

// The line end belongs to the format: a value is shown with its control
// characters escaped (see log_input).
void xml_report_unreadable(const char *path, int errnum, const char *line_end)
{
    if (line_end[0] == '\n')
        log_error("%s: %s\n", path, std::strerror(errnum));
    else
        log_error("%s: %s", path, std::strerror(errnum));
}

void xml_prepare_parse()
{
    xml_use_checked_allocation();
}

xml_reports_to_log::xml_reports_to_log(xmlParserCtxt *ctxt)
    : saved_(xmlStructuredError), saved_context_(xmlStructuredErrorContext)
{
    ctxt->sax->serror = report_to_log;
    xmlSetStructuredErrorFunc(ctxt, report_to_log);
}

xml_reports_to_log::~xml_reports_to_log()
{
    xmlSetStructuredErrorFunc(saved_context_, saved_);
}

bool xml_prepare_fd(int fd, const char *name, const char *line_end)
{
    xml_prepare_parse();
    struct stat st;
    if (fstat(fd, &st) != 0) {
        xml_report_unreadable(name, errno, line_end);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        xml_report_unreadable(name, EISDIR, line_end);
        return false;
    }
    return true;
}

int xml_open_local_file(const char *path, const char *line_end)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        xml_report_unreadable(path, errno, line_end);
    return fd;
}

int xml_read_memory(void *context, char *buffer, int len)
{
    auto *input = static_cast<xml_memory_input *>(context);
    const size_t n = std::min(input->left, static_cast<size_t>(len > 0 ? len : 0));
    std::memcpy(buffer, input->bytes, n);
    input->bytes += n;
    input->left -= n;
    return static_cast<int>(n);
}

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

// One element's text, gathered in a block that grows by doubling, so that
// joining costs time in proportion to the text however many pieces it
// comes in.
class xml_text_joiner::join {
  public:
    join(xmlDoc *doc, size_t &expansion_left) : doc_(doc), expansion_left_(expansion_left) {}
    ~join() { XFREE(block_); }
    join(const join &) = delete;
    join &operator=(const join &) = delete;

    // Appends the texts of `node` and its siblings, entities expanded;
    // false once a fault has ended the join. `depth` counts the entity
    // references the nodes were reached through.
    bool list(const xmlNode *node, unsigned int depth);

    // The texts of an element of an xml_tree, its references expanded.
    bool element(const xml_node *element);

    xml_text result();

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

    bool append(const xmlChar *content, bool through_entity);
    bool append(const char *text, size_t length, bool through_entity);
    bool expand(const xmlEntity *entity, const xmlChar *name, unsigned int depth);

    xmlDoc *doc_;
    size_t &expansion_left_;
    xmlChar *block_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool any_ = false; // a text or CDATA node was met, if an empty one
    xml_text_fault fault_ = xml_text_fault::none;
    const xmlChar *entity_ = nullptr;
};

bool xml_text_joiner::join::list(const xmlNode *node, unsigned int depth)
{
    for (; node != nullptr; node = node->next) {
        // The nodes of the element itself are paid for by the size of the
        // file; those of entities can be met any number of times.
        if (depth > 0 && !spend(1))
            return false;
        switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (node->content != nullptr && !append(node->content, depth > 0))
                return false;
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

bool xml_text_joiner::join::expand(const xmlEntity *entity, const xmlChar *name,
                                   unsigned int depth)
{
    if (never_read(entity)) {
        fault_ = xml_text_fault::unexpanded_entity;
        entity_ = name;
        return false;
    }
    if (depth >= kMaxEntityDepth) {
        fault_ = xml_text_fault::expansion;
        return false;
    }
    return list(xml_entity_content(doc_, entity), depth + 1);
}

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

bool xml_text_joiner::join::append(const xmlChar *content, bool through_entity)
{
    any_ = true;
    // One byte beyond the limit is enough to tell a text too long.
    return append(xml_chars(content), strnlen(xml_chars(content), kXmlTextMax + 1 - size_),
                  through_entity);
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
        block_ = static_cast<xmlChar *>(XREALLOCARRAY(block_, 1, capacity_));
    }
    std::memcpy(block_ + size_, content, len);
    size_ += len;
    if (size_ > kXmlTextMax) {
        fault_ = xml_text_fault::too_long;
        return false;
    }
    return true;
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

xml_markup_finder::markup xml_markup_finder::of(const xmlNode *reference)
{
    return of_entity(xml_entity_of(doc_, reference), 0);
}

xml_markup_finder::markup xml_markup_finder::of(const xml_node *reference)
{
    return of_entity(reference->entity, 0);
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

xml_markup_finder::markup xml_markup_finder::of_entity(const xmlEntity *entity,
                                                       unsigned int depth)
{
    if (never_read(entity))
        return markup{.unexpanded = true};
    // The parser refuses a loop; one it let through ends here as an entity
    // that brings nothing in.
    if (depth >= kMaxEntityDepth)
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

xml_text xml_text_joiner::join::result()
{
    xml_text out;
    out.fault = fault_;
    out.entity = entity_;
    if (!any_ || fault_ == xml_text_fault::unexpanded_entity ||
        fault_ == xml_text_fault::expansion)
        return out;
    if (capacity_ != size_ + 1)
        block_ = static_cast<xmlChar *>(XREALLOCARRAY(block_, 1, size_ + 1));
    block_[size_] = '\0';
    out.text.reset(block_);
    block_ = nullptr;
    return out;
}

xml_text xml_text_joiner::text(const xmlNode *element)
{
    // Most elements hold one text node, which needs no joining. One longer
    // than the limit is cut and marked all the same.
    if (const char *only = xml_single_text(element)) {
        const size_t len = strnlen(only, kXmlTextMax + 1);
        auto *copy = static_cast<xmlChar *>(XMALLOC(len + 1));
        std::memcpy(copy, only, len);
        copy[len] = '\0';
        xml_text out;
        out.text.reset(copy);
        if (len > kXmlTextMax)
            out.fault = xml_text_fault::too_long;
        return out;
    }
    join joined(doc_, expansion_left_);
    joined.list(element->children, 0);
    return joined.result();
}

xml_text xml_text_joiner::take(xmlNode *element)
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

xml_text_joiner::joined xml_text_joiner::text(const xml_node *element)
{
    joined out;
    // Most elements hold their text alone, which needs no joining.
    bool plain = true;
    for (const xml_node *node = element->children; node != nullptr && plain; node = node->next)
        plain = node->is_element();
    if (plain) {
        if (!element->has_text)
            return out;
        if (element->length <= kXmlTextMax) {
            out.text = element->text;
            return out;
        }
    }
    join joined(doc_, expansion_left_);
    joined.element(element);
    xml_text whole = joined.result();
    out.fault = whole.fault;
    out.entity = whole.entity;
    out.owned = std::move(whole.text);
    out.text = xml_chars(out.owned.get());
    return out;
}

void xml_pass_over(log_input &messages, const xml_node *node)
{
    if (!node->is_element())
        return;
    // The line end belongs to the format: a value is shown with its control
    // characters escaped.
    messages.notice(messages.line_end()[0] == '\n' ? "%s[%ld]: passed over <%s> in <%s>\n"
                                                   : "%s[%ld]: passed over <%s> in <%s>",
                    messages.path(), node->line, node->name, node->parent->name);
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
    fd_guard file(xml_open_local_file(path, line_end));
    if (!file)
        return nullptr;
    return xml_parse_fd(file.get(), path, line_end);
}

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

xml_doc_ptr xml_parse_fd(int fd, const char *name, const char *line_end)
{
    if (!xml_prepare_fd(fd, name, line_end))
        return nullptr;
    return parse_with_reports(
        [&](xmlParserCtxt *ctxt) { return xmlCtxtReadFd(ctxt, fd, name, nullptr, kXmlParseOptions); });
}

xml_doc_ptr xml_parse_memory(const char *bytes, size_t size, const char *name)
{
    xml_prepare_parse();
    xml_memory_input input{bytes, size};
    return parse_with_reports([&](xmlParserCtxt *ctxt) {
        return xmlCtxtReadIO(ctxt, xml_read_memory, nullptr, &input, name, nullptr,
                             kXmlParseOptions);
    });
}
