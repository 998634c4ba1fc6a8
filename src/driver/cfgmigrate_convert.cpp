#include "driver/cfgmigrate_convert.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <strings.h>
#include <variant>
#include <vector>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"
#include "driver/cfgmigrate_reencode.h"
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
using decoder_setter = cfg_field_setter<cfg_decoder, cfg_decoder_list>;
using encoder_setter = cfg_field_setter<cfg_encoder, cfg_encoder_list>;
using metadata_setter = cfg_metadata_setter;

// The setter of any field of the document: one alternative for each
// section of the registry.
template <const auto &...Sections>
std::variant<cfg_setter_of<Sections>...> setter_variant(cfg_section_list<Sections...>);
using any_setter = decltype(setter_variant(cfg_document_sections{}));

// A version-0 element and a version-1 setter that the conversion hands
// what it holds to.
struct moved_setting {
    const char *element;
    any_setter setter;
};

// Every setting the conversion moves, in its order. The conversion takes
// its setters from here (see setter_of), so that where a version-0 setting
// ends up, which the checker tells the writer of a file that mixes both
// versions, is read from what the conversion does. A "stdin" file name
// becomes an intake type rather than a file name; that is the exception.
constexpr moved_setting kMoves[] = {
    {"url", cfg_server_set_hostname},
    {"url", cfg_server_set_port},
    {"url", cfg_stream_set_mountpoint},
    {"sourceuser", cfg_server_set_user},
    {"sourcepassword", cfg_server_set_password},
    {"format", cfg_stream_set_format},
    {"filename", cfg_intake_set_filename},
    {"metadata_progname", cfg_set_metadata_program},
    {"metadata_format", cfg_set_metadata_format_str},
    {"metadata_refreshinterval", cfg_set_metadata_refresh_interval},
    {"playlist_program", cfg_intake_set_type},
    {"shuffle", cfg_intake_set_shuffle},
    {"stream_once", cfg_intake_set_stream_once},
    {"reconnect_tries", cfg_server_set_reconnect_attempts},
    {"svrinfoname", cfg_stream_set_stream_name},
    {"svrinfourl", cfg_stream_set_stream_url},
    {"svrinfogenre", cfg_stream_set_stream_genre},
    {"svrinfodescription", cfg_stream_set_stream_description},
    {"svrinfobitrate", cfg_stream_set_stream_bitrate},
    {"svrinfochannels", cfg_stream_set_stream_channels},
    {"svrinfosamplerate", cfg_stream_set_stream_samplerate},
    {"svrinfoquality", cfg_stream_set_stream_quality},
    {"svrinfopublic", cfg_stream_set_public},
    {"reencode", cfg_stream_set_encoder},
    {"reencode", cfg_decoder_set_program},
    {"reencode", cfg_encoder_set_program},
};

// The setter of the `nth` row of `element` in kMoves; a row that is
// missing or of another kind fails the build.
template <typename Setter> consteval Setter setter_of(std::string_view element, size_t nth = 0)
{
    for (const moved_setting &move : kMoves) {
        if (element == move.element && nth-- == 0)
            return std::get<Setter>(move.setter);
    }
    throw "no such row in kMoves";
}

class Migration {
  public:
    Migration(const legacy_config &record, const char *path) : r_(record), messages_(path, "") {}
    ~Migration() { cfg_server_destroy(&probe_); }
    Migration(const Migration &) = delete;
    Migration &operator=(const Migration &) = delete;

