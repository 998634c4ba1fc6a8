#include "driver/cfgmigrate_convert.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <strings.h>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"
#include "driver/cfgmigrate_reencode.h"
#include "legacy/legacy_format.h"
#include "support/alloc.h"
#include "support/log.h"
#include "support/log_input.h"

namespace {

constexpr const char kAllocModule[] = "cfgmigrate_convert";

struct text_deleter {
    void operator()(char *text) const { xfree(text, kAllocModule); }
};
using owned_text = std::unique_ptr<char, text_deleter>;

// A copy of [begin, begin+len) with its own terminating NUL.
owned_text copy_span(const char *begin, size_t len)
{
    auto *text = static_cast<char *>(xmalloc(len + 1, kAllocModule));
    std::memcpy(text, begin, len);
    text[len] = '\0';
    return owned_text(text);
}

using server_setter = cfg_field_setter<cfg_server, cfg_server_list>;
using stream_setter = cfg_field_setter<cfg_stream, cfg_stream_list>;
using intake_setter = cfg_field_setter<cfg_intake, cfg_intake_list>;
using metadata_setter = cfg_metadata_setter;

// The setter of the registry's field at `Place`, of its section's own type.
template <legacy_place Place>
constexpr auto setter_at =
    cfg_document_sections::at<Place.section_index>().fields[Place.field_index].set;

// How the messages name the version-0 element of the root's `Row`th row:
// "<name>", or the bare name where its row says so.
template <std::size_t Row> constexpr auto kLabel = [] {
    constexpr const legacy_element &row = kLegacyRootElements[Row];
    constexpr std::string_view name = row.name;
    std::array<char, name.size() + 3> label{};
    std::size_t n = 0;
    if (!row.bare_label)
        label[n++] = '<';
    for (char c : name)
        label[n++] = c;
    if (!row.bare_label)
        label[n++] = '>';
    return label;
}();

class migration {
  public:
    migration(const legacy_config &record, const char *path) : r_(record), messages_(path, "") {}
    ~migration() { cfg_server_destroy(&probe_); }
    migration(const migration &) = delete;
    migration &operator=(const migration &) = delete;

    int run()
    {
        if (!move_all(std::make_index_sequence<kLegacyRootElements.size()>{}))
            return -1;
        messages_.finish();
        // The reader's warnings are of the same kind: a setting of the old
        // file that did not make it.
        const unsigned int warnings = legacy_config_read_warnings() + messages_.warnings();
        if (warnings != 0)
            messages_.summary(LOG_LEVEL_WARNING, "%s: %u warnings", path_, warnings);
        drop_missing_encoder();
        // The URL's error says why the conversion failed; the checks of a
        // server it left without host or port would only say it again,
        // in worse words.
        return url_usable_ ? check() : -1;
    }

  private:
    // A refused value costs a warning; the conversion goes on without it.
    // The warning shows `shown` in place of the value where one is given.
    template <typename Entry, typename List>
    void apply(int (*setter)(Entry *, List, const char *, const char **), Entry *entry, List list,
               const char *value, const char *label, const char *shown = nullptr)
    {
        const char *reason = nullptr;
        if (setter(entry, list, value, &reason) != 0)
            warn(label, reason, shown != nullptr ? shown : value);
    }

    // A server text refused as "too long" would still leave its cut copy in
    // the entry, and a cut host name or password is a wrong one that passes
    // the final checks. Server values are therefore tried on a scratch entry
    // first and reach the real one only when they are taken whole. (The
    // version-0 reader already limits the intake file name and the metadata
    // program to what their buffers hold.)
    void apply_server(int (*setter)(cfg_server *, cfg_server_list, const char *, const char **),
                      const char *value, const char *label, const char *shown = nullptr)
    {
        const char *reason = nullptr;
        if (setter(probe_, servers_, value, &reason) != 0)
            warn(label, reason, shown != nullptr ? shown : value);
        else
            apply(setter, server_, servers_, value, label, shown);
    }

    void apply(int (*setter)(const char *, const char **), const char *value, const char *label,
               const char *shown = nullptr)
    {
        const char *reason = nullptr;
        if (setter(value, &reason) != 0)
            warn(label, reason, shown != nullptr ? shown : value);
    }

