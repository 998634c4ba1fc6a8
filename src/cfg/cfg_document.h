// The version-1 document's format as its reader and writer both keep to it:
// the root element, the declaration, which bytes a text may hold, and which
// texts read back whole. The configuration model checks every text it
// stores against the last, so that whatever the writer makes of the model
// reads back.
#pragma once

#include <cstddef>

// The root element of the document; the reader insists on it.
inline constexpr char kCfgDocumentRoot[] = "onyxcast";

// The XML declaration line that opens every document a program prints.
inline constexpr char kCfgDocumentDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// What a print that hides secrets shows in place of each (see the field
// tables, cfg_fields.h): the same for every value, so that not even its
// length shows, and a text the reader takes back.
inline constexpr char kCfgSecretMark[] = "????????";

// U+FFFD in UTF-8: it stands in for every byte that no XML 1.0 document can
// carry (see cfg_document_char_length).
inline constexpr char kCfgReplacementChar[] = "\xEF\xBF\xBD";

// The length of the character at `s` when it is well-formed UTF-8 that an
// XML 1.0 document may hold, else 0 (the writer puts kCfgReplacementChar in
// its place).
std::size_t cfg_document_char_length(const unsigned char *s);

// The first byte from `s` on, or `end`, that may go into a document as
// something other than itself: '&', '<', a '>' right after ']' (it may
// close "]]>"; the caller checks the ']' before that one), and every byte
// outside printable ASCII (tab and newline included, which go out as they
// are). `start` is where the text begins: no byte before it counts.
const unsigned char *cfg_document_skip_plain(const unsigned char *start, const unsigned char *s,
                                             const unsigned char *end);

// Whether `text` as the writer writes it reads back: at most kXmlTextMax
// bytes (the XML library's limit, which neither reader lifts; see
// support/xml_handle.h) once every byte the writer replaces has become the
// three of kCfgReplacementChar.
bool cfg_text_fits_document(const char *text);
