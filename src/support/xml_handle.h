// Owning handles for the XML library's objects, so every return path
// releases them; the options and the limit every parse shares; and the
// allocation those objects come from.
#pragma once

#include <cstddef>
#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>

struct xml_doc_deleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
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

// The longest text node the XML library reads (unless told otherwise,
// which no reader here does): its XML_MAX_TEXT_LENGTH, which only the
// library's internal header declares; xml_handle.cpp holds the two equal.
inline constexpr size_t kXmlTextMax = 10000000;

// Big-lines mode keeps line numbers right past 65535 in messages; compact
// mode keeps short texts inside their nodes, saving an allocation each
// (what the library's tree keeps is only read, never changed).
inline constexpr int kXmlParseOptions = XML_PARSE_BIG_LINES | XML_PARSE_COMPACT;

inline const char *xml_chars(const xmlChar *text)
{
    return reinterpret_cast<const char *>(text);
}

// Makes the XML library allocate through the checked allocation, so that
// memory running out inside it ends the run with the usual alert instead
// of leaving a document or a text silently cut short (the library carries
// on after many such failures). It changes the whole process, so the
// programs ask for it once, at start-up, and nothing in the library does;
// asking again changes nothing.
void xml_use_checked_allocation();