    int run()
    {
        if (setup_url() < 0)
            return -1;
        settings();
        reencode();
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

    void apply(int (*setter)(const char *, const char **), const char *value, const char *label)
    {
        const char *reason = nullptr;
        if (setter(value, &reason) != 0)
            warn(label, reason, value);
    }

    // The channel shows a long value by its start and escapes what could
    // break the line.
    void warn(const char *label, const char *reason, const char *value)
    {
        messages_.warning("%s: %s: %s: %s", path_, label, reason, value);
    }

    void apply_number(int (*setter)(const char *, const char **), int value, const char *label)
    {
        apply(setter, std::to_string(value).c_str(), label);
    }

    template <typename Entry, typename List>
    void apply_number(int (*setter)(Entry *, List, const char *, const char **), Entry *entry,
                      List list, int value, const char *label)
    {
        apply(setter, entry, list, std::to_string(value).c_str(), label);
    }

    // The version-0 URL is http://host:port/mountpoint; nothing else in it
    // is interpreted, so a host may hold '/' or '@' and later ':' belong to
    // the mountpoint.
    int setup_url()
    {
        const char *url = r_.url;
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
        apply_server(cfg_server_set_protocol, "HTTP", "<url>");
        const owned_text host_text = copy_span(host, static_cast<size_t>(colon - host));
        const owned_text port_text = copy_span(port, static_cast<size_t>(slash - port));
        if (!url_usable(host, host_text.get(), port_text.get())) {
            url_usable_ = false;
        } else {
            apply_server(setter_of<server_setter>("url", 0), host_text.get(), "<url>");
            apply_server(setter_of<server_setter>("url", 1), port_text.get(), "<url>");
        }
        apply(setter_of<stream_setter>("url", 2), stream_, streams_,
              copy_span(slash, std::strlen(slash)).get(), "<url>",
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
    bool url_usable(const char *authority, const char *host, const char *port)
    {
        const char *host_reason = nullptr;
        const char *port_reason = nullptr;
        const bool host_refused = host[0] != '\0' &&
            setter_of<server_setter>("url", 0)(probe_, servers_, host, &host_reason) != 0;
        const bool port_refused = port[0] != '\0' &&
            setter_of<server_setter>("url", 1)(probe_, servers_, port, &port_reason) != 0;
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

    void settings()
    {
        if (r_.sourceuser != nullptr)
            apply_server(setter_of<server_setter>("sourceuser"), r_.sourceuser, "<sourceuser>");
        if (r_.sourcepassword != nullptr)
            apply_server(setter_of<server_setter>("sourcepassword"), r_.sourcepassword,
                         "<sourcepassword>", kLogSecret);
        if (r_.format != nullptr)
            apply(setter_of<stream_setter>("format"), stream_, streams_,
                  cfgmigrate_format_name(r_.format), "<format>");
        if (r_.filename != nullptr) {
            if (strcasecmp(r_.filename, "stdin") == 0)
                apply(cfg_intake_set_type, intake_, intakes_, "stdin", "<filename>");
            else
                apply(setter_of<intake_setter>("filename"), intake_, intakes_, r_.filename,
                      "<filename>");
        }
        if (r_.metadata_progname != nullptr)
            apply(setter_of<metadata_setter>("metadata_progname"), r_.metadata_progname,
                  "<metadata_progname>");
        if (r_.metadata_format != nullptr)
            apply(setter_of<metadata_setter>("metadata_format"), r_.metadata_format,
                  "<metadata_format>");
        // 0 is left out on purpose: the version-1 setting keeps its initial
        // value; -1 (the element was absent) is passed on.
        if (r_.metadata_refreshinterval != 0)
            apply_number(setter_of<metadata_setter>("metadata_refreshinterval"),
                         r_.metadata_refreshinterval, "<metadata_refreshinterval>");
        // After <filename>, so that a program intake wins over "stdin".
        if (r_.playlist_program != 0)
            apply(setter_of<intake_setter>("playlist_program"), intake_, intakes_, "program",
                  "playlist_program");
        apply_number(setter_of<intake_setter>("shuffle"), intake_, intakes_, r_.shuffle,
                     "<shuffle>");
        apply_number(setter_of<intake_setter>("stream_once"), intake_, intakes_, r_.stream_once,
                     "<stream_once>");
        apply_server(setter_of<server_setter>("reconnect_tries"),
                     std::to_string(r_.reconnect_tries).c_str(), "<reconnect_tries>");

        struct StreamText {
            char *legacy_config::*field;
            int (*setter)(cfg_stream *, cfg_stream_list, const char *, const char **);
            const char *label;
        };
        static constexpr StreamText kStreamTexts[] = {
            {&legacy_config::svrinfoname, setter_of<stream_setter>("svrinfoname"),
             "<svrinfoname>"},
            {&legacy_config::svrinfourl, setter_of<stream_setter>("svrinfourl"), "<svrinfourl>"},
            {&legacy_config::svrinfogenre, setter_of<stream_setter>("svrinfogenre"),
             "<svrinfogenre>"},
            {&legacy_config::svrinfodescription, setter_of<stream_setter>("svrinfodescription"),
             "<svrinfodescription>"},
            {&legacy_config::svrinfobitrate, setter_of<stream_setter>("svrinfobitrate"),
             "<svrinfobitrate>"},
            {&legacy_config::svrinfochannels, setter_of<stream_setter>("svrinfochannels"),
             "<svrinfochannels>"},
            {&legacy_config::svrinfosamplerate, setter_of<stream_setter>("svrinfosamplerate"),
             "<svrinfosamplerate>"},
            {&legacy_config::svrinfoquality, setter_of<stream_setter>("svrinfoquality"),
             "<svrinfoquality>"},
        };
        for (const StreamText &t : kStreamTexts)
            if (r_.*(t.field) != nullptr)
                apply(t.setter, stream_, streams_, r_.*(t.field), t.label);
        apply(setter_of<stream_setter>("svrinfopublic"), stream_, streams_,
              r_.svrinfopublic != 0 ? "yes" : "no", "<svrinfopublic>");
    }

    void reencode()
    {
        // The encoder is named before it exists; drop_missing_encoder()
        // takes the name back if the table made no such encoder.
        if (r_.reencode != 0 && r_.format != nullptr)
            apply(setter_of<stream_setter>("reencode", 0), stream_, streams_,
                  cfgmigrate_format_name(r_.format), "<reencode>");
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
            setter_of<decoder_setter>("reencode", 1)(decoder, decoders_, d.program.c_str(),
                                                     nullptr);
            for (const std::string &ext : d.exts)
                cfg_decoder_add_ext(decoder, decoders_, ext.c_str(), nullptr);
        }
        for (const cfgmigrate_reencode_encoder &e : entries.encoders) {
            cfg_encoder *encoder = cfg_encoder_list_get(encoders_, e.name.c_str());
            setter_of<encoder_setter>("reencode", 2)(encoder, encoders_, e.program.c_str(),
                                                     nullptr);
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
    Migration migration(*record, path);
    return migration.run();
}

namespace {

// The field whose setter is `setter`, as a place: it is sought in the
// section whose setters have its shape. False when it has none.
bool place_of(const any_setter &setter, cfgmigrate_place *place)
{
    return std::visit(
        [place](auto set) {
            using Setter = decltype(set);
            return cfg_document_sections::any_of([&]<const auto &Section>() {
                if constexpr (std::is_same_v<Setter, cfg_setter_of<Section>>) {
                    for (const auto &field : Section.fields) {
                        if (field.set == set) {
                            *place = {Section.section, Section.entry, field.element};
                            return true;
                        }
                    }
                }
                return false;
            });
        },
        setter);
}

} // namespace

unsigned int cfgmigrate_places(const char *element,
                               void (*fn)(const cfgmigrate_place *place, void *arg), void *arg)
{
    unsigned int count = 0;
    for (const moved_setting &move : kMoves) {
        cfgmigrate_place place{};
        if (std::strcmp(move.element, element) != 0 || !place_of(move.setter, &place))
            continue;
        count++;
        if (fn != nullptr)
            fn(&place, arg);
    }
    return count;
}
