// The registry of what a version-1 document holds: its sections, the five
// kinds of entry and the metadata settings, and the fields of each, one row
// a field, in the order the writer writes them. The reader looks a field up
// by its element name and the writer walks the rows; the checker and its
// hints, the conversion, the fuzzers and the tests that cover every field
// walk the same tables, so that a field added here is read, written,
// checked, hinted at and tested with no other list to keep in step. A row
// names the field's element, the model's setter, what the writer makes of
// the model's value, and what the value is: a name, a reference to an entry
// of another kind, a number and its bounds, a word of a table, a text and
// its bound, a secret.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <strings.h>
#include <tuple>
#include <type_traits>
#include <utility>

#include "cfg/cfg.h"
#include "cfg/cfg_placeholder.h"

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

// What a field's text stands for.
enum class cfg_field_type : unsigned char {
    text,      // any text; at most `bound` bytes where a bound is given
    name,      // the entry's own name
    reference, // the name of an entry of another kind
    number,    // a whole number within `range`
    word,      // one of `words`, in any letter case
    flag,      // a boolean: one of cfg_value::kBooleanWords
};

// The metadata settings stand alone, outside any entry: their setters and
// getters take none.
struct cfg_no_entry;

// The shapes of the functions a row names for an entry kind.
template <typename Entry, typename List> struct cfg_field_calls {
    using set = int (*)(Entry *entry, List list, const char *value, const char **errstrp);
    using get = cfg_field_value (*)(Entry *entry);
    using each = void (*)(Entry *entry, void (*fn)(const char *value, void *arg), void *arg);
    using holder = Entry *(*)(List list, const char *value);
};

template <> struct cfg_field_calls<cfg_no_entry, cfg_no_entry> {
    using set = int (*)(const char *value, const char **errstrp);
    using get = cfg_field_value (*)();
    using each = std::nullptr_t;
    using holder = std::nullptr_t;
};

template <typename Entry, typename List>
using cfg_field_setter = typename cfg_field_calls<Entry, List>::set;
using cfg_metadata_setter = cfg_field_setter<cfg_no_entry, cfg_no_entry>;

// One field. Only the element and the setter are always given; the rest
// says what the value is where it is more than a text of any length.
template <typename Entry, typename List> struct cfg_field {
    using calls = cfg_field_calls<Entry, List>;

    const char *element; // also the messages' name of the field
    typename calls::set set;
    // The writer's one line of the field.
    typename calls::get get = nullptr;
    // In place of `get`, for a field that repeats: a line for each value.
    typename calls::each each = nullptr;
    // For a field that moves its value away from another entry of the list:
    // which entry holds the value before the setter runs.
    typename calls::holder holder = nullptr;
    // What the value is; every entry kind has a name field, first.
    cfg_field_type type = cfg_field_type::text;
    // For a text: the most bytes it takes (0: as many as the document can
    // carry), and, for a command or a format, the placeholder rules it keeps.
    std::size_t bound = 0;
    std::span<const cfg_placeholder_rule> rules = {};
    // For a number: what its setter takes.
    std::optional<cfg_number_range> range = std::nullopt;
    // For a word or a boolean: the words it takes, as the writer spells them.
    std::span<const cfg_code_name> words = {};
    // For the name of an entry of another kind: that kind's entry element.
    const char *refers = nullptr;
    // A value that must not be shown to whoever gets to see a print of the
    // document, such as a bug report: the writer can put kCfgSecretMark in
    // its place.
    bool secret = false;
    // An empty element hands null over, which clears the field instead of
    // being refused as empty.
    bool empty_clears = false;
    // The field repeats: `each` gives its values, in place of `get`. (Said
    // apart from `each` because a constant expression may not ask whether
    // a function's address is null.)
    bool repeats = false;
};

using cfg_metadata_field = cfg_field<cfg_no_entry, cfg_no_entry>;

