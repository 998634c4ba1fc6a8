// The whole migration on arbitrary bytes taken as a version-0 file: read,
// convert, write. Beyond not crashing, a failed read must leave no record
// behind, and a migrated document must read back as the configuration it
// was written from: it is meant to become the new configuration file.
// Encoders and decoders must each be the making of table entries of their
// own: no command, format or extension crosses from one entry to another.
// The unnamed decoder is the making of one single entry: the client's
// reader fills every later decoder element into it, so no other entry may
// ever continue it.
#include <cstdint>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "cfg/cfg.h"
#include "driver/cfgmigrate_convert.h"
#include "driver/cfgmigrate_reencode.h"
#include "fuzz_support.h"
#include "legacy/legacy_config.h"
#include "support/xml_handle.h"

namespace {

bool record_is_empty(const legacy_config &record)
{
    static const legacy_config kEmpty{};
    return std::memcmp(&record, &kEmpty, sizeof record) == 0;
}

bool same(const char *a, const char *b)
{
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// Every encoder carries the command of a table entry together with that
// entry's own format.
void check_encoder(cfg_encoder *encoder, void *arg)
{
    const auto &record = *static_cast<const legacy_config *>(arg);
    const char *format = cfg_stream_format_name(cfg_encoder_get_format(encoder));
    for (const legacy_format_entry *entry : record.encdec) {
        if (entry != nullptr && entry->format != nullptr &&
            same(entry->encode, cfg_encoder_get_program(encoder)) &&
            strcasecmp(cfgmigrate_format_name(entry->format), format) == 0)
            return;
    }
    fuzz_fail("encoder %s: command \"%s\" with format %s comes from no single table entry",
              cfg_encoder_get_name(encoder), cfg_encoder_get_program(encoder), format);
}

struct decoder_check {
    const legacy_config &record;
    const char *name;
};

// A decoder of a format holds a command and extensions of entries of that
// format; the decoder "default" those of entries without a format.
bool decoder_entry_matches(const legacy_format_entry &entry, const char *name)
{
    if (entry.format == nullptr)
        return strcasecmp(name, "default") == 0;
    return strcasecmp(cfgmigrate_format_name(entry.format), name) == 0;
}

void check_decoder_ext(const char *ext, void *arg)
{
    const auto &check = *static_cast<const decoder_check *>(arg);
    for (const legacy_format_entry *entry : check.record.encdec) {
        if (entry != nullptr && entry->decode != nullptr && entry->match != nullptr &&
            strcasecmp(entry->match, ext) == 0 && decoder_entry_matches(*entry, check.name))
            return;
    }
    fuzz_fail("decoder %s: extension %s comes from no table entry of its own", check.name, ext);
}

void check_unnamed_decoder(const legacy_config &record, cfg_decoder *decoder)
{
    std::vector<std::string> exts;
    cfg_decoder_foreach_ext(
        decoder,
        [](const char *ext, void *arg) {
            static_cast<std::vector<std::string> *>(arg)->emplace_back(ext);
        },
        &exts);
    for (const legacy_format_entry *entry : record.encdec) {
        if (entry == nullptr || !same(entry->decode, cfg_decoder_get_program(decoder)) ||
            !decoder_entry_matches(*entry, "default"))
            continue;
        bool all = true;
        for (const std::string &ext : exts)
            all = all && entry->match != nullptr && strcasecmp(entry->match, ext.c_str()) == 0;
        if (all)
            return;
    }
    fuzz_fail("decoder default: command \"%s\" and its %zu extensions come from no single "
              "table entry",
              cfg_decoder_get_program(decoder), exts.size());
}

void check_decoder(cfg_decoder *decoder, void *arg)
{
    const auto &record = *static_cast<const legacy_config *>(arg);
    const char *name = cfg_decoder_get_name(decoder);
    bool found = false;
    for (const legacy_format_entry *entry : record.encdec) {
        if (entry != nullptr && same(entry->decode, cfg_decoder_get_program(decoder)) &&
            decoder_entry_matches(*entry, name))
            found = true;
    }
    FUZZ_CHECK(found, "decoder %s: command \"%s\" comes from no table entry of its own", name,
               cfg_decoder_get_program(decoder));
    decoder_check check{record, name};
    cfg_decoder_foreach_ext(decoder, check_decoder_ext, &check);
    if (strcasecmp(name, "default") == 0)
        check_unnamed_decoder(record, decoder);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The XML library allocates as it does in the programs, which ask for
    // this at start-up.
    xml_use_checked_allocation();
    fuzz_quiet_log();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz_file input("migrate");
    static fuzz_file output("migrate-out");
    input.write(data, size);
    fuzz_watch_secrets(data, size, input.path());

    cfg_init();
    cfg_set_program_name("onyxcast-cfgmigrate", nullptr);
    legacy_config *record = legacy_config_get();
    std::string document;
    if (legacy_config_read(input.path()) != 0) {
        if (cfgmigrate_convert(record, input.path()) == 0) {
            cfg_encoder_list_foreach(cfg_get_encoders(), check_encoder, record);
            cfg_decoder_list_foreach(cfg_get_decoders(), check_decoder, record);
            document = fuzz_write_document();
        }
        legacy_config_free(record);
    }
    FUZZ_CHECK(record_is_empty(*record), "the record is not empty after the run");
    cfg_exit();

    if (!document.empty())
        fuzz_check_reads_back(document, output, "the migrated document");
    return 0;
}
