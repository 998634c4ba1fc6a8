// The version-0 re-encoding table turned into version-1 decoders and
// encoders. Version 0 ties, in one table entry, a stream format to a file
// extension, a decoder command and an encoder command; version 1 keeps
// named decoders (a command and its extensions) and named encoders (a
// command and the format it produces). This module works out which entries
// a table makes and which warnings it costs, apart from the active
// configuration, which the migration then fills from the result.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

// The version-1 name of a version-0 stream format: version 0 named the Ogg
// container by its codecs; other formats keep their name.
const char *cfgmigrate_format_name(const char *format);

// One entry of the version-0 table, as the reader stored it; each text may
// be null.
struct cfgmigrate_reencode_row {
    const char *format;
    const char *match;
    const char *decode;
    const char *encode;
};

// A refusal, to be reported as "LABEL: REASON: VALUE", or "LABEL: REASON"
// when it names no value. The texts are static or point into the rows.
struct cfgmigrate_reencode_warning {
    const char *label;
    const char *reason;
    const char *value;
};

struct cfgmigrate_reencode_decoder {
    std::string name;
    std::string program;
    std::vector<std::string> exts;
};

struct cfgmigrate_reencode_encoder {
    std::string name;
    std::string program;
    int format; // a stream format code (see cfg_stream.h)
};

// The entries to create, in this order; every one has passed its check.
struct cfgmigrate_reencode_entries {
    std::vector<cfgmigrate_reencode_decoder> decoders;
    std::vector<cfgmigrate_reencode_encoder> encoders;
};

using cfgmigrate_reencode_report = std::function<void(const cfgmigrate_reencode_warning &)>;

// Turns `rows`, in table order, into entries. Each warning goes to
// `report` the moment it arises, so that it keeps its place among what the
// configuration model logs meanwhile (an extension that moves from one
// decoder to another is a notice of the model's own).
cfgmigrate_reencode_entries cfgmigrate_reencode(std::span<const cfgmigrate_reencode_row> rows,
                                                const cfgmigrate_reencode_report &report);
