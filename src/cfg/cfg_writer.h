// The version-1 document: the active configuration written as XML, in a
// fixed layout that the reader (cfg_reader.h) takes back: the format of
// cfg_document.h, each entry's fields in the order of its kind's table
// (cfg_fields.h). Lines whose value is the one the model assumes in their
// absence are left out.
#pragma once

#include <cstdio>

#include "cfg/cfg.h"
#include "cfg/cfg_document.h"

// Writes the whole document for the active configuration. Write errors are
// the caller's to detect on `out`.
void cfg_document_write(FILE *out);
// As cfg_document_write, with kCfgSecretMark in place of every value that
// the field tables call secret (the servers' passwords): a document to
// show others that still reads back.
void cfg_document_write_redacted(FILE *out);

// One block per entry, shaped for the lists' foreach operations: `out` is
// the FILE * to write to.
void cfg_document_write_server(cfg_server *server, void *out);
void cfg_document_write_stream(cfg_stream *stream, void *out);
void cfg_document_write_intake(cfg_intake *intake, void *out);
void cfg_document_write_decoder(cfg_decoder *decoder, void *out);
void cfg_document_write_encoder(cfg_encoder *encoder, void *out);
// One file-extension line, for cfg_decoder_foreach_ext.
void cfg_document_write_file_ext(const char *ext, void *out);