    // A value for the default entry of the setter's section, or for the
    // metadata.
    void put(server_setter set, const char *value, const char *label, const char *shown)
    {
        apply_server(set, value, label, shown);
    }
    void put(stream_setter set, const char *value, const char *label, const char *shown)
    {
        apply(set, stream_, streams_, value, label, shown);
    }
    void put(intake_setter set, const char *value, const char *label, const char *shown)
    {
        apply(set, intake_, intakes_, value, label, shown);
    }
    void put(metadata_setter set, const char *value, const char *label, const char *shown)
    {
        apply(set, value, label, shown);
    }

    // The value of the root's `Row`th element to its first place, as its
    // row says; false only when the URL leaves nothing to convert.
    template <std::size_t Row> bool move()
    {
        constexpr const legacy_element &row = kLegacyRootElements[Row];
        constexpr const char *label = kLabel<Row>.data();
        if constexpr (row.move == legacy_move::url) {
            return setup_url<Row>() == 0;
        } else if constexpr (row.move == legacy_move::reencode) {
            reencode<Row>();
        } else {
            constexpr legacy_place place = row.places[0];
            constexpr auto set = setter_at<place>;
            // A secret is never shown, not even when refused.
            constexpr const char *shown = place.field().secret ? kLogSecret : nullptr;
            if constexpr (row.move == legacy_move::text) {
                if (const char *text = r_.*(row.text))
                    put(set, text, label, shown);
            } else if constexpr (row.move == legacy_move::format) {
                if (const char *text = r_.*(row.text))
                    put(set, cfgmigrate_format_name(text), label, shown);
            } else if constexpr (row.move == legacy_move::file) {
                // Version 0 took a file named "stdin" for the standard input,
                // which version 1 names by the intake's type instead.
                if (const char *text = r_.*(row.text)) {
                    if (strcasecmp(text, "stdin") == 0)
                        apply(cfg_intake_set_type, intake_, intakes_, "stdin", label);
                    else
                        put(set, text, label, shown);
                }
            } else if constexpr (row.move == legacy_move::number ||
                                 row.move == legacy_move::interval) {
                long long value = 0;
                if constexpr (row.unumber != nullptr)
                    value = r_.*(row.unumber);
                else
                    value = r_.*(row.number);
                // 0 is left out on purpose: the version-1 setting keeps its
                // initial value; -1 (the element was absent) is passed on.
                if (row.move == legacy_move::number || value != 0)
                    put(set, std::to_string(value).c_str(), label, shown);
            } else if constexpr (row.move == legacy_move::flag) {
                if (const char *word = row.words[r_.*(row.number) != 0 ? 1 : 0])
                    put(set, word, label, shown);
            } else {
                static_assert(row.move == legacy_move::none, "a move the conversion lacks");
            }
        }
        return true;
    }

    // The root's elements in the table's order, which is the order of the
    // messages; a URL that leaves nothing to convert stops the walk.
    template <std::size_t... Row> bool move_all(std::index_sequence<Row...>)
    {
        return (move<Row>() && ...);
    }

    // The channel shows a long value by its start and escapes what could
    // break the line.
    void warn(const char *label, const char *reason, const char *value)
    {
        messages_.warning("%s: %s: %s: %s", path_, label, reason, value);
    }

