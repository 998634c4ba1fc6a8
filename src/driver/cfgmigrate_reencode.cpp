#include "driver/cfgmigrate_reencode.h"

#include <algorithm>
#include <memory>
#include <strings.h>

#include "cfg/cfg_decoder.h"
#include "cfg/cfg_encoder.h"
#include "cfg/cfg_fields.h"

const char *cfgmigrate_format_name(const char *format)
{
    if (strcasecmp(format, "vorbis") == 0 || strcasecmp(format, "theora") == 0)
        return "Ogg";
    return format;
}

namespace {

constexpr const char kEncoderCheck[] = "<encdec> (encoder)";
constexpr const char kDecoderCheck[] = "<encdec> (decoder)";

struct encoder_deleter {
    void operator()(cfg_encoder *encoder) const { cfg_encoder_destroy(&encoder); }
};

// The entries are worked out in lists of their own, so that every value
// meets the model's own rules (and its reasons) before the active
// configuration sees it.
class reencode_table {
  public:
    explicit reencode_table(const cfgmigrate_reencode_report &report) : report_(report) {}
    ~reencode_table()
    {
        cfg_encoder_list_destroy(&encoders_);
        cfg_decoder_list_destroy(&decoders_);
    }
    reencode_table(const reencode_table &) = delete;
    reencode_table &operator=(const reencode_table &) = delete;

    void add(const cfgmigrate_reencode_row &row)
    {
        if (row.encode != nullptr)
            add_encoder(row);
        if (row.decode != nullptr)
            add_decoder(row);
    }

    cfgmigrate_reencode_entries entries() const
    {
        cfgmigrate_reencode_entries out;
        cfg_decoder_list_foreach(
            decoders_,
            [](cfg_decoder *decoder, void *arg) {
                cfgmigrate_reencode_decoder entry{
                    cfg_decoder_get_name(decoder), cfg_decoder_get_program(decoder), {}};
                cfg_decoder_foreach_ext(
                    decoder,
                    [](const char *ext, void *exts) {
                        static_cast<std::vector<std::string> *>(exts)->emplace_back(ext);
                    },
                    &entry.exts);
                static_cast<std::vector<cfgmigrate_reencode_decoder> *>(arg)->push_back(
                    std::move(entry));
            },
            &out.decoders);
        cfg_encoder_list_foreach(
            encoders_,
            [](cfg_encoder *encoder, void *arg) {
                static_cast<std::vector<cfgmigrate_reencode_encoder> *>(arg)->push_back(
                    {cfg_encoder_get_name(encoder), cfg_encoder_get_program(encoder),
                     cfg_encoder_get_format(encoder)});
            },
            &out.encoders);
        keep_unnamed_last(out.decoders);
        keep_unnamed_last(out.encoders);
        return out;
    }

  private:
    template <typename Entry, typename List>
    void apply(int (*setter)(Entry *, List, const char *, const char **), Entry *entry, List list,
               const char *value, const char *label)
    {
        const char *reason = nullptr;
        if (setter(entry, list, value, &reason) != 0)
            report_({label, reason, value});
    }

    // The document names an entry "default" by leaving its name out, and
    // the client's reader fills every entry element into an existing
    // "default": a table entry must therefore never continue an entry that
    // an earlier table entry left under that name, or its command would
    // silently replace the earlier one and take over that one's format or
    // extensions. Only one such entry fits in a list; a later table entry
    // that could only go there too is dropped with a warning naming it.
    void drop_for_taken_default(const char *label, const char *command)
    {
        report_({label, "\"default\" already taken", command});
    }

    // A refusal is reported with the entry kind's label; the caller then
    // takes the entry out.
    template <typename Entry>
    bool passes(int (*validate)(Entry *, const char **), Entry *entry, const char *label)
    {
        const char *reason = nullptr;
        if (validate(entry, &reason) == 0)
            return true;
        report_({label, reason, nullptr});
        return false;
    }