template <typename Entry, typename List> struct cfg_entry_kind {
    using entry_type = Entry;
    using list_type = List;
    using field = cfg_field<Entry, List>;

    const char *section; // the list section
    const char *entry;   // its entry elements, also the messages' label
    // Whether the writer writes the section when the list is empty.
    bool written_when_empty;
    List (*list)();
    Entry *(*get)(List list, const char *name);
    Entry *(*find)(List list, const char *name);
    unsigned int (*count)(List list);
    void (*for_each)(List list, void (*fn)(Entry *entry, void *arg), void *arg);
    int (*validate)(Entry *entry, const char **errstrp);
    const char *(*name)(Entry *entry);
    std::span<const field> fields; // in document order
};

struct cfg_metadata_section {
    using field = cfg_metadata_field;

    const char *section;
    const char *entry; // none: the settings stand in the section itself
    std::span<const field> fields; // in document order
};

inline constexpr cfg_field<cfg_server, cfg_server_list> kCfgServerFields[] = {
    {.element = "name",
     .set = cfg_server_set_name,
     .get = cfg_fields::name<cfg_server_get_name>,
     .type = cfg_field_type::name},
    {.element = "protocol",
     .set = cfg_server_set_protocol,
     .get = cfg_fields::text<cfg_server_get_protocol_str>,
     .type = cfg_field_type::word,
     .words = kCfgServerProtocols},
    {.element = "hostname",
     .set = cfg_server_set_hostname,
     .get = cfg_fields::text<cfg_server_get_hostname>,
     .bound = kCfgServerHostnameMax},
    {.element = "port",
     .set = cfg_server_set_port,
     .get = [](cfg_server *s) -> cfg_field_value {
         const int port = cfg_server_get_port(s);
         if (port == kCfgServerDefaultPort)
             return {};
         return cfg_field_value(std::to_string(static_cast<unsigned int>(port)));
     },
     .type = cfg_field_type::number,
     .range = cfg_number_range{kCfgServerPortMin, kCfgServerPortMax}},
    {.element = "user",
     .set = cfg_server_set_user,
     .get = [](cfg_server *s) -> cfg_field_value {
         const char *user = cfg_server_get_user(s);
         if (strcasecmp(user, kCfgServerDefaultUser) == 0)
             return {};
         return user;
     },
     .bound = kCfgServerUserMax},
    // The user is only a name, "source" unless told otherwise; the
    // password is what lets anyone stream to the server.
    {.element = "password",
     .set = cfg_server_set_password,
     .get = cfg_fields::text<cfg_server_get_password>,
     .bound = kCfgServerPasswordMax,
     .secret = true},
    {.element = "tls",
     .set = cfg_server_set_tls,
     .get = [](cfg_server *s) -> cfg_field_value {
         if (cfg_server_get_tls(s) == CFG_TLS_MAY)
             return {};
         return cfg_server_get_tls_str(s);
     },
     .type = cfg_field_type::word,
     .words = kCfgServerTlsModes},
    {.element = "tls_cipher_suite",
     .set = cfg_server_set_tls_cipher_suite,
     .get = cfg_fields::text<cfg_server_get_tls_cipher_suite>,
     .bound = kCfgServerTlsCipherSuiteMax},
    {.element = "ca_dir",
     .set = cfg_server_set_ca_dir,
     .get = cfg_fields::text<cfg_server_get_ca_dir>,
     .bound = kCfgServerPathMax},
    {.element = "ca_file",
     .set = cfg_server_set_ca_file,
     .get = cfg_fields::text<cfg_server_get_ca_file>,
     .bound = kCfgServerPathMax},
    {.element = "client_cert",
     .set = cfg_server_set_client_cert,
     .get = cfg_fields::text<cfg_server_get_client_cert>,
     .bound = kCfgServerPathMax},
    {.element = "reconnect_attempts",
     .set = cfg_server_set_reconnect_attempts,
     .get = [](cfg_server *s) -> cfg_field_value {
         const uint32_t attempts = cfg_server_get_reconnect_attempts(s);
         if (attempts == 0)
             return {};
         return cfg_field_value(std::to_string(attempts));
     },
     .type = cfg_field_type::number,
     .range = cfg_number_range{kCfgServerReconnectAttemptsMin, kCfgServerReconnectAttemptsMax}},
};

