// The version-0 format: one row an element, which the reader dispatches
// through, legacy_config_free releases by, the conversion moves by and the
// checker's hints name version 1's places from. A row says where the
// element stands, what it holds, which member of the record it fills, and
// where and how its value goes in version 1, so that an element added here
// is read, released, converted and hinted at with no other list to keep in
// step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string_view>

#include "cfg/cfg_fields.h"
#include "legacy/legacy_config.h"

// The longest path <filename> and <metadata_progname> may hold.
inline constexpr std::size_t kLegacyPathMax = 1023;

// What an element holds, as the reader takes it.
enum class legacy_kind : unsigned char {
    text,            // stored as written
    upper,           // folded to upper case
    lower,           // folded to lower case
    path,            // at most kLegacyPathMax bytes
    metadata_format, // checked as a metadata format template
    decode,          // checked as a decoder command template
    encode,          // checked as an encoder command template
    number,          // decimal within [min, max]
    flag,            // 0 or 1
    section,         // elements of its own, which fill the record
    entry,           // elements of its own, which fill one <encdec> entry
};

// How the conversion hands an element's value over to its places.
enum class legacy_move : unsigned char {
    none,     // not on its own: the element is part of the re-encoding table
    url,      // split into host, port and mountpoint
    text,     // the text, when there is one
    format,   // the text as version 1 names the format, when there is one
    file,     // the text, when there is one; "stdin" is an intake type instead
    number,   // the number in decimal
    interval, // the number in decimal, but 0 leaves version 1's initial value
    flag,     // the row's word for the flag's value, when it has one
    reencode, // the table's decoders and encoders, and the stream's encoder
};

// A field of the version-1 registry, by the place of its section among
// kCfgSections and its own among the section's fields; a type that may be
// a template argument, so that the conversion takes the field's setter
// with its section's own types.
struct legacy_place {
    std::size_t section_index;
    std::size_t field_index;

    constexpr const cfg_section_info &section() const { return kCfgSections[section_index]; }
    constexpr const cfg_field_info &field() const { return section().fields[field_index]; }

    // The field `element` of the registry's section `Section`; a field it
    // does not have fails the build.
    template <const auto &Section> static consteval legacy_place in(std::string_view element)
    {
        for (std::size_t s = 0; s < kCfgSections.size(); s++) {
            if (std::string_view(kCfgSections[s].section) != Section.section)
                continue;
            for (std::size_t f = 0; f < kCfgSections[s].fields.size(); f++) {
                if (element == kCfgSections[s].fields[f].element)
                    return {s, f};
            }
        }
        throw "the registry's section has no such field";
    }
};

// The few places of one element, in the conversion's order.
class legacy_places {
  public:
    static constexpr std::size_t kMax = 3;

    constexpr legacy_places() = default;
    constexpr legacy_places(std::initializer_list<legacy_place> places)
    {
        if (places.size() > kMax)
            throw "more places than legacy_places holds";
        for (const legacy_place &place : places)
            places_[count_++] = place;
    }

    constexpr std::span<const legacy_place> all() const { return {places_.data(), count_}; }
    constexpr const legacy_place &operator[](std::size_t i) const { return all()[i]; }

  private:
    std::array<legacy_place, kMax> places_{};
    std::size_t count_ = 0;
};

struct legacy_element {
    const char *name;   // case-sensitive, as version 0 compares names
    const char *parent; // the section or entry it stands in; null for the root
    legacy_kind kind;
    // The member it fills, at most one: a text or a number of the record,
    // or a text of an <encdec> entry.
    char *legacy_config::*text = nullptr;
    int32_t legacy_config::*number = nullptr;
    uint32_t legacy_config::*unumber = nullptr;
    char *legacy_format_entry::*entry_text = nullptr;
    // For a number: what it may be.
    long long min = 0;
    long long max = 1;
    legacy_move move = legacy_move::none;
    // Where version 1 keeps what it held, as the checker tells the writer of
    // a file that mixes both versions; the conversion's setters are these
    // fields' own.
    legacy_places places = {};
    // For a flag: version 1's text for 0 and for 1, null for nothing.
    std::array<const char *, 2> words = {};
    // Its messages name it without the brackets, as they always have.
    bool bare_label = false;
};

