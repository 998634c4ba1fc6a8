#include "legacy/legacy_config.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <span>
#include <unordered_set>
#include <utility>

#include "legacy/legacy_check.h"
#include "legacy/legacy_format.h"
#include "support/alloc.h"
#include "support/compat.h"
#include "support/log.h"
#include "support/log_input.h"
#include "support/xml_notice.h"
#include "support/xml_text.h"
#include "support/xml_tree.h"

namespace {

constexpr const char kAllocModule[] = "legacy_config";

legacy_config record;
unsigned int read_warnings;

// The rows of the elements that stand in one place (the root, a section or
// an entry), and an index of them by their name's first byte: a file may
// hold tens of thousands of <reencode> sections, and each would otherwise
// walk the root's rows to find its own.
struct child_rows {
    std::span<const legacy_element> rows;
    // 1 + the first row whose name starts with that byte; 0 for none.
    std::array<uint8_t, 128> first{};
    // 1 + the next row whose name starts with the same byte; 0 for none.
    std::array<uint8_t, std::size(kLegacyElements)> next{};

    constexpr child_rows() = default;
    constexpr explicit child_rows(std::span<const legacy_element> in) : rows(in)
    {
        for (size_t i = rows.size(); i-- > 0;) {
            const auto byte = static_cast<unsigned char>(rows[i].name[0]);
            next[i] = first[byte];
            first[byte] = static_cast<uint8_t>(i + 1);
        }
    }

    // The row that names the element `node`, byte for byte; null for none.
    const legacy_element *row_of(const xml_node *node) const
    {
        const auto byte = static_cast<unsigned char>(node->name[0]);
        if (byte >= first.size())
            return nullptr;
        for (uint8_t i = first[byte]; i != 0; i = next[i - 1u]) {
            if (std::strcmp(node->name, rows[i - 1u].name) == 0)
                return &rows[i - 1u];
        }
        return nullptr;
    }
};

// Found once rather than at every section read; empty for the rows that
// are neither a section nor an entry.
constexpr auto kChildren = [] {
    std::array<child_rows, std::size(kLegacyElements)> children{};
    for (size_t i = 0; i < children.size(); i++) {
        const legacy_element &row = kLegacyElements[i];
        if (row.kind == legacy_kind::section || row.kind == legacy_kind::entry)
            children[i] = child_rows(legacy_format::children(row.name));
    }
    return children;
}();

constexpr const child_rows &children_of(const legacy_element &row)
{
    return kChildren[static_cast<size_t>(&row - kLegacyElements)];
}

constexpr child_rows kRootChildren{kLegacyRootElements};

void fold(char *text, int (*to)(int))
{
    // Only ASCII letters change; bytes with the high bit set stay as they are.
    for (unsigned char *p = reinterpret_cast<unsigned char *>(text); *p != '\0'; p++)
        if (*p < 0x80)
            *p = static_cast<unsigned char>(to(*p));
}

// The rows of an <encdec> entry's elements.
constexpr std::span<const legacy_element> kEntryElements = [] {
    for (const legacy_element &row : kLegacyElements) {
        if (row.kind == legacy_kind::entry)
            return children_of(row).rows;
    }
    throw "the table has no entry";
}();

void free_entry(legacy_format_entry *entry)
{
    if (entry == nullptr)
        return;
    for (const legacy_element &row : kEntryElements)
        xfree(entry->*(row.entry_text), kAllocModule);
    xfree(entry, kAllocModule);
}

class legacy_reader {
  public:
    // Every problem with the file is reported through `messages`, which
    // also counts them.
    legacy_reader(log_input &messages, const xml_tree &tree)
        : path_(messages.path()), texts_(tree.doc()), markup_(tree.doc()), messages_(messages)
    {
    }

    // The elements of the root, or of a section. A number or a flag may
    // appear once in its section; in a nested section its messages point at
    // the section, as version 0 always did.
    void read_section(const xml_node *section, const child_rows &children, bool nested)
    {
        std::array<bool, std::size(kLegacyElements)> seen{};
        for (const xml_node *node = section->children; node != nullptr; node = node->next) {
            const legacy_element *row = node->is_element() ? children.row_of(node) : nullptr;
            if (row == nullptr) {
                pass_over(node);
                continue;
            }
            switch (row->kind) {
            case legacy_kind::number:
            case legacy_kind::flag:
                read_number(node, *row, seen[static_cast<size_t>(row - children.rows.data())],
                            nested ? line(section) : line(node));
                break;
            case legacy_kind::section:
                read_section(node, children_of(*row), true);
                break;
            case legacy_kind::entry:
                read_entry(node, children_of(*row));
                break;
            default:
                read_text(node, *row, record.*(row->text));
                break;
            }
        }
    }