// A stream without a format gets no format line: the reader then refuses
// the entry with "format missing or unsupported" instead of taking in a
// made-up word.
inline constexpr cfg_field<cfg_stream, cfg_stream_list> kCfgStreamFields[] = {
    {.element = "name",
     .set = cfg_stream_set_name,
     .get = cfg_fields::name<cfg_stream_get_name>,
     .type = cfg_field_type::name},
    {"mountpoint", cfg_stream_set_mountpoint, cfg_fields::text<cfg_stream_get_mountpoint>},
    {.element = "intake",
     .set = cfg_stream_set_intake,
     .get = cfg_fields::text<cfg_stream_get_intake>,
     .type = cfg_field_type::reference,
     .refers = "intake"},
    {.element = "server",
     .set = cfg_stream_set_server,
     .get = cfg_fields::text<cfg_stream_get_server>,
     .type = cfg_field_type::reference,
     .refers = "server"},
    {.element = "public",
     .set = cfg_stream_set_public,
     .get = cfg_fields::flag<cfg_stream_get_public>,
     .type = cfg_field_type::flag,
     .words = cfg_value::kBooleanWords},
    {.element = "format",
     .set = cfg_stream_set_format,
     .get = cfg_fields::text<cfg_stream_get_format_str>,
     .type = cfg_field_type::word,
     .words = kCfgStreamFormats},
    {.element = "encoder",
     .set = cfg_stream_set_encoder,
     .get = cfg_fields::text<cfg_stream_get_encoder>,
     .type = cfg_field_type::reference,
     .refers = "encoder",
     .empty_clears = true},
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
    {.element = "name",
     .set = cfg_intake_set_name,
     .get = cfg_fields::name<cfg_intake_get_name>,
     .type = cfg_field_type::name},
    {.element = "type",
     .set = cfg_intake_set_type,
     .get = [](cfg_intake *i) -> cfg_field_value {
         if (cfg_intake_get_type(i) == CFG_INTAKE_AUTODETECT)
             return {};
         return cfg_intake_get_type_str(i);
     },
     .type = cfg_field_type::word,
     .words = kCfgIntakeTypes},
    {.element = "filename",
     .set = cfg_intake_set_filename,
     .get = cfg_fields::text<cfg_intake_get_filename>,
     .bound = kCfgIntakeFilenameMax},
    {.element = "shuffle",
     .set = cfg_intake_set_shuffle,
     .get = cfg_fields::flag<cfg_intake_get_shuffle>,
     .type = cfg_field_type::flag,
     .words = cfg_value::kBooleanWords},
    {.element = "stream_once",
     .set = cfg_intake_set_stream_once,
     .get = cfg_fields::flag<cfg_intake_get_stream_once>,
     .type = cfg_field_type::flag,
     .words = cfg_value::kBooleanWords},
};

inline constexpr cfg_field<cfg_decoder, cfg_decoder_list> kCfgDecoderFields[] = {
    {.element = "name",
     .set = cfg_decoder_set_name,
     .get = cfg_fields::name<cfg_decoder_get_name>,
     .type = cfg_field_type::name},
    {.element = "program",
     .set = cfg_decoder_set_program,
     .get = cfg_fields::text<cfg_decoder_get_program>,
     .rules = cfg_placeholder_decoder_rules},
    // A decoder takes each extension over from the decoder that held it.
    {.element = "file_ext",
     .set = cfg_decoder_add_ext,
     .each = cfg_decoder_foreach_ext,
     .holder = cfg_decoder_list_find_by_ext,
     .repeats = true},
};

