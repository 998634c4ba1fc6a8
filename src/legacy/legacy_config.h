// The version-0 configuration: one flat record read from one XML file.
#pragma once

#include <cstdint>

#define LEGACY_ENCDEC_MAX 15

// One <encdec> entry of the <reencode> section; each text owned or null.
struct legacy_format_entry {
    char *format; // folded to upper case
    char *match;  // folded to lower case
    char *encode;
    char *decode;
};

// Texts are owned copies, null when the element was absent or empty. A
// text longer than any text of a document (see kXmlTextMax) is kept as
// its first kXmlTextMax + 1 bytes, which the migration refuses as too
// long, rather than as whatever size entities might make it.
struct legacy_config {
    char *url;
    char *sourceuser;
    char *sourcepassword;
    char *format; // folded to upper case
    char *filename;
    char *metadata_progname;
    char *metadata_format;
    char *svrinfoname;
    char *svrinfourl;
    char *svrinfogenre;
    char *svrinfodescription;
    char *svrinfobitrate;
    char *svrinfochannels;
    char *svrinfosamplerate;
    char *svrinfoquality;
    int32_t svrinfopublic;
    int32_t reencode;
    legacy_format_entry *encdec[LEGACY_ENCDEC_MAX];
    int32_t encdec_count;
    int32_t shuffle;
    int32_t playlist_program;
    int32_t stream_once;
    uint32_t reconnect_tries;
    int32_t metadata_refreshinterval; // -1 when the element is absent
};

// Fills the process-wide record from `path`, reporting each problem with
// the path and line (past the first hundred only counted, see log_input),
// then their total. Returns 1 when there was no problem, else 0. A file
// that is not well-formed XML, or holds no element, leaves the record as
// it was (the record of an earlier read stays until legacy_config_free);
// any other failure leaves it emptied.
int legacy_config_read(const char *path);
// The warnings of the last read: elements it passed over together with
// what they held (one inside a setting's text, one an entity brought in).
// They cost nothing of the read, but the migration counts them with its
// own, so that nothing of a version-0 file is lost without a word.
unsigned int legacy_config_read_warnings(void);
legacy_config *legacy_config_get(void);
// Releases everything the record holds and resets it to all-zero.
void legacy_config_free(legacy_config *record);

// The command of the first entry whose format (upper case) or extension
// (lower case) equals the argument byte for byte; "" when there is none.
const char *legacy_config_get_encoder(const char *format);
const char *legacy_config_get_decoder(const char *extension);
