#include "driver/cfgcheck_hint.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <span>
#include <strings.h>

#include "cfg/cfg_document.h"
#include "cfg/cfg_fields.h"
#include "cfg/cfg_list.h"
#include "legacy/legacy_format.h"

namespace {

// The longest name worth comparing: the longest known name is 18 letters,
// and two edits cannot bridge a greater difference in length. It also keeps
// each comparison small, whatever a hostile file names its elements.
constexpr size_t kComparedMax = 32;

// The sections' names, for a misspelt one at the root.
constexpr auto kSectionNames = [] {
    std::array<const char *, kCfgSections.size()> names{};
    for (std::size_t i = 0; i < names.size(); i++)
        names[i] = kCfgSections[i].section;
    return names;
}();

// The reader compares names so.
bool same_name(const char *a, const char *b)
{
    return strcasecmp(a, b) == 0;
}

// A list section, or the metadata, by its element; null for none.
const cfg_section_info *section_named(const char *name)
{
    for (const cfg_section_info &section : kCfgSections) {
        if (same_name(name, section.section))
            return &section;
    }
    return nullptr;
}

const cfg_section_info *kind_of_entry(const char *name)
{
    for (const cfg_section_info &kind : kCfgEntryKinds) {
        if (same_name(name, kind.entry))
            return &kind;
    }
    return nullptr;
}

// The lists' fold, and '_' for '-': what a spelling costs nothing for.
char folded(char c)
{
    return c == '-' ? '_' : static_cast<char>(cfg_list::fold(static_cast<unsigned char>(c)));
}

// The optimal string alignment distance (edits as cfgcheck_hint_spelling
// counts them) of two folded names of at most kComparedMax bytes, or some
// number above `limit` once it is sure to exceed it. It runs for every
// element a file misspells, so it works row by row, and stops at the
// first row that is all above the limit: the rows below only grow.
size_t edit_distance(const char *a, size_t alen, const char *b, size_t blen, size_t limit)
{
    using row = std::array<unsigned char, kComparedMax + 1>;
    row before, previous, current; // rows i - 2, i - 1 and i
    for (size_t j = 0; j <= blen; j++)
        previous[j] = static_cast<unsigned char>(j);
    for (size_t i = 1; i <= alen; i++) {
        current[0] = static_cast<unsigned char>(i);
        unsigned int least = current[0];
        for (size_t j = 1; j <= blen; j++) {
            const unsigned int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            unsigned int d =
                std::min({previous[j] + 1u, current[j - 1] + 1u, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d = std::min(d, before[j - 2] + 1u);
            current[j] = static_cast<unsigned char>(d);
            least = std::min(least, d);
        }
        if (least > limit)
            return limit + 1;
        before = previous;
        previous = current;
    }
    return previous[blen];
}

// "<servers><server><hostname>", or "<metadata><program>".
std::string place_text(const legacy_place &place)
{
    std::string text = "<" + std::string(place.section().section) + ">";
    if (place.section().entry != nullptr)
        text += "<" + std::string(place.section().entry) + ">";
    return text + "<" + place.field().element + ">";
}

// Where version 1 keeps what the version-0 element `name` held: "" for a
// name version 0 does not have.
std::string version0_hint(const char *name)
{
    const std::span<const legacy_place> places = legacy_format_places(name);
    if (places.empty())
        return "";
    std::string text;
    for (std::size_t i = 0; i < places.size(); i++) {
        if (i > 0)
            text += i + 1 == places.size() ? " and " : ", ";
        text += place_text(places[i]);
    }
    return "version 1 has <" + std::string(name) + "> as " + text;
}

std::string spelling_hint(const char *name, std::span<const char *const> known)
{
    const char *meant = cfgcheck_hint_spelling(name, known);
    return meant != nullptr ? "did you mean <" + std::string(meant) + ">?" : "";
}

// An entry element outside its section.
std::string misplaced_entry_hint(const char *name, const cfg_section_info *here)
{
    const cfg_section_info *kind = kind_of_entry(name);
    if (kind == nullptr || kind == here)
        return "";
    return "write <" + std::string(name) + "> inside <" + kind->section + ">";
}

// A setting of one other place only, such as a stream's setting in a
// server.
std::string misplaced_field_hint(const char *name)
{
    std::string place;
    unsigned int places = 0;
    const auto look = [&](std::span<const char *const> fields, std::string where) {
        for (const char *field : fields) {
            if (same_name(name, field)) {
                place = std::move(where);
                places++;
                return;
            }
        }
    };
    for (const cfg_section_info &section : kCfgSections) {
        std::string where = "<" + std::string(section.section) + ">";
        if (section.entry != nullptr)
            where += "<" + std::string(section.entry) + ">";
        look(section.elements, std::move(where));
    }
    if (places != 1)
        return "";
    return "write <" + std::string(name) + "> inside " + place;
}

std::string unknown_element_hint(const char *name, const char *parent)
{
    std::string hint;
    if (same_name(parent, kCfgDocumentRoot)) {
        hint = misplaced_entry_hint(name, nullptr);
        if (hint.empty())
            hint = version0_hint(name);
        if (hint.empty())
            hint = spelling_hint(name, kSectionNames);
        return hint;
    }
    const cfg_section_info *section = section_named(parent);
    if (section != nullptr && section->entry != nullptr) {
        hint = misplaced_entry_hint(name, section);
        if (hint.empty()) {
            const char *const entry[] = {section->entry};
            hint = spelling_hint(name, entry);
        }
    } else if (section != nullptr) {
        // The metadata section holds its settings itself.
        hint = spelling_hint(name, section->elements);
        if (hint.empty())
            hint = misplaced_field_hint(name);
    } else if (const cfg_section_info *entry = kind_of_entry(parent)) {
        hint = spelling_hint(name, entry->elements);
        if (hint.empty())
            hint = misplaced_field_hint(name);
    }
    // A setting of version 0 is as far off in any other place.
    return hint.empty() ? version0_hint(name) : hint;
}

// The section of the refusal: its entry kind, or the metadata.
std::optional<cfg_number_range> range_of(const cfg_document_refusal &what)
{
    for (const cfg_section_info &section : kCfgSections) {
        const bool here = what.entry == nullptr
                              ? section.entry == nullptr
                              : section.entry != nullptr && std::strcmp(what.entry, section.entry) == 0;
        if (here) {
            const cfg_field_info *field = section.field(what.field);
            return field != nullptr ? field->range : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

const char *cfgcheck_hint_spelling(const char *name, std::span<const char *const> known)
{
    const size_t len = strnlen(name, kComparedMax + 1);
    if (len > kComparedMax)
        return nullptr;
    std::array<char, kComparedMax> name_folded;
    std::transform(name, name + len, name_folded.begin(), folded);
    const char *best = nullptr;
    size_t best_distance = kComparedMax + 1;
    bool tie = false;
    for (const char *candidate : known) {
        const size_t candidate_len = strnlen(candidate, kComparedMax + 1);
        if (candidate_len > kComparedMax)
            continue;
        const size_t allowed = candidate_len <= 4 ? 1 : 2;
        const size_t apart = len > candidate_len ? len - candidate_len : candidate_len - len;
        if (apart > allowed)
            continue;
        std::array<char, kComparedMax> candidate_folded;
        std::transform(candidate, candidate + candidate_len, candidate_folded.begin(), folded);
        const size_t distance = edit_distance(name_folded.data(), len, candidate_folded.data(),
                                              candidate_len, allowed);
        if (distance > allowed || distance > best_distance)
            continue;
        tie = distance == best_distance;
        best = candidate;
        best_distance = distance;
    }
    return tie ? nullptr : best;
}

std::string cfgcheck_hint_passed_over(const cfg_document_passed_over &what)
{
    switch (what.kind) {
    case cfg_passed_over_kind::unknown_element:
        return unknown_element_hint(what.element, what.parent);
    case cfg_passed_over_kind::entity_markup:
        if (what.element == nullptr)
            return "";
        return "write <" + std::string(what.element) +
               "> in the document itself: the client takes only text from an entity";
    case cfg_passed_over_kind::element_in_text:
        break;
    }
    return "";
}

std::string cfgcheck_hint_number(const cfg_document_refusal &what)
{
    if (what.kind != cfg_refusal_kind::setting || what.field == nullptr)
        return "";
    const std::optional<cfg_number_range> range = range_of(what);
    if (!range)
        return "";
    char text[128];
    std::snprintf(text, sizeof text, "> takes a whole number from %lld to %lld", range->min,
                  range->max);
    return "<" + std::string(what.field) + text;
}