// Children of the root first, in the conversion's order, which is the order
// of its messages (so <filename> comes before <playlist_program>, and a
// program intake wins over "stdin"); then each section's elements, together.
inline constexpr legacy_element kLegacyElements[] = {
    {.name = "url",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::url,
     .move = legacy_move::url,
     .places = {legacy_place::in<kCfgServers>("hostname"),
                legacy_place::in<kCfgServers>("port"),
                legacy_place::in<kCfgStreams>("mountpoint")}},
    {.name = "sourceuser",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::sourceuser,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgServers>("user")}},
    {.name = "sourcepassword",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::sourcepassword,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgServers>("password")}},
    {.name = "format",
     .parent = nullptr,
     .kind = legacy_kind::upper,
     .text = &legacy_config::format,
     .move = legacy_move::format,
     .places = {legacy_place::in<kCfgStreams>("format")}},
    {.name = "filename",
     .parent = nullptr,
     .kind = legacy_kind::path,
     .text = &legacy_config::filename,
     .move = legacy_move::file,
     .places = {legacy_place::in<kCfgIntakes>("filename")}},
    {.name = "metadata_progname",
     .parent = nullptr,
     .kind = legacy_kind::path,
     .text = &legacy_config::metadata_progname,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgMetadata>("program")}},
    {.name = "metadata_format",
     .parent = nullptr,
     .kind = legacy_kind::metadata_format,
     .text = &legacy_config::metadata_format,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgMetadata>("format_str")}},
    // -1 stands for an absent element.
    {.name = "metadata_refreshinterval",
     .parent = nullptr,
     .kind = legacy_kind::number,
     .number = &legacy_config::metadata_refreshinterval,
     .min = -1,
     .max = std::numeric_limits<int32_t>::max(),
     .move = legacy_move::interval,
     .places = {legacy_place::in<kCfgMetadata>("refresh_interval")}},
    {.name = "playlist_program",
     .parent = nullptr,
     .kind = legacy_kind::flag,
     .number = &legacy_config::playlist_program,
     .move = legacy_move::flag,
     .places = {legacy_place::in<kCfgIntakes>("type")},
     .words = {nullptr, "program"},
     .bare_label = true},
    {.name = "shuffle",
     .parent = nullptr,
     .kind = legacy_kind::flag,
     .number = &legacy_config::shuffle,
     .move = legacy_move::flag,
     .places = {legacy_place::in<kCfgIntakes>("shuffle")},
     .words = {"0", "1"}},
    {.name = "stream_once",
     .parent = nullptr,
     .kind = legacy_kind::flag,
     .number = &legacy_config::stream_once,
     .move = legacy_move::flag,
     .places = {legacy_place::in<kCfgIntakes>("stream_once")},
     .words = {"0", "1"}},
    {.name = "reconnect_tries",
     .parent = nullptr,
     .kind = legacy_kind::number,
     .unumber = &legacy_config::reconnect_tries,
     .min = 0,
     .max = std::numeric_limits<uint32_t>::max(),
     .move = legacy_move::number,
     .places = {legacy_place::in<kCfgServers>("reconnect_attempts")}},
    {.name = "svrinfoname",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfoname,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_name")}},
    {.name = "svrinfourl",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfourl,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_url")}},
    {.name = "svrinfogenre",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfogenre,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_genre")}},
    {.name = "svrinfodescription",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfodescription,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_description")}},
    {.name = "svrinfobitrate",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfobitrate,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_bitrate")}},
    {.name = "svrinfochannels",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfochannels,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_channels")}},
    {.name = "svrinfosamplerate",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfosamplerate,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_samplerate")}},
    {.name = "svrinfoquality",
     .parent = nullptr,
     .kind = legacy_kind::text,
     .text = &legacy_config::svrinfoquality,
     .move = legacy_move::text,
     .places = {legacy_place::in<kCfgStreams>("stream_quality")}},
    {.name = "svrinfopublic",
     .parent = nullptr,
     .kind = legacy_kind::flag,
     .number = &legacy_config::svrinfopublic,
     .move = legacy_move::flag,
     .places = {legacy_place::in<kCfgStreams>("public")},
     .words = {"no", "yes"}},
    // Every <reencode> section adds to the one table.
    {.name = "reencode",
     .parent = nullptr,
     .kind = legacy_kind::section,
     .move = legacy_move::reencode,
     .places = {legacy_place::in<kCfgStreams>("encoder"),
                legacy_place::in<kCfgDecoders>("program"),
                legacy_place::in<kCfgEncoders>("program")}},

    // A later section's <enable> replaces an earlier one's.
    {.name = "enable",
     .parent = "reencode",
     .kind = legacy_kind::flag,
     .number = &legacy_config::reencode},
    // At most LEGACY_ENCDEC_MAX, in the record's table.
    {.name = "encdec", .parent = "reencode", .kind = legacy_kind::entry},

    {.name = "format",
     .parent = "encdec",
     .kind = legacy_kind::upper,
     .entry_text = &legacy_format_entry::format},
    {.name = "match",
     .parent = "encdec",
     .kind = legacy_kind::lower,
     .entry_text = &legacy_format_entry::match},
    {.name = "decode",
     .parent = "encdec",
     .kind = legacy_kind::decode,
     .entry_text = &legacy_format_entry::decode},
    {.name = "encode",
     .parent = "encdec",
     .kind = legacy_kind::encode,
     .entry_text = &legacy_format_entry::encode},
};

namespace legacy_format {

constexpr bool same(const char *a, const char *b)
{
    return a == nullptr || b == nullptr ? a == b : std::string_view(a) == b;
}

// The rows of the elements that stand in `parent` (null: the root).
constexpr std::span<const legacy_element> children(const char *parent)
{
    const std::span<const legacy_element> rows = kLegacyElements;
    std::size_t first = 0;
    while (first < rows.size() && !same(rows[first].parent, parent))
        first++;
    std::size_t last = first;
    while (last < rows.size() && same(rows[last].parent, parent))
        last++;
    return rows.subspan(first, last - first);
}

// What the table keeps to, or the build fails: the elements of one parent
// stand together and have distinct names, a parent is a section or an
// entry, each row fills the member its kind needs (an entry's elements
// their entry's texts), and the children of the root, and they alone, move
// to places of version 1, by a move that takes what their member holds.
// (Flags, rather than pointers, say what a parent is: a sanitizer build
// cannot test a pointer into the table for null in a constant expression.)
consteval bool well_formed()
{
    const std::span<const legacy_element> rows = kLegacyElements;
    for (std::size_t i = 0; i < rows.size(); i++) {
        const legacy_element &e = rows[i];
        const std::span<const legacy_element> siblings = children(e.parent);
        if (&e < siblings.data() || &e >= siblings.data() + siblings.size())
            return false;
        for (const legacy_element &other : siblings) {
            if (&other != &e && same(other.name, e.name))
                return false;
        }
        bool has_parent = false;
        bool in_entry = false;
        for (const legacy_element &p : rows) {
            if (e.parent != nullptr && same(p.name, e.parent) &&
                (p.kind == legacy_kind::section || p.kind == legacy_kind::entry)) {
                has_parent = true;
                in_entry = p.kind == legacy_kind::entry;
            }
        }
        if ((e.parent != nullptr) != has_parent)
            return false;
        const bool numeric = e.kind == legacy_kind::number || e.kind == legacy_kind::flag;
        const bool nested = e.kind == legacy_kind::section || e.kind == legacy_kind::entry;
        const int members = (e.text != nullptr) + (e.number != nullptr) +
                            (e.unumber != nullptr) + (e.entry_text != nullptr);
        if (nested ? members != 0 : members != 1)
            return false;
        if (numeric != (e.number != nullptr || e.unumber != nullptr) ||
            in_entry != (e.entry_text != nullptr))
            return false;
        if (e.kind == legacy_kind::flag && (e.min != 0 || e.max != 1))
            return false;
        const bool moved = e.parent == nullptr;
        if (moved != (e.move != legacy_move::none) || moved == e.places.all().empty())
            return false;
        switch (e.move) {
        case legacy_move::url:
        case legacy_move::text:
        case legacy_move::format:
        case legacy_move::file:
            if (e.text == nullptr)
                return false;
            break;
        case legacy_move::number:
        case legacy_move::interval:
            if (e.kind != legacy_kind::number)
                return false;
            break;
        case legacy_move::flag:
            if (e.kind != legacy_kind::flag)
                return false;
            break;
        case legacy_move::reencode:
            if (e.kind != legacy_kind::section)
                return false;
            break;
        case legacy_move::none:
            break;
        }
        if (e.kind == legacy_kind::flag && moved && e.move != legacy_move::flag)
            return false;
    }
    return !children(nullptr).empty();
}

} // namespace legacy_format

static_assert(legacy_format::well_formed());

// The rows of the root's children.
inline constexpr std::span<const legacy_element> kLegacyRootElements =
    legacy_format::children(nullptr);

// Where the conversion puts what the version-0 element `element` held, in
// the conversion's order: empty for a name that version 0 does not have
// among the root's children. The name is compared as version 0 compares
// it, letter case included.
constexpr std::span<const legacy_place> legacy_format_places(std::string_view element)
{
    for (const legacy_element &e : kLegacyRootElements) {
        if (element == e.name)
            return e.places.all();
    }
    return {};
}