    // The version-0 URL is http://host:port/mountpoint; nothing else in it
    // is interpreted, so a host may hold '/' or '@' and later ':' belong to
    // the mountpoint.
    template <std::size_t Row> int setup_url()
    {
        constexpr const legacy_element &row = kLegacyRootElements[Row];
        constexpr auto set_host = setter_at<row.places[0]>;
        constexpr auto set_port = setter_at<row.places[1]>;
        constexpr auto set_mountpoint = setter_at<row.places[2]>;
        constexpr const char *label = kLabel<Row>.data();
        const char *url = r_.*(row.text);
        if (url == nullptr || url[0] == '\0') {
            messages_.error("%s: Missing <url> -- not an onyxcast version 0.x configuration?", path_);
            return -1;
        }
        constexpr const char kScheme[] = "http://";
        constexpr size_t kSchemeLen = sizeof kScheme - 1;
        if (strncasecmp(url, kScheme, kSchemeLen) != 0) {
            messages_.error("%s: Invalid <url>: Not an HTTP address", path_);
            return -1;
        }
        const char *host = url + kSchemeLen;
        const char *colon = std::strchr(host, ':');
        if (colon == nullptr) {
            messages_.error("%s: Invalid <url>: Missing port", path_);
            return -1;
        }
        const char *port = colon + 1;
        const char *slash = std::strchr(port, '/');
        if (slash == nullptr) {
            messages_.error("%s: Invalid <url>: Missing mountpoint or too long port number", path_);
            return -1;
        }

        // The protocol is what the scheme says, not a setting of the file.
        apply_server(cfg_server_set_protocol, "HTTP", label);
        const owned_text host_text = copy_span(host, static_cast<size_t>(colon - host));
        const owned_text port_text = copy_span(port, static_cast<size_t>(slash - port));
        if (!url_usable(set_host, set_port, host, host_text.get(), port_text.get())) {
            url_usable_ = false;
        } else {
            apply_server(set_host, host_text.get(), label);
            apply_server(set_port, port_text.get(), label);
        }
        apply(set_mountpoint, stream_, streams_, copy_span(slash, std::strlen(slash)).get(), label,
              url_shown(host, slash).c_str());
        return 0;
    }

    // A host or port the server refuses, and a host that cannot be one,
    // come from a URL the old reading split wrong: taken as a warning, they
    // would leave a file that names another server (the user name as the
    // host, the default port in place of the one written) and still passes
    // every check. Such a URL fails the conversion, once its other settings
    // have said what they have to say; the message names the usual cause,
    // and shows nothing of what may be user information. An empty part is
    // no such case: an empty port leaves the default port, with its
    // warning, and an empty host fails the final checks.
    bool url_usable(server_setter set_host, server_setter set_port, const char *authority,
                    const char *host, const char *port)
    {
        const char *host_reason = nullptr;
        const char *port_reason = nullptr;
        const bool host_refused =
            host[0] != '\0' && set_host(probe_, servers_, host, &host_reason) != 0;
        const bool port_refused =
            port[0] != '\0' && set_port(probe_, servers_, port, &port_reason) != 0;
        if (userinfo_end(authority) != nullptr &&
            (host_refused || port_refused || std::strchr(host, '@') != nullptr)) {
            messages_.error("%s: Invalid <url>: User information before the host (write "
                            "http://host:port/mountpoint, the user in <sourceuser> and the "
                            "password in <sourcepassword>)",
                            path_);
            return false;
        }
        if (host[0] == '[') {
            messages_.error("%s: Invalid <url>: IPv6 address in brackets (write "
                            "http://host:port/mountpoint with a host name or an IPv4 address; "
                            "version 0.x cannot hold an IPv6 address)",
                            path_);
            return false;
        }
        if (host_refused)
            messages_.error("%s: Invalid <url>: Host name %s: %s (write "
                            "http://host:port/mountpoint)",
                            path_, host_reason, host);
        if (port_refused)
            messages_.error("%s: Invalid <url>: Port %s: %s (write http://host:port/mountpoint "
                            "with a port from %lld to %lld)",
                            path_, port_reason, port, kCfgServerPortMin, kCfgServerPortMax);
        return !host_refused && !port_refused;
    }

    // A URL may carry "user:password@" before the host; the version-0
    // reading takes no notice of it, but no message may echo any of it,
    // whatever it holds: a password may hold '/', '@' or ':'. There is
    // some when the host part (up to the first ':') holds an '@', or when
    // what follows the last '@' reads as a host and a port; it then runs
    // to that last '@'. Null when there is none: an '@' in the mountpoint
    // alone is no user information. `authority` is the URL after its
    // scheme.
    static const char *userinfo_end(const char *authority)
    {
        const char *at = std::strrchr(authority, '@');
        if (at == nullptr)
            return nullptr;
        const size_t host_len = std::strcspn(authority, ":");
        if (std::memchr(authority, '@', host_len) != nullptr)
            return at;
        return at[1 + std::strcspn(at + 1, ":/")] == ':' ? at : nullptr;
    }

    // The URL from `begin` (after `authority`) to its end as a warning
    // shows it: what may be user information is replaced by the mark.
    static std::string url_shown(const char *authority, const char *begin)
    {
        const char *userinfo = userinfo_end(authority);
        if (userinfo == nullptr || begin > userinfo)
            return begin;
        return kLogSecret + std::string(userinfo);
    }