    // Version 0 knows no other element here; a misspelt name would
    // otherwise lose its setting without a word. An entity reference here
    // that brings in an element loses it for sure: that is a warning.
    void pass_over(const xml_node *node)
    {
        if (node->is_element())
            xml_pass_over(messages_, node);
        else
            pass_over_entity(node);
    }

    // What a setting's text holds besides text is passed over, and was
    // surely meant: an element inside it, or one that an entity in it
    // brings in, is named in a warning.
    // An entity referred to many times in one text is named once.
    void pass_over_markup(const xml_node *setting)
    {
        std::unordered_set<const xmlEntity *> named;
        for (const xml_node *child = setting->children; child != nullptr; child = child->next) {
            if (child->is_element())
                messages_.warning(
                    "%s[%ld]: Warning: passed over <%s> in <%s>: an element in a setting's text\n",
                    path_, line(child), child->name, setting->name);
            else if (named.insert(child->entity).second)
                pass_over_entity(child);
        }
    }

    // A reference to an entity that brings in an element: only text is
    // taken from entities.
    void pass_over_entity(const xml_node *reference)
    {
        if (reference->is_element())
            return;
        const xml_markup_finder::markup found = markup_.of(reference);
        if (found.element == nullptr)
            return;
        messages_.warning("%s[%ld]: Warning: passed over <%s> in <%s>: brought in by entity "
                          "'%s'\n",
                          path_, line(reference), xml_chars(found.element->name),
                          reference->parent->name, reference->name);
    }

  private:
    static long line(const xml_node *node) { return node->line; }

    void duplicate(const char *name, long at)
    {
        messages_.error("%s[%ld]: Error: Cannot have multiple <%s> elements\n", path_, at, name);
    }

    // The element's text; null when it has none (no child node, only
    // comments or child elements, or an empty CDATA section), and also
    // when it refers to an entity that cannot be expanded or when the
    // document's entities have expanded too far: those are reported and
    // counted, since the text would otherwise drop out unnoticed. A text
    // too long for any document comes cut (see xml_text_fault::too_long),
    // and `cut` says so; the migration refuses it as too long.
    xml_text_joiner::joined text_of(const xml_node *node, long at, bool *cut = nullptr)
    {
        pass_over_markup(node);
        xml_text_joiner::joined joined = texts_.text(node);
        switch (joined.fault) {
        case xml_text_fault::unexpanded_entity:
            messages_.error("%s[%ld]: Error: Cannot expand entity '%s' in <%s>\n", path_, at,
                            xml_chars(joined.entity), node->name);
            return {};
        case xml_text_fault::expansion:
            messages_.error("%s[%ld]: Error: Entities expand too far in <%s>\n", path_, at,
                            node->name);
            return {};
        case xml_text_fault::too_long:
            if (cut != nullptr)
                *cut = true;
            break;
        case xml_text_fault::none:
            break;
        }
        if (joined.text != nullptr && joined.text[0] == '\0')
            return {};
        return joined;
    }

    void read_text(const xml_node *node, const legacy_element &e, char *&field)
    {
        long at = line(node);
        if (field != nullptr) {
            duplicate(e.name, at);
            return;
        }
        bool cut = false;
        xml_text_joiner::joined text = text_of(node, at, &cut);
        if (text.text == nullptr)
            return;
        if (e.kind == legacy_kind::path && std::strlen(text.text) > kLegacyPathMax) {
            messages_.error("%s[%ld]: Error: Path or filename in <%s> is too long\n", path_, at,
                            e.name);
            return;
        }
        // A joined text was made with the record's allocator and is kept as
        // it is; one read in place in the document is copied.
        field = text.owned ? reinterpret_cast<char *>(text.owned.release())
                           : xstrdup(text.text, kAllocModule);
        // A cut text is refused as too long later on; its placeholders are
        // not checked, as the cut could break one in two.
        switch (e.kind) {
        case legacy_kind::upper:
            fold(field, ::toupper);
            break;
        case legacy_kind::lower:
            fold(field, ::tolower);
            break;
        case legacy_kind::metadata_format:
            if (!cut)
                legacy_check_metadata_format(field, &messages_, at);
            break;
        case legacy_kind::decode:
            if (!cut)
                legacy_check_decoder_command(field, &messages_, at);
            break;
        case legacy_kind::encode:
            if (!cut)
                legacy_check_encoder_command(field, &messages_, at);
            break;
        default:
            break;
        }
    }

