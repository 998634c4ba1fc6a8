// The version-1 document: the active configuration written as XML, in a
// fixed layout that the reader (cfg_reader.h) takes back. Lines whose value
// is the one the model assumes in their absence are left out.
#pragma once

#include <cstddef>
#include <cstdio>

#include "cfg/cfg.h"

// The root element of the document; the reader insists on it.
inline constexpr char kCfgDocumentRoot[] = "onyxcast";

// The XML declaration line that opens every document a program prints.
inline constexpr char kCfgDocumentDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// Writes the whole document for the active configuration. Write errors are
// the caller's to detect on `out`.
void cfg_document_write(FILE *out);

// One block per entry, shaped for the lists' foreach operations: `out` is
// the FILE * to write to.
void cfg_document_write_server(cfg_server *server, void *out);
void cfg_document_write_stream(cfg_stream *stream, void *out);
void cfg_document_write_intake(cfg_intake *intake, void *out);
void cfg_document_write_decoder(cfg_decoder *decoder, void *out);
void cfg_document_write_encoder(cfg_encoder *encoder, void *out);
// One file-extension line, for cfg_decoder_foreach_ext.
void cfg_document_write_file_ext(const char *ext, void *out);

// The length of the character at `s` when it is well-formed UTF-8 that an
// XML 1.0 document may hold, else 0 (the writer puts U+FFFD in its place).
std::size_t cfg_document_char_length(const unsigned char *s);
