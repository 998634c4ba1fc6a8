#include "cfg/cfg_rules.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <strings.h>
#include <unordered_map>
#include <utility>

#include "cfg/cfg_fields.h"
#include "cfg/cfg_list.h"
#include "support/log_input.h"

namespace {

// The registry's index of the entry kind of the section, which the facts
// name by the registry's own texts.
size_t kind_index(const char *section)
{
    for (size_t i = 0; i < kCfgEntryKinds.size(); i++) {
        if (std::strcmp(kCfgEntryKinds[i].section, section) == 0)
            return i;
    }
    return kCfgEntryKinds.size();
}

// Unnamed elements are held back until the element that settles their
// entry's name is seen.
class merges {
  public:
    void entry(const cfg_document_entry &e)
    {
        const size_t index = kind_index(e.section);
        if (index == kCfgEntryKinds.size())
            return;
        kind &k = kinds_[index];
        if (!k.seen) {
            k.seen = true;
            order_.push_back(index);
        }
        if (e.name == nullptr || strcasecmp(e.name, kCfgDefaultEntryName) == 0) {
            k.unnamed_lines.push_back(e.line);
            return;
        }
        settle(index, e.name, e.line, k.unnamed_lines.size());
    }

    // The last unnamed element of a kind keeps the entry "default" for
    // itself; the ones before it merge into it. Kinds are settled in the
    // order the document first shows them, which orders the merges of
    // one line.
    std::vector<cfg_merge_finding> findings()
    {
        for (size_t index : order_) {
            const std::vector<long> &lines = kinds_[index].unnamed_lines;
            if (lines.size() > 1)
                settle(index, kCfgDefaultEntryName, lines.back(), lines.size() - 1);
        }
        std::stable_sort(found_.begin(), found_.end(),
                         [](const cfg_merge_finding &a, const cfg_merge_finding &b) {
                             return a.line < b.line;
                         });
        return std::move(found_);
    }

  private:
    struct kind {
        bool seen = false;
        std::vector<long> unnamed_lines;
    };

    void settle(size_t index, const char *into, long into_line, size_t count)
    {
        std::vector<long> &lines = kinds_[index].unnamed_lines;
        for (size_t i = 0; i < count; i++)
            found_.push_back({lines[i], kCfgEntryKinds[index].section,
                              kCfgEntryKinds[index].entry, into, into_line});
        lines.clear();
    }

    std::array<kind, cfg_entry_kinds::size> kinds_;
    std::vector<size_t> order_;
    std::vector<cfg_merge_finding> found_;
};

// Whether entries of the kind name entries of other kinds.
template <const auto &Kind> constexpr bool has_references()
{
    return std::ranges::any_of(Kind.fields,
                               [](const auto &field) { return field.refers != nullptr; });
}

class references {
  public:
    explicit references(const cfg_read_facts &facts) : facts_(facts) {}

    std::vector<cfg_reference_finding> findings()
    {
        cfg_entry_kinds::for_each([this]<const auto &Kind>() {
            if constexpr (has_references<Kind>())
                Kind.for_each(Kind.list(), check_entry<Kind>, this);
        });
        return std::move(found_);
    }

  private:
    // Each reference of the entry, in the order of its kind's fields.
    template <const auto &Kind> static void check_entry(auto *entry, void *arg)
    {
        auto *self = static_cast<references *>(arg);
        [&]<std::size_t... Field>(std::index_sequence<Field...>) {
            (self->check_reference<Kind, Field>(entry), ...);
        }(std::make_index_sequence<Kind.fields.size()>());
    }

    // The kind a reference names is known from the registry when this is
    // built, and so is whether the field is one.
    template <const auto &Kind, std::size_t Field> void check_reference(auto *entry)
    {
        constexpr const auto &field = Kind.fields[Field];
        if constexpr (field.refers != nullptr) {
            constexpr const auto &target =
                cfg_entry_kinds::at<cfg_entry_kinds::index_of(field.refers)>();
            // A reference is a text, which the value borrows from the
            // entry.
            const cfg_field_value name = field.get(entry);
            if (name && target.find(target.list(), name.c_str()) == nullptr) {
                constexpr std::size_t kind = cfg_entry_kinds::index_of(Kind.entry);
                const char *entry_name = Kind.name(entry);
                found_.push_back({entry_line(kind, entry_name),
                                  Kind.entry, entry_name, field.element, name.c_str()});
            }
        }
    }

    // The line of the element that gave the entry of that name its final
    // name. A kind's table is made at its first question: most documents
    // never ask.
    long entry_line(size_t index, const char *name)
    {
        auto &lines = lines_[index];
        if (!lines) {
            lines.emplace();
            const char *section = kCfgEntryKinds[index].section;
            for (const cfg_document_entry &e : facts_.entries) {
                if (std::strcmp(e.section, section) == 0)
                    (*lines)[cfg_rules_entry_key(e)] = e.line;
            }
        }
        const auto line = lines->find(cfg_list::fold_name(name));
        return line != lines->end() ? line->second : 0L;
    }

    const cfg_read_facts &facts_;
    std::array<std::optional<std::unordered_map<std::string, long>>, cfg_entry_kinds::size>
        lines_;
    std::vector<cfg_reference_finding> found_;
};

} // namespace

// The names of entry elements are kept by at most one byte more than a
// message shows of a value, as the checker has always kept them: an entry
// of a longer name (which only a hostile document gives) finds no line.
std::string cfg_rules_entry_key(const cfg_document_entry &entry)
{
    const char *name = entry.name != nullptr ? entry.name : kCfgDefaultEntryName;
    return cfg_list::fold_name(std::string_view(name, strnlen(name, log_input::kValueMax + 1)));
}

std::vector<cfg_merge_finding> cfg_rules_merges(const cfg_read_facts &facts)
{
    merges rule;
    for (const cfg_document_entry &e : facts.entries)
        rule.entry(e);
    return rule.findings();
}

std::vector<cfg_reference_finding> cfg_rules_references(const cfg_read_facts &facts)
{
    return references(facts).findings();
}
