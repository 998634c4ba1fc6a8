// The sections of the version-1 document and the fields of each entry kind
// and of the metadata settings, one table per kind: the reader looks a
// field up by its element name, the writer writes the fields in the
// table's order. A field is one row: its element, the model's setter, and
// what the writer makes of the model's value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <strings.h>
#include <utility>

#include "cfg/cfg.h"

// The entry every entry element starts from: the reader fills it when the
// element has no name field of its own.
inline constexpr char kCfgDefaultEntryName[] = "default";

// A field's value as the writer writes it, or nothing when the field is
// left out because the model holds no setting or the one assumed in the
// field's absence. Texts are borrowed from the model, so long ones are
// never copied; only numbers need a text of their own.
class cfg_field_value {
  public:
    cfg_field_value() = default;
    cfg_field_value(const char *text) : text_(text) {}
    explicit cfg_field_value(std::string number) : number_(std::move(number)), is_number_(true) {}

    explicit operator bool() const { return is_number_ || text_ != nullptr; }
    const char *c_str() const { return is_number_ ? number_.c_str() : text_; }

  private:
    const char *text_ = nullptr;
    std::string number_;
    bool is_number_ = false;
};

// How the common kinds of value are written, from the getter `Get` of an
// entry kind (or of the metadata settings, with no entry).
namespace cfg_fields {

// A text as it is; none when the model holds none.
template <auto Get, typename... Entry> cfg_field_value text(Entry *...entry)
{
    return Get(entry...);
}

// "yes" for a setting that is on; none for one that is off, as is assumed.
template <auto Get, typename... Entry> cfg_field_value flag(Entry *...entry)
{
    return Get(entry...) != 0 ? "yes" : nullptr;
}

// The default entry's name, whatever its letter case, needs no line.
template <auto Get, typename Entry> cfg_field_value name(Entry *entry)
{
    const char *name = Get(entry);
    return strcasecmp(name, kCfgDefaultEntryName) != 0 ? name : nullptr;
}

} // namespace cfg_fields

// The whole numbers a field takes, as its setter checks them.
struct cfg_number_range {
    long long min;
    long long max;
};

// The shape of every setter of an entry's field, and of a metadata setting.
template <typename Entry, typename List>
using cfg_field_setter = int (*)(Entry *entry, List list, const char *value,
                                 const char **errstrp);
using cfg_metadata_setter = int (*)(const char *value, const char **errstrp);

template <typename Entry, typename List> struct cfg_field {
    const char *element; // also the messages' name of the field
    cfg_field_setter<Entry, List> set;
    // The writer's one line of the field.
    cfg_field_value (*get)(Entry *entry) = nullptr;
    // In place of `get`, for a field that repeats: a line for each value.
    void (*each)(Entry *entry, void (*fn)(const char *value, void *arg), void *arg) = nullptr;
    // For a field that moves its value away from another entry of the list:
    // which entry holds the value before the setter runs.
    Entry *(*holder)(List list, const char *value) = nullptr;
    // For a number: what its setter takes.
    std::optional<cfg_number_range> range = std::nullopt;
    // A value that must not be shown to whoever gets to see a print of the
    // document, such as a bug report: the writer can put kCfgSecretMark in
    // its place.
    bool secret = false;
};

template <typename Entry, typename List> struct cfg_entry_kind {
    const char *section; // the list section
    const char *entry;   // its entry elements, also the messages' label
    List (*list)();
    Entry *(*get)(List list, const char *name);
    unsigned int (*count)(List list);
    void (*for_each)(List list, void (*fn)(Entry *entry, void *arg), void *arg);
    int (*validate)(Entry *entry, const char **errstrp);
    const char *(*name)(Entry *entry);
    std::span<const cfg_field<Entry, List>> fields; // in document order
};