    // Numbers and flags: a later element is a duplicate only once one of
    // that name was read successfully. `at` is the line the messages carry.
    void read_number(const xml_node *node, const legacy_element &e, bool &seen, long at)
    {
        if (seen) {
            duplicate(e.name, at);
            return;
        }
        // Numbers are only looked at, in place in the document when they
        // need no joining.
        const xml_text_joiner::joined joined = text_of(node, at);
        // An empty text came back as none.
        const char *text = joined.text;
        if (text == nullptr)
            return;
        const char *reason = nullptr;
        long long value = strtonum(text, e.min, e.max, &reason);
        if (reason != nullptr) {
            if (e.kind == legacy_kind::flag)
                messages_.error("%s[%ld]: Error: <%s> may only contain 1 or 0\n", path_, at,
                                e.name);
            else
                messages_.error("%s[%ld]: Error: In <%s>: '%s' is %s\n", path_, at, e.name, text,
                                reason);
            return;
        }
        if (e.unumber != nullptr)
            record.*(e.unumber) = static_cast<uint32_t>(value);
        else
            record.*(e.number) = static_cast<int32_t>(value);
        seen = true;
    }

    void read_entry(const xml_node *node, const child_rows &children)
    {
        auto *entry = static_cast<legacy_format_entry *>(
            xcalloc(1, sizeof(legacy_format_entry), kAllocModule));
        for (const xml_node *child = node->children; child != nullptr; child = child->next) {
            const legacy_element *row = child->is_element() ? children.row_of(child) : nullptr;
            if (row != nullptr)
                read_text(child, *row, entry->*(row->entry_text));
            else
                pass_over(child);
        }
        // The table has a fixed size; an entry beyond it is an error of the
        // file, reported after its own problems so that none goes unsaid.
        if (record.encdec_count >= LEGACY_ENCDEC_MAX) {
            messages_.error("%s[%ld]: Error: Cannot have more than %d <encdec> elements\n", path_,
                            line(node), LEGACY_ENCDEC_MAX);
            free_entry(entry);
            return;
        }
        record.encdec[record.encdec_count++] = entry;
    }

    const char *path_;
    xml_text_joiner texts_;
    xml_markup_finder markup_;
    log_input &messages_;
};

const char *lookup(const char *key, char *legacy_format_entry::*field,
                   char *legacy_format_entry::*result)
{
    for (int i = 0; i < record.encdec_count; i++) {
        const legacy_format_entry *entry = record.encdec[i];
        if (entry->*field == nullptr || std::strcmp(entry->*field, key) != 0)
            continue;
        return entry->*result != nullptr ? entry->*result : "";
    }
    return "";
}

} // namespace

int legacy_config_read(const char *path)
{
    // Everything said about the file, the parser's own diagnostics
    // included, goes through one channel.
    log_input messages(path, "\n");
    read_warnings = 0;
    xml_tree_ptr tree = xml_tree_parse_local_file(path);
    if (!tree) {
        messages.finish();
        messages.summary(LOG_LEVEL_ERROR, "%s: Parse error (not well-formed XML.)\n",
                         messages.path());
        return 0;
    }
    const xml_node *root = tree->root();
    if (root == nullptr) {
        messages.finish();
        messages.summary(LOG_LEVEL_ERROR, "%s: Parse error (empty XML document.)\n",
                         messages.path());
        return 0;
    }

    // A record read before is released rather than leaked.
    legacy_config_free(&record);
    record.metadata_refreshinterval = -1;

    legacy_reader reader(messages, *tree);
    reader.read_section(root, kRootChildren, false);
    tree.reset();

    messages.finish();
    read_warnings = messages.warnings();
    if (messages.errors() == 0)
        return 1;
    legacy_config_free(&record);
    messages.summary(LOG_LEVEL_ERROR, "%u configuration error(s) in %s\n", messages.errors(),
                     messages.path());
    return 0;
}

unsigned int legacy_config_read_warnings(void)
{
    return read_warnings;
}

legacy_config *legacy_config_get(void)
{
    return &record;
}

void legacy_config_free(legacy_config *r)
{
    if (r == nullptr)
        return;
    for (const legacy_element &row : kLegacyElements) {
        if (row.text != nullptr)
            xfree(r->*(row.text), kAllocModule);
    }
    for (legacy_format_entry *entry : r->encdec)
        free_entry(entry);
    *r = legacy_config{};
    // The warnings belong to the record read.
    if (r == &record)
        read_warnings = 0;
}

const char *legacy_config_get_encoder(const char *format)
{
    return lookup(format, &legacy_format_entry::format, &legacy_format_entry::encode);
}

const char *legacy_config_get_decoder(const char *extension)
{
    return lookup(extension, &legacy_format_entry::match, &legacy_format_entry::decode);
}