    // Encoders start from the entry named "default": the first entry of a
    // format takes that format's name, a later one of the same format is
    // refused the name and stays "default". A format called "default" can
    // never join that one: "default" is no stream format, so the entry
    // fails its check where it is free, and is dropped where it is taken.
    void add_encoder(const cfgmigrate_reencode_row &row)
    {
        const char *name = row.format != nullptr ? cfgmigrate_format_name(row.format) : nullptr;
        cfg_encoder *encoder = nullptr;
        if (cfg_encoder_list_find(encoders_, kCfgDefaultEntryName) == nullptr) {
            encoder = cfg_encoder_list_get(encoders_, kCfgDefaultEntryName);
        } else if (name == nullptr) {
            // Without a format it cannot pass its check; it goes through the
            // same steps as ever, on an entry of its own outside the list.
            std::unique_ptr<cfg_encoder, encoder_deleter> own(cfg_encoder_create(kCfgDefaultEntryName));
            apply(cfg_encoder_set_program, own.get(), encoders_, row.encode, "<encode>");
            passes(cfg_encoder_validate, own.get(), kEncoderCheck);
            return;
        } else if (cfg_encoder_list_find(encoders_, name) != nullptr) {
            drop_for_taken_default(kEncoderCheck, row.encode);
            return;
        } else {
            encoder = cfg_encoder_list_get(encoders_, name);
        }
        apply(cfg_encoder_set_program, encoder, encoders_, row.encode, "<encode>");
        if (name != nullptr) {
            apply(cfg_encoder_set_name, encoder, encoders_, name, "<format> (encoder)");
            apply(cfg_encoder_set_format_str, encoder, encoders_, name, "<format> (encoder)");
        }
        if (!passes(cfg_encoder_validate, encoder, kEncoderCheck))
            cfg_encoder_list_remove(encoders_, &encoder);
    }

    // Decoders of one format merge: they collect every extension and keep
    // the last command. A decoder without a format stays "default", and so
    // does one whose format is called "default": merging that one into the
    // unnamed decoder would be the very takeover the rule above forbids.
    void add_decoder(const cfgmigrate_reencode_row &row)
    {
        const char *name = row.format != nullptr ? cfgmigrate_format_name(row.format) : nullptr;
        if (name != nullptr && strcasecmp(name, kCfgDefaultEntryName) == 0)
            name = nullptr;
        cfg_decoder *decoder = name != nullptr ? cfg_decoder_list_find(decoders_, name) : nullptr;
        if (decoder == nullptr) {
            if (cfg_decoder_list_find(decoders_, kCfgDefaultEntryName) == nullptr) {
                decoder = cfg_decoder_list_get(decoders_, kCfgDefaultEntryName);
            } else if (name != nullptr) {
                decoder = cfg_decoder_list_get(decoders_, name);
            } else {
                drop_for_taken_default(kDecoderCheck, row.decode);
                return;
            }
        }
        apply(cfg_decoder_set_program, decoder, decoders_, row.decode, "<decode>");
        if (name != nullptr)
            apply(cfg_decoder_set_name, decoder, decoders_, name, "<format> (decoder)");
        cfg_decoder *former = nullptr;
        if (row.match != nullptr) {
            former = cfg_decoder_list_find_by_ext(decoders_, row.match);
            if (former == decoder)
                former = nullptr;
            apply(cfg_decoder_add_ext, decoder, decoders_, row.match, "<match>");
        }
        if (!passes(cfg_decoder_validate, decoder, kDecoderCheck))
            cfg_decoder_list_remove(decoders_, &decoder);
        // A decoder that just gave up its only extension would be written
        // out as a decoder the client refuses to load; it goes the same way
        // as any other decoder that fails its check.
        if (former != nullptr && !passes(cfg_decoder_validate, former, kDecoderCheck))
            cfg_decoder_list_remove(decoders_, &former);
    }

    // An entry written without its name must come last in its section, or
    // the client's reader would fill the next entry element into it.
    template <typename Entry> static void keep_unnamed_last(std::vector<Entry> &entries)
    {
        auto unnamed = std::find_if(entries.begin(), entries.end(), [](const Entry &entry) {
            return strcasecmp(entry.name.c_str(), kCfgDefaultEntryName) == 0;
        });
        if (unnamed != entries.end())
            std::rotate(unnamed, unnamed + 1, entries.end());
    }

    const cfgmigrate_reencode_report &report_;
    cfg_encoder_list encoders_ = cfg_encoder_list_create();
    cfg_decoder_list decoders_ = cfg_decoder_list_create();
};

} // namespace

cfgmigrate_reencode_entries cfgmigrate_reencode(std::span<const cfgmigrate_reencode_row> rows,
                                                const cfgmigrate_reencode_report &report)
{
    reencode_table table(report);
    for (const cfgmigrate_reencode_row &row : rows)
        table.add(row);
    return table.entries();
}