inline constexpr cfg_field<cfg_server, cfg_server_list> kCfgServerFields[] = {
    {"name", cfg_server_set_name, cfg_fields::name<cfg_server_get_name>},
    {"protocol", cfg_server_set_protocol, cfg_fields::text<cfg_server_get_protocol_str>},
    {"hostname", cfg_server_set_hostname, cfg_fields::text<cfg_server_get_hostname>},
    {.element = "port",
     .set = cfg_server_set_port,
     .get = [](cfg_server *s) -> cfg_field_value {
         const int port = cfg_server_get_port(s);
         if (port == kCfgServerDefaultPort)
             return {};
         return cfg_field_value(std::to_string(static_cast<unsigned int>(port)));
     },
     .range = cfg_number_range{kCfgServerPortMin, kCfgServerPortMax}},
    {"user", cfg_server_set_user,
     [](cfg_server *s) -> cfg_field_value {
         const char *user = cfg_server_get_user(s);
         if (strcasecmp(user, kCfgServerDefaultUser) == 0)
             return {};
         return user;
     }},
    // The user is only a name, "source" unless told otherwise; the
    // password is what lets anyone stream to the server.
    {.element = "password",
     .set = cfg_server_set_password,
     .get = cfg_fields::text<cfg_server_get_password>,
     .secret = true},
    {"tls", cfg_server_set_tls,
     [](cfg_server *s) -> cfg_field_value {
         if (cfg_server_get_tls(s) == CFG_TLS_MAY)
             return {};
         return cfg_server_get_tls_str(s);
     }},
    {"tls_cipher_suite", cfg_server_set_tls_cipher_suite,
     cfg_fields::text<cfg_server_get_tls_cipher_suite>},
    {"ca_dir", cfg_server_set_ca_dir, cfg_fields::text<cfg_server_get_ca_dir>},
    {"ca_file", cfg_server_set_ca_file, cfg_fields::text<cfg_server_get_ca_file>},
    {"client_cert", cfg_server_set_client_cert, cfg_fields::text<cfg_server_get_client_cert>},
    {.element = "reconnect_attempts",
     .set = cfg_server_set_reconnect_attempts,
     .get = [](cfg_server *s) -> cfg_field_value {
         const uint32_t attempts = cfg_server_get_reconnect_attempts(s);
         if (attempts == 0)
             return {};
         return cfg_field_value(std::to_string(attempts));
     },
     .range = cfg_number_range{kCfgServerReconnectAttemptsMin, kCfgServerReconnectAttemptsMax}},
};

// A stream without a format gets no format line: the reader then refuses
// the entry with "format missing or unsupported" instead of taking in a
// made-up word.
inline constexpr cfg_field<cfg_stream, cfg_stream_list> kCfgStreamFields[] = {
    {"name", cfg_stream_set_name, cfg_fields::name<cfg_stream_get_name>},
    {"mountpoint", cfg_stream_set_mountpoint, cfg_fields::text<cfg_stream_get_mountpoint>},
    {"intake", cfg_stream_set_intake, cfg_fields::text<cfg_stream_get_intake>},
    {"server", cfg_stream_set_server, cfg_fields::text<cfg_stream_get_server>},
    {"public", cfg_stream_set_public, cfg_fields::flag<cfg_stream_get_public>},
    {"format", cfg_stream_set_format, cfg_fields::text<cfg_stream_get_format_str>},
    // An empty element hands null over, which clears the encoder.
    {"encoder", cfg_stream_set_encoder, cfg_fields::text<cfg_stream_get_encoder>},
    {"stream_name", cfg_stream_set_stream_name, cfg_fields::text<cfg_stream_get_stream_name>},
    {"stream_url", cfg_stream_set_stream_url, cfg_fields::text<cfg_stream_get_stream_url>},
    {"stream_genre", cfg_stream_set_stream_genre, cfg_fields::text<cfg_stream_get_stream_genre>},
    {"stream_description", cfg_stream_set_stream_description,
     cfg_fields::text<cfg_stream_get_stream_description>},
    {"stream_quality", cfg_stream_set_stream_quality,
     cfg_fields::text<cfg_stream_get_stream_quality>},
    {"stream_bitrate", cfg_stream_set_stream_bitrate,
     cfg_fields::text<cfg_stream_get_stream_bitrate>},
    {"stream_samplerate", cfg_stream_set_stream_samplerate,
     cfg_fields::text<cfg_stream_get_stream_samplerate>},
    {"stream_channels", cfg_stream_set_stream_channels,
     cfg_fields::text<cfg_stream_get_stream_channels>},
};

inline constexpr cfg_field<cfg_intake, cfg_intake_list> kCfgIntakeFields[] = {
    {"name", cfg_intake_set_name, cfg_fields::name<cfg_intake_get_name>},
    {"type", cfg_intake_set_type,
     [](cfg_intake *i) -> cfg_field_value {
         if (cfg_intake_get_type(i) == CFG_INTAKE_AUTODETECT)
             return {};
         return cfg_intake_get_type_str(i);
     }},
    {"filename", cfg_intake_set_filename, cfg_fields::text<cfg_intake_get_filename>},
    {"shuffle", cfg_intake_set_shuffle, cfg_fields::flag<cfg_intake_get_shuffle>},
    {"stream_once", cfg_intake_set_stream_once, cfg_fields::flag<cfg_intake_get_stream_once>},
};

