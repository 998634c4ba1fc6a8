// What the tests that cover every field of the registry share: a walk that
// hands each field over with its setter and getter bound to an entry, and
// a value of each field that the writer writes.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

#include "cfg/cfg_fields.h"

namespace cfg_fields_support {

// Calls `fn(section, field, set, get)` for every field of the registry, in
// its order: `set(value, errstrp)` calls the field's setter on the entry
// of its kind named `entry_name` when the walk reaches the kind (made when
// missing), or on the metadata, and `get()` gives what the writer writes
// of it. A field that repeats
// (its values written through `each`) is handed over with a getter that
// gives nothing.
template <typename Fn> void for_each_field(const char *entry_name, Fn &&fn)
{
    std::size_t at = 0;
    cfg_document_sections::for_each([&]<const auto &Section>() {
        const cfg_section_info &section = kCfgSections[at++];
        if constexpr (Section.entry == nullptr) {
            for (std::size_t i = 0; i < Section.fields.size(); i++) {
                const auto &row = Section.fields[i];
                fn(section, section.fields[i],
                   [&](const char *value, const char **errstrp) { return row.set(value, errstrp); },
                   [&] { return row.get(); });
            }
        } else {
            // One entry for all its fields, whatever its name field makes of it.
            auto list = Section.list();
            auto *entry = Section.get(list, entry_name);
            for (std::size_t i = 0; i < Section.fields.size(); i++) {
                const auto &row = Section.fields[i];
                fn(section, section.fields[i],
                   [&](const char *value, const char **errstrp) {
                       return row.set(entry, list, value, errstrp);
                   },
                   [&] { return row.get != nullptr ? row.get(entry) : cfg_field_value(); });
            }
        }
    });
}

// A value the field takes and the writer writes, not the one assumed in
// its absence; `seed` (letters, digits, '-' and '_') is the text of a
// field that takes any. Words are given in capitals, which the setters
// take in any letter case.
inline std::string sample_value(const cfg_field_info &field, const std::string &seed)
{
    switch (field.type) {
    case cfg_field_type::number:
        return std::to_string(field.range->max);
    case cfg_field_type::flag:
        return "YES";
    case cfg_field_type::word: {
        // The word assumed while unset comes first in its table.
        std::string word = field.words.back().name;
        for (char &c : word)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return word;
    }
    default:
        break;
    }
    std::string text = seed;
    for (const cfg_placeholder_rule &rule : field.rules) {
        if (rule.rule == cfg_placeholder_rule::exactly_once)
            text += std::string(" ") + rule.token;
    }
    if (field.bound != 0 && text.size() > field.bound)
        text.resize(field.bound);
    return text;
}

// The text of a sample value: the entry element (or the section) and the
// field's element, such as "server-hostname".
inline std::string seed_of(const cfg_section_info &section, const cfg_field_info &field)
{
    return std::string(section.entry != nullptr ? section.entry : section.section) + "-" +
           field.element;
}

// What the writer writes for sample_value(field, seed).
inline std::string written_value(const cfg_field_info &field, const std::string &sample)
{
    switch (field.type) {
    case cfg_field_type::flag:
        return "yes";
    case cfg_field_type::word:
        return field.words.back().name;
    default:
        return sample;
    }
}

} // namespace cfg_fields_support
