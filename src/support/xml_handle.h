// Owning handles for libxml2 objects, so every return path releases them.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

struct xml_node;

// Frees a parsed document; see xml_handle.cpp for how.
void xml_free_doc(xmlDoc *doc);

struct xml_doc_deleter {
    void operator()(xmlDoc *doc) const { xml_free_doc(doc); }
};
using xml_doc_ptr = std::unique_ptr<xmlDoc, xml_doc_deleter>;

struct xml_parser_ctxt_deleter {
    void operator()(xmlParserCtxt *ctxt) const { xmlFreeParserCtxt(ctxt); }
};
using xml_parser_ctxt_ptr = std::unique_ptr<xmlParserCtxt, xml_parser_ctxt_deleter>;

struct xml_text_deleter {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using xml_text_ptr = std::unique_ptr<xmlChar, xml_text_deleter>;

// The text of an element whose one child is a text or CDATA node, borrowed
// from the tree; null for any other element (xml_text_joiner takes those).
inline const char *xml_single_text(const xmlNode *element)
{
    const xmlNode *only = element->children;
    if (only == nullptr || only->next != nullptr ||
        (only->type != XML_TEXT_NODE && only->type != XML_CDATA_SECTION_NODE))
        return nullptr;
    return reinterpret_cast<const char *>(only->content);
}

// The longest text node the XML library reads (unless told otherwise,
// which no reader here does).
inline constexpr size_t kXmlTextMax = XML_MAX_TEXT_LENGTH;

// What entity references may add to the texts of one document, in all:
// each node reached through a reference costs one, and each byte it adds
// one more. It leaves room for one text beyond kXmlTextMax to be
// recognised as too long, and stops a few bytes of declarations from
// turning into gigabytes of text.
inline constexpr size_t kXmlExpansionMax = 2 * kXmlTextMax;

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
    // The document's entities have expanded beyond kXmlExpansionMax.
    expansion,
};

struct xml_text {
    xml_text_ptr text; // null when the element has no text, and on every fault but too_long
    xml_text_fault fault = xml_text_fault::none;
    const xmlChar *entity = nullptr; // the name, for unexpanded_entity
};

// Joins the texts of elements of one document: their direct text and CDATA
// children, with entity references replaced by their text, comments,
// processing instructions and child elements passed over, as the XML
// library's xmlNodeListGetString(doc, children, 1) does, but in time linear
// in the text and within the limits above. The text is null when nothing
// was joined (no children, or only comments or elements); an empty CDATA
// section makes it empty instead.
class xml_text_joiner {
  public:
    explicit xml_text_joiner(xmlDoc *doc) : doc_(doc) {}

    xml_text text(const xmlNode *element);

    // As text(), but when the element holds one text node whose text has
    // a block of its own, that block is taken out of the tree instead of
    // copied: for a document that is about to be freed, where long texts
    // would otherwise be copied once more.
    xml_text take(xmlNode *element);

    // The same join on an element of an xml_tree parsed from `doc`. The
    // text is borrowed from the tree when it needs no joining, else owned.
    struct joined {
        const char *text = nullptr;
        xml_text_fault fault = xml_text_fault::none;
        const xmlChar *entity = nullptr;
        xml_text_ptr owned;
    };
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

    // What the entity of the reference node `reference` brings in.
    markup of(const xmlNode *reference);
    markup of(const xml_node *reference);

  private:
    markup of_entity(const xmlEntity *entity, unsigned int depth);

    xmlDoc *doc_;
    std::unordered_map<const xmlEntity *, markup> seen_;
};

// The declaration a reference node refers to, or null for an undeclared
// entity.
const xmlEntity *xml_entity_of(xmlDoc *doc, const xmlNode *reference);

// The nodes of an entity's replacement. The parse of an xml_tree keeps
// them in the declaration; for an internal entity that has none (one
// never referenced in content, say), this makes them, once, without a
// word (the parse said what there was to say).
const xmlNode *xml_entity_content(xmlDoc *doc, const xmlEntity *entity);