    // The stream's encoder, then the table's decoders and encoders, at the
    // places of the root's `Row`th element in this order.
    template <std::size_t Row> void reencode()
    {
        constexpr const legacy_element &row = kLegacyRootElements[Row];
        // The encoder is named before it exists; drop_missing_encoder()
        // takes the name back if the table made no such encoder.
        if (r_.reencode != 0 && r_.format != nullptr)
            put(setter_at<row.places[0]>, cfgmigrate_format_name(r_.format), kLabel<Row>.data(),
                nullptr);
        std::vector<cfgmigrate_reencode_row> rows;
        for (const legacy_format_entry *entry : r_.encdec) {
            if (entry != nullptr)
                rows.push_back({entry->format, entry->match, entry->decode, entry->encode});
        }
        // Each warning is given the moment it arises, so it is counted and
        // shown among the model's own notices as the table is worked through.
        const cfgmigrate_reencode_entries entries =
            cfgmigrate_reencode(rows, [this](const cfgmigrate_reencode_warning &w) {
                if (w.value != nullptr)
                    warn(w.label, w.reason, w.value);
                else
                    messages_.warning("%s: %s: %s", path_, w.label, w.reason);
            });
        // Every entry has passed the model's checks already, so the model
        // takes each value as it is.
        for (const cfgmigrate_reencode_decoder &d : entries.decoders) {
            cfg_decoder *decoder = cfg_decoder_list_get(decoders_, d.name.c_str());
            setter_at<row.places[1]>(decoder, decoders_, d.program.c_str(), nullptr);
            for (const std::string &ext : d.exts)
                cfg_decoder_add_ext(decoder, decoders_, ext.c_str(), nullptr);
        }
        for (const cfgmigrate_reencode_encoder &e : entries.encoders) {
            cfg_encoder *encoder = cfg_encoder_list_get(encoders_, e.name.c_str());
            setter_at<row.places[2]>(encoder, encoders_, e.program.c_str(), nullptr);
            cfg_encoder_set_format(encoder, e.format);
        }
    }

    void drop_missing_encoder()
    {
        const char *name = cfg_stream_get_encoder(stream_);
        if (name == nullptr || cfg_encoder_list_find(encoders_, name) != nullptr)
            return;
        messages_.summary(LOG_LEVEL_WARNING, "%s: %s encoder not found; disabling reencoding",
                          path_, name);
        cfg_stream_set_encoder(stream_, nullptr, nullptr, nullptr);
    }

    int check()
    {
        const char *reason = nullptr;
        if (cfg_server_validate(server_, &reason) != 0 ||
            cfg_stream_validate(stream_, &reason) != 0 ||
            cfg_intake_validate(intake_, &reason) != 0) {
            messages_.summary(LOG_LEVEL_ERROR, "%s: configuration invalid: %s", path_, reason);
            return -1;
        }
        return 0;
    }

    const legacy_config &r_;
    // False once the URL's host or port was found unusable.
    bool url_usable_ = true;
    // The counted warnings, and whatever the model says while the record
    // is converted, go through here, so that they are bounded as the
    // reader's errors are; the total after them stays exact.
    log_input messages_;
    const char *path_ = messages_.path();

    // Made before anything of the record is looked at, so the three
    // "default" entries exist whatever the outcome.
    cfg_server_list servers_ = cfg_get_servers();
    cfg_server *server_ = cfg_server_list_get(servers_, kCfgDefaultEntryName);
    cfg_stream_list streams_ = cfg_get_streams();
    cfg_stream *stream_ = cfg_stream_list_get(streams_, kCfgDefaultEntryName);
    cfg_intake_list intakes_ = cfg_get_intakes();
    cfg_intake *intake_ = cfg_intake_list_get(intakes_, kCfgDefaultEntryName);
    cfg_encoder_list encoders_ = cfg_get_encoders();
    cfg_decoder_list decoders_ = cfg_get_decoders();
    cfg_server *probe_ = cfg_server_create("probe");
};

} // namespace

int cfgmigrate_convert(const legacy_config *record, const char *path)
{
    migration conversion(*record, path);
    return conversion.run();
}