// As for streams, an encoder without a format gets no format line and the
// reader refuses it with "format not set".
inline constexpr cfg_field<cfg_encoder, cfg_encoder_list> kCfgEncoderFields[] = {
    {.element = "name",
     .set = cfg_encoder_set_name,
     .get = cfg_fields::name<cfg_encoder_get_name>,
     .type = cfg_field_type::name},
    {.element = "format",
     .set = cfg_encoder_set_format_str,
     .get = [](cfg_encoder *e) -> cfg_field_value {
         return cfg_stream_format_name(cfg_encoder_get_format(e));
     },
     .type = cfg_field_type::word,
     .words = kCfgStreamFormats},
    {.element = "program",
     .set = cfg_encoder_set_program,
     .get = cfg_fields::text<cfg_encoder_get_program>,
     .rules = cfg_placeholder_encoder_rules},
};

inline constexpr cfg_metadata_field kCfgMetadataFields[] = {
    {.element = "program",
     .set = cfg_set_metadata_program,
     .get = cfg_fields::text<cfg_get_metadata_program>,
     .bound = kCfgMetadataProgramMax},
    {.element = "format_str",
     .set = cfg_set_metadata_format_str,
     .get = cfg_fields::text<cfg_get_metadata_format_str>,
     .rules = cfg_placeholder_format_rules},
    {.element = "refresh_interval",
     .set = cfg_set_metadata_refresh_interval,
     .get = []() -> cfg_field_value {
         const int interval = cfg_get_metadata_refresh_interval();
         if (interval < 0)
             return {};
         return cfg_field_value(std::to_string(interval));
     },
     .type = cfg_field_type::number,
     .range = cfg_number_range{kCfgMetadataRefreshIntervalMin, kCfgMetadataRefreshIntervalMax}},
    {.element = "normalize_strings",
     .set = cfg_set_metadata_normalize_strings,
     .get = cfg_fields::flag<cfg_get_metadata_normalize_strings>,
     .type = cfg_field_type::flag,
     .words = cfg_value::kBooleanWords},
    {.element = "no_updates",
     .set = cfg_set_metadata_no_updates,
     .get = cfg_fields::flag<cfg_get_metadata_no_updates>,
     .type = cfg_field_type::flag,
     .words = cfg_value::kBooleanWords},
};

inline constexpr cfg_entry_kind<cfg_server, cfg_server_list> kCfgServers{
    .section = "servers",
    .entry = "server",
    .written_when_empty = true,
    .list = cfg_get_servers,
    .get = cfg_server_list_get,
    .find = cfg_server_list_find,
    .count = cfg_server_list_count,
    .for_each = cfg_server_list_foreach,
    .validate = cfg_server_validate,
    .name = cfg_server_get_name,
    .fields = kCfgServerFields,
};

inline constexpr cfg_entry_kind<cfg_stream, cfg_stream_list> kCfgStreams{
    .section = "streams",
    .entry = "stream",
    .written_when_empty = true,
    .list = cfg_get_streams,
    .get = cfg_stream_list_get,
    .find = cfg_stream_list_find,
    .count = cfg_stream_list_count,
    .for_each = cfg_stream_list_foreach,
    .validate = cfg_stream_validate,
    .name = cfg_stream_get_name,
    .fields = kCfgStreamFields,
};

inline constexpr cfg_entry_kind<cfg_intake, cfg_intake_list> kCfgIntakes{
    .section = "intakes",
    .entry = "intake",
    .written_when_empty = true,
    .list = cfg_get_intakes,
    .get = cfg_intake_list_get,
    .find = cfg_intake_list_find,
    .count = cfg_intake_list_count,
    .for_each = cfg_intake_list_foreach,
    .validate = cfg_intake_validate,
    .name = cfg_intake_get_name,
    .fields = kCfgIntakeFields,
};