inline const char *xml_chars(const xmlChar *text)
{
    return reinterpret_cast<const char *>(text);
}

class log_input;

// The notice of a reader that passes over an element it does not know,
// "PATH[LINE]: passed over <NAME> in <PARENT>", through the read's channel
// and ended as the channel's other messages are. Nodes other than elements
// are passed over without a word, as is everything while notices are not
// shown.
void xml_pass_over(log_input &messages, const xml_node *node);

// Makes the XML library allocate through the checked allocation, so that
// memory running out inside it ends the run with the usual alert instead
// of leaving a document or a text silently cut short (the library carries
// on after many such failures). The parse functions below do this themselves.
void xml_use_checked_allocation();

// What both kinds of parse share: the options, the allocation and the
// diagnostics' path, and the refusal of what cannot be parsed ("PATH:
// reason" with the given line end).
//
// Big-lines mode keeps line numbers right past 65535 in messages; compact
// mode keeps short texts inside their nodes, saving an allocation each (the
// tree is only read, never changed).
inline constexpr int kXmlParseOptions = XML_PARSE_BIG_LINES | XML_PARSE_COMPACT;
void xml_prepare_parse();

// For as long as it lives, every report of the XML library about the
// parse of `ctxt` goes to the log (log_library) whole, one line each in the
// library's words, with the input's name and the report's texts escaped
// and cut as values in messages are, and without the line of input the
// library would quote (it may hold a password or a terminal's control
// sequence). The parser's own reports come through the context; the few
// the library raises without one (a conversion of the input's encoding
// that fails) through the thread's structured handler, which is set for
// the parse and given back afterwards.
class xml_reports_to_log {
  public:
    explicit xml_reports_to_log(xmlParserCtxt *ctxt);
    ~xml_reports_to_log();
    xml_reports_to_log(const xml_reports_to_log &) = delete;
    xml_reports_to_log &operator=(const xml_reports_to_log &) = delete;

  private:
    xmlStructuredErrorFunc saved_;
    void *saved_context_;
};
void xml_report_unreadable(const char *path, int errnum, const char *line_end);
// False, after its message, for a descriptor that cannot be examined or
// that is a directory.
bool xml_prepare_fd(int fd, const char *name, const char *line_end);
// The local file `path` open for reading, or -1 after its message. Reading
// through our own descriptor keeps the library from treating the name as a
// URL or a compressed file, and lets us say plainly why a file cannot be
// read.
int xml_open_local_file(const char *path, const char *line_end);

// Bytes in memory handed to the parser as a file's are: an empty input
// then gets the library's "Document is empty", as an empty file does.
struct xml_memory_input {
    const char *bytes;
    size_t left;
};
int xml_read_memory(void *context, char *buffer, int len);

// The library's own tree: the readers read through xml_tree instead, and
// these stay as the reference the tests and fuzzers hold it against.
//
// Parses the local file `path` with the library's safe defaults (no entity
// substitution, no DTD loading, no network, no decompression). A file that
// cannot be opened, or a directory, is reported as "PATH: reason" with the
// given line ending ("\n" or "") and gives null without parsing. The
// parser's reports go to the log (see xml_reports_to_log).
xml_doc_ptr xml_parse_local_file(const char *path, const char *line_end = "\n");

// As xml_parse_local_file, on the file already open as `fd`, read from
// where it stands to its end and named `name` in messages; the descriptor
// stays open. A directory is reported as above.
xml_doc_ptr xml_parse_fd(int fd, const char *name, const char *line_end = "\n");

// As xml_parse_local_file, on a document of `size` bytes in memory named
// `name` in messages; the library reads it as it would read a file with
// those bytes, reports included.
xml_doc_ptr xml_parse_memory(const char *bytes, size_t size, const char *name);
