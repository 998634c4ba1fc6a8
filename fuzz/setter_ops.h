// The setters fuzzer's operations on one text: the setter of every field of
// the registry, section by section in its order, then the program
// settings, which no document holds. A field added to the registry is
// fuzzed without a line here; the registry's unit test holds this table
// against it.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"

template <const auto &Kind>
using fuzz_entry_of = typename std::remove_cvref_t<decltype(Kind)>::entry_type;

template <const auto &...Kinds>
std::tuple<fuzz_entry_of<Kinds> *...> fuzz_entries_of(cfg_section_list<Kinds...>);

// The entry of each kind that the operations work on.
using fuzz_cursor = decltype(fuzz_entries_of(cfg_entry_kinds{}));

struct fuzz_setter_op {
    const char *where;   // the entry element, "metadata", or "program"
    const char *element; // the field's element, or the program setting's name
    // Null is taken, and clears the field, rather than refused as empty.
    bool null_clears;
    const void *row; // the registry's row, handed back to `call`
    int (*call)(const void *row, fuzz_cursor &cursor, const char *value, const char **errstrp);
};

namespace fuzz_setters {

template <const auto &Section>
int call(const void *row, fuzz_cursor &cursor, const char *value, const char **errstrp)
{
    using field = typename std::remove_cvref_t<decltype(Section)>::field;
    const auto &f = *static_cast<const field *>(row);
    if constexpr (Section.entry == nullptr)
        return f.set(value, errstrp);
    else
        return f.set(std::get<fuzz_entry_of<Section> *>(cursor), Section.list(), value, errstrp);
}

template <const auto &Section> constexpr auto ops_of()
{
    std::array<fuzz_setter_op, Section.fields.size()> ops{};
    for (std::size_t i = 0; i < ops.size(); i++) {
        const auto &f = Section.fields[i];
        ops[i] = {Section.entry != nullptr ? Section.entry : Section.section, f.element,
                  f.empty_clears, &f, call<Section>};
    }
    return ops;
}

template <const auto &Section> inline constexpr auto kOpsOf = ops_of<Section>();

template <auto Set>
int call_program(const void *, fuzz_cursor &, const char *value, const char **errstrp)
{
    return Set(value, errstrp);
}

inline constexpr fuzz_setter_op kProgramOps[] = {
    {"program", "name", false, nullptr, call_program<cfg_set_program_name>},
    {"program", "config_file", false, nullptr, call_program<cfg_set_program_config_file>},
    {"program", "second_path", false, nullptr, call_program<cfg_set_program_second_path>},
};

template <const auto &...Sections> constexpr auto all_ops(cfg_section_list<Sections...>)
{
    constexpr std::size_t count = (kOpsOf<Sections>.size() + ...) + std::size(kProgramOps);
    std::array<fuzz_setter_op, count> ops{};
    std::size_t at = 0;
    const auto append = [&](const auto &some) {
        for (const fuzz_setter_op &op : some)
            ops[at++] = op;
    };
    (append(kOpsOf<Sections>), ...);
    append(kProgramOps);
    return ops;
}

} // namespace fuzz_setters

inline constexpr auto kFuzzSetterOps = fuzz_setters::all_ops(cfg_document_sections{});