inline constexpr cfg_entry_kind<cfg_decoder, cfg_decoder_list> kCfgDecoders{
    .section = "decoders",
    .entry = "decoder",
    .written_when_empty = false,
    .list = cfg_get_decoders,
    .get = cfg_decoder_list_get,
    .find = cfg_decoder_list_find,
    .count = cfg_decoder_list_count,
    .for_each = cfg_decoder_list_foreach,
    .validate = cfg_decoder_validate,
    .name = cfg_decoder_get_name,
    .fields = kCfgDecoderFields,
};

inline constexpr cfg_entry_kind<cfg_encoder, cfg_encoder_list> kCfgEncoders{
    .section = "encoders",
    .entry = "encoder",
    .written_when_empty = false,
    .list = cfg_get_encoders,
    .get = cfg_encoder_list_get,
    .find = cfg_encoder_list_find,
    .count = cfg_encoder_list_count,
    .for_each = cfg_encoder_list_foreach,
    .validate = cfg_encoder_validate,
    .name = cfg_encoder_get_name,
    .fields = kCfgEncoderFields,
};

inline constexpr cfg_metadata_section kCfgMetadata{
    .section = "metadata",
    .entry = nullptr,
    .fields = kCfgMetadataFields,
};

// A list of sections to walk at compile time, each handed to `fn` as a
// template argument (`fn.template operator()<Section>()`), so that a walk
// reaches each kind's own entry and list types.
template <const auto &...Sections> struct cfg_section_list {
    static constexpr std::size_t size = sizeof...(Sections);

    template <typename Fn> static constexpr void for_each(Fn &&fn)
    {
        (fn.template operator()<Sections>(), ...);
    }

    // Stops at the first section for which `fn` returns true.
    template <typename Fn> static constexpr bool any_of(Fn &&fn)
    {
        return (fn.template operator()<Sections>() || ...);
    }

    template <const auto &Section> using with = cfg_section_list<Sections..., Section>;

    // The section at `Index`, for use as a template argument.
    template <std::size_t Index> static constexpr const auto &at()
    {
        return std::get<Index>(std::tie(Sections...));
    }

    // The index of the entry kind whose entry element is `entry`, or size.
    // constexpr rather than consteval: clang refuses a consteval call on a
    // template parameter's member inside a member template.
    static constexpr std::size_t index_of(std::string_view entry)
    {
        const char *const entries[] = {Sections.entry...};
        for (std::size_t i = 0; i < size; i++) {
            if (entries[i] != nullptr && entry == entries[i])
                return i;
        }
        return size;
    }
};

// The five entry kinds, in the order the writer writes their sections.
using cfg_entry_kinds =
    cfg_section_list<kCfgServers, kCfgStreams, kCfgIntakes, kCfgDecoders, kCfgEncoders>;

// Every section of the document: the entry kinds, then the metadata.
using cfg_document_sections = cfg_entry_kinds::with<kCfgMetadata>;

// A field as a walk at run time sees it, whatever its kind.
struct cfg_field_info {
    const char *element;
    cfg_field_type type;
    std::size_t bound;
    std::span<const cfg_placeholder_rule> rules;
    std::optional<cfg_number_range> range;
    std::span<const cfg_code_name> words;
    const char *refers;
    bool secret;
    bool empty_clears;
    bool repeats;
};

// A section as a walk at run time sees it.
struct cfg_section_info {
    const char *section;
    const char *entry; // null for the metadata section
    std::span<const cfg_field_info> fields;
    std::span<const char *const> elements; // the fields' elements, in their order

    // The field of that element, as the tables spell it; null for none.
    constexpr const cfg_field_info *field(std::string_view element) const
    {
        for (const cfg_field_info &f : fields) {
            if (element == f.element)
                return &f;
        }
        return nullptr;
    }
};