inline constexpr cfg_field<cfg_decoder, cfg_decoder_list> kCfgDecoderFields[] = {
    {"name", cfg_decoder_set_name, cfg_fields::name<cfg_decoder_get_name>},
    {"program", cfg_decoder_set_program, cfg_fields::text<cfg_decoder_get_program>},
    // A decoder takes each extension over from the decoder that held it.
    {.element = "file_ext",
     .set = cfg_decoder_add_ext,
     .each = cfg_decoder_foreach_ext,
     .holder = cfg_decoder_list_find_by_ext},
};

// As for streams, an encoder without a format gets no format line and the
// reader refuses it with "format not set".
inline constexpr cfg_field<cfg_encoder, cfg_encoder_list> kCfgEncoderFields[] = {
    {"name", cfg_encoder_set_name, cfg_fields::name<cfg_encoder_get_name>},
    {"format", cfg_encoder_set_format_str,
     [](cfg_encoder *e) -> cfg_field_value {
         return cfg_stream_format_name(cfg_encoder_get_format(e));
     }},
    {"program", cfg_encoder_set_program, cfg_fields::text<cfg_encoder_get_program>},
};

inline constexpr cfg_entry_kind<cfg_server, cfg_server_list> kCfgServers{
    .section = "servers",
    .entry = "server",
    .list = cfg_get_servers,
    .get = cfg_server_list_get,
    .count = cfg_server_list_count,
    .for_each = cfg_server_list_foreach,
    .validate = cfg_server_validate,
    .name = cfg_server_get_name,
    .fields = kCfgServerFields,
};

inline constexpr cfg_entry_kind<cfg_stream, cfg_stream_list> kCfgStreams{
    .section = "streams",
    .entry = "stream",
    .list = cfg_get_streams,
    .get = cfg_stream_list_get,
    .count = cfg_stream_list_count,
    .for_each = cfg_stream_list_foreach,
    .validate = cfg_stream_validate,
    .name = cfg_stream_get_name,
    .fields = kCfgStreamFields,
};

inline constexpr cfg_entry_kind<cfg_intake, cfg_intake_list> kCfgIntakes{
    .section = "intakes",
    .entry = "intake",
    .list = cfg_get_intakes,
    .get = cfg_intake_list_get,
    .count = cfg_intake_list_count,
    .for_each = cfg_intake_list_foreach,
    .validate = cfg_intake_validate,
    .name = cfg_intake_get_name,
    .fields = kCfgIntakeFields,
};

inline constexpr cfg_entry_kind<cfg_decoder, cfg_decoder_list> kCfgDecoders{
    .section = "decoders",
    .entry = "decoder",
    .list = cfg_get_decoders,
    .get = cfg_decoder_list_get,
    .count = cfg_decoder_list_count,
    .for_each = cfg_decoder_list_foreach,
    .validate = cfg_decoder_validate,
    .name = cfg_decoder_get_name,
    .fields = kCfgDecoderFields,
};

inline constexpr cfg_entry_kind<cfg_encoder, cfg_encoder_list> kCfgEncoders{
    .section = "encoders",
    .entry = "encoder",
    .list = cfg_get_encoders,
    .get = cfg_encoder_list_get,
    .count = cfg_encoder_list_count,
    .for_each = cfg_encoder_list_foreach,
    .validate = cfg_encoder_validate,
    .name = cfg_encoder_get_name,
    .fields = kCfgEncoderFields,
};

// The metadata settings stand alone, outside any entry.
struct cfg_metadata_field {
    const char *element; // also the messages' name of the setting
    cfg_metadata_setter set;
    cfg_field_value (*get)();
    std::optional<cfg_number_range> range = std::nullopt; // for a number
};

struct cfg_metadata_section {
    const char *section;
    std::span<const cfg_metadata_field> fields; // in document order
};

inline constexpr cfg_metadata_field kCfgMetadataFields[] = {
    {"program", cfg_set_metadata_program, cfg_fields::text<cfg_get_metadata_program>},
    {"format_str", cfg_set_metadata_format_str, cfg_fields::text<cfg_get_metadata_format_str>},
    {.element = "refresh_interval",
     .set = cfg_set_metadata_refresh_interval,
     .get = []() -> cfg_field_value {
         const int interval = cfg_get_metadata_refresh_interval();
         if (interval < 0)
             return {};
         return cfg_field_value(std::to_string(interval));
     },
     .range = cfg_number_range{kCfgMetadataRefreshIntervalMin, kCfgMetadataRefreshIntervalMax}},
    {"normalize_strings", cfg_set_metadata_normalize_strings,
     cfg_fields::flag<cfg_get_metadata_normalize_strings>},
    {"no_updates", cfg_set_metadata_no_updates, cfg_fields::flag<cfg_get_metadata_no_updates>},
};

inline constexpr cfg_metadata_section kCfgMetadata{
    .section = "metadata",
    .fields = kCfgMetadataFields,
};