namespace cfg_fields {

template <const auto &Section> inline constexpr auto infos = [] {
    std::array<cfg_field_info, Section.fields.size()> infos{};
    for (std::size_t i = 0; i < infos.size(); i++) {
        const auto &row = Section.fields[i];
        infos[i] = {
            .element = row.element,
            .type = row.type,
            .bound = row.bound,
            .rules = row.rules,
            .range = row.range,
            .words = row.words,
            .refers = row.refers,
            .secret = row.secret,
            .empty_clears = row.empty_clears,
            .repeats = row.repeats,
        };
    }
    return infos;
}();

template <const auto &Section> inline constexpr auto elements = [] {
    std::array<const char *, Section.fields.size()> elements{};
    for (std::size_t i = 0; i < elements.size(); i++)
        elements[i] = Section.fields[i].element;
    return elements;
}();

template <const auto &...Sections>
constexpr auto section_infos(cfg_section_list<Sections...>)
{
    return std::array<cfg_section_info, sizeof...(Sections)>{
        cfg_section_info{Sections.section, Sections.entry, infos<Sections>, elements<Sections>}...};
}

// Whether `words` are the boolean words, compared by their texts: a
// constant expression may not compare the addresses of two tables.
constexpr bool boolean_words(std::span<const cfg_code_name> words)
{
    if (words.size() != std::size(cfg_value::kBooleanWords))
        return false;
    for (std::size_t i = 0; i < words.size(); i++) {
        if (std::string_view(words[i].name) != cfg_value::kBooleanWords[i].name)
            return false;
    }
    return true;
}

// What a table must keep to: distinct elements, one name field first in
// an entry kind and none in the metadata, and each field's type with what
// it needs (a number its range, a word its words, a reference a kind that
// exists) and nothing it does not. Broken, it fails the build.
template <const auto &Section> consteval bool well_formed()
{
    const auto &fields = Section.fields;
    const bool entry_kind = Section.entry != nullptr;
    if (fields.empty() || (fields[0].type == cfg_field_type::name) != entry_kind)
        return false;
    for (std::size_t i = 0; i < fields.size(); i++) {
        const auto &f = fields[i];
        if (i > 0 && f.type == cfg_field_type::name)
            return false;
        for (std::size_t j = 0; j < i; j++) {
            if (std::string_view(fields[j].element) == f.element)
                return false;
        }
        const bool number = f.type == cfg_field_type::number;
        const bool word = f.type == cfg_field_type::word;
        const bool flag = f.type == cfg_field_type::flag;
        const bool reference = f.type == cfg_field_type::reference;
        if (number != f.range.has_value() || (number && f.range->min > f.range->max))
            return false;
        if ((word || flag) == f.words.empty() || flag != boolean_words(f.words))
            return false;
        if (reference != (f.refers != nullptr) ||
            (reference && cfg_entry_kinds::index_of(f.refers) == cfg_entry_kinds::size))
            return false;
    }
    return true;
}

} // namespace cfg_fields

static_assert([] {
    bool ok = true;
    cfg_document_sections::for_each(
        [&]<const auto &Section>() { ok = ok && cfg_fields::well_formed<Section>(); });
    return ok;
}());

// Every section of the document, the entry kinds first in the writer's
// order, then the metadata.
inline constexpr auto kCfgSections = cfg_fields::section_infos(cfg_document_sections{});

// The element of every entry kind's name field, which the reader looks for
// before it reads an entry.
inline constexpr const char *kCfgNameElement = kCfgServers.fields[0].element;
static_assert([] {
    bool same = true;
    cfg_entry_kinds::for_each([&]<const auto &Kind>() {
        same = same && std::string_view(Kind.fields[0].element) == kCfgNameElement;
    });
    return same;
}());

// The entry kinds alone.
inline constexpr std::span<const cfg_section_info> kCfgEntryKinds =
    std::span(kCfgSections).first(cfg_entry_kinds::size);

// The metadata section alone.
inline constexpr const cfg_section_info &kCfgMetadataInfo = kCfgSections.back();
