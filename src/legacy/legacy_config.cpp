#include "legacy/legacy_config.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "legacy/legacy_check.h"
#include "support/alloc.h"
#include "support/compat.h"
#include "support/log.h"
#include "support/log_input.h"
#include "support/xml_notice.h"
#include "support/xml_text.h"
#include "support/xml_tree.h"

namespace {

constexpr const char kAllocModule[] = "legacy_config";

// The longest path <filename> and <metadata_progname> may hold.
constexpr size_t kPathMax = 1023;

legacy_config record;
unsigned int read_warnings;

enum class Kind {
    Text,           // stored as written
    Upper,          // folded to upper case
    Lower,          // folded to lower case
    Path,           // at most kPathMax bytes
    MetadataFormat, // checked as a metadata format template
    Decode,         // checked as a decoder command template
    Encode,         // checked as an encoder command template
    Number,         // decimal within [min, max]
    Flag,           // 0 or 1
    Reencode,       // the nested section
};

struct Element {
    const char *name;
    Kind kind;
    char *legacy_config::*text = nullptr;
    int32_t legacy_config::*number = nullptr;
    uint32_t legacy_config::*unumber = nullptr;
    long long min = 0;
    long long max = 1;
};

// Tried in this order; names are case-sensitive.
const std::array kTopElements{
    Element{"url", Kind::Text, &legacy_config::url},
    Element{"sourceuser", Kind::Text, &legacy_config::sourceuser},
    Element{"sourcepassword", Kind::Text, &legacy_config::sourcepassword},
    Element{"format", Kind::Upper, &legacy_config::format},
    Element{"filename", Kind::Path, &legacy_config::filename},
    Element{"metadata_progname", Kind::Path, &legacy_config::metadata_progname},
    Element{"metadata_format", Kind::MetadataFormat, &legacy_config::metadata_format},
    Element{"metadata_refreshinterval", Kind::Number, nullptr,
            &legacy_config::metadata_refreshinterval, nullptr, -1,
            std::numeric_limits<int32_t>::max()},
    Element{"playlist_program", Kind::Flag, nullptr, &legacy_config::playlist_program},
    Element{"shuffle", Kind::Flag, nullptr, &legacy_config::shuffle},
    Element{"stream_once", Kind::Flag, nullptr, &legacy_config::stream_once},
    Element{"reconnect_tries", Kind::Number, nullptr, nullptr, &legacy_config::reconnect_tries, 0,
            std::numeric_limits<uint32_t>::max()},
    Element{"svrinfoname", Kind::Text, &legacy_config::svrinfoname},
    Element{"svrinfourl", Kind::Text, &legacy_config::svrinfourl},
    Element{"svrinfogenre", Kind::Text, &legacy_config::svrinfogenre},
    Element{"svrinfodescription", Kind::Text, &legacy_config::svrinfodescription},
    Element{"svrinfobitrate", Kind::Text, &legacy_config::svrinfobitrate},
    Element{"svrinfochannels", Kind::Text, &legacy_config::svrinfochannels},
    Element{"svrinfosamplerate", Kind::Text, &legacy_config::svrinfosamplerate},
    Element{"svrinfoquality", Kind::Text, &legacy_config::svrinfoquality},
    Element{"svrinfopublic", Kind::Flag, nullptr, &legacy_config::svrinfopublic},
    Element{"reencode", Kind::Reencode},
};

// For each first byte, a bit for every row of kTopElements whose name
// starts with it.
const std::array<uint32_t, 256> kRowsByFirstByte = [] {
    static_assert(kTopElements.size() <= 32);
    std::array<uint32_t, 256> rows{};
    for (size_t i = 0; i < kTopElements.size(); i++)
        rows[static_cast<unsigned char>(kTopElements[i].name[0])] |= uint32_t{1} << i;
    return rows;
}();

struct EntryElement {
    const char *name;
    Kind kind;
    char *legacy_format_entry::*text;
};

const std::array kEntryElements{
    EntryElement{"format", Kind::Upper, &legacy_format_entry::format},
    EntryElement{"match", Kind::Lower, &legacy_format_entry::match},
    EntryElement{"decode", Kind::Decode, &legacy_format_entry::decode},
    EntryElement{"encode", Kind::Encode, &legacy_format_entry::encode},
};

// Names match byte for byte, case-sensitively; the first byte settles most
// comparisons of a node with the element table.
bool named(const xml_node *node, const char *name)
{
    return node->is_element() && node->name[0] == name[0] && std::strcmp(node->name, name) == 0;
}

void fold(char *text, int (*to)(int))
{
    // Only ASCII letters change; bytes with the high bit set stay as they are.
    for (unsigned char *p = reinterpret_cast<unsigned char *>(text); *p != '\0'; p++)
        if (*p < 0x80)
            *p = static_cast<unsigned char>(to(*p));
}

void free_entry(legacy_format_entry *entry)
{
    if (entry == nullptr)
        return;
    xfree(entry->format, kAllocModule);
    xfree(entry->match, kAllocModule);
    xfree(entry->encode, kAllocModule);
    xfree(entry->decode, kAllocModule);
    xfree(entry, kAllocModule);
}

class Reader {
  public:
    // Every problem with the file is reported through `messages`, which
    // also counts them.
    Reader(log_input &messages, const xml_tree &tree)
        : path_(messages.path()), texts_(tree.doc()), markup_(tree.doc()), messages_(messages)
    {
    }

    void read_top(const xml_node *node)
    {
        if (!node->is_element()) {
            pass_over_entity(node);
            return;
        }
        // Only the rows whose name starts with the node's first byte are
        // tried, lowest first, so the table order still decides.
        for (uint32_t rows = kRowsByFirstByte[static_cast<unsigned char>(node->name[0])];
             rows != 0; rows &= rows - 1) {
            const size_t i = static_cast<size_t>(__builtin_ctz(rows));
            const Element &e = kTopElements[i];
            if (!named(node, e.name))
                continue;
            switch (e.kind) {
            case Kind::Number:
            case Kind::Flag:
                read_number(node, e, seen_[i]);
                break;
            case Kind::Reencode:
                read_reencode(node);
                break;
            default:
                read_text(node, e.name, e.kind, record.*(e.text));
                break;
            }
            return;
        }
        pass_over(node);
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

    void read_text(const xml_node *node, const char *name, Kind kind, char *&field)
    {
        long at = line(node);
        if (field != nullptr) {
            duplicate(name, at);
            return;
        }
        bool cut = false;
        xml_text_joiner::joined text = text_of(node, at, &cut);
        if (text.text == nullptr)
            return;
        if (kind == Kind::Path && std::strlen(text.text) > kPathMax) {
            messages_.error("%s[%ld]: Error: Path or filename in <%s> is too long\n", path_, at,
                            name);
            return;
        }
        // A joined text was made with the record's allocator and is kept as
        // it is; one read in place in the document is copied.
        field = text.owned ? reinterpret_cast<char *>(text.owned.release())
                           : xstrdup(text.text, kAllocModule);
        // A cut text is refused as too long later on; its placeholders are
        // not checked, as the cut could break one in two.
        switch (kind) {
        case Kind::Upper:
            fold(field, ::toupper);
            break;
        case Kind::Lower:
            fold(field, ::tolower);
            break;
        case Kind::MetadataFormat:
            if (!cut)
                legacy_check_metadata_format(field, &messages_, at);
            break;
        case Kind::Decode:
            if (!cut)
                legacy_check_decoder_command(field, &messages_, at);
            break;
        case Kind::Encode:
            if (!cut)
                legacy_check_encoder_command(field, &messages_, at);
            break;
        default:
            break;
        }
    }

    // Numbers and flags: a later element is a duplicate only once one of
    // that name was read successfully. `at` is the line the messages carry.
    void read_number(const xml_node *node, const Element &e, bool &seen, long at = -1)
    {
        if (at < 0)
            at = line(node);
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
            if (e.kind == Kind::Flag)
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

    void read_reencode(const xml_node *section)
    {
        static const Element kEnable{"enable", Kind::Flag, nullptr, &legacy_config::reencode};
        // <enable> may appear once per section; its messages point at the
        // section, as version 0 always did.
        bool enable_seen = false;
        long at = line(section);
        for (const xml_node *child = section->children; child != nullptr; child = child->next) {
            if (named(child, "enable"))
                read_number(child, kEnable, enable_seen, at);
            else if (named(child, "encdec"))
                read_encdec(child);
            else
                pass_over(child);
        }
    }

    void read_encdec(const xml_node *node)
    {
        auto *entry = static_cast<legacy_format_entry *>(
            xcalloc(1, sizeof(legacy_format_entry), kAllocModule));
        for (const xml_node *child = node->children; child != nullptr; child = child->next) {
            const EntryElement *known = nullptr;
            for (const EntryElement &e : kEntryElements) {
                if (named(child, e.name)) {
                    known = &e;
                    break;
                }
            }
            if (known != nullptr)
                read_text(child, known->name, known->kind, entry->*(known->text));
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
    std::array<bool, kTopElements.size()> seen_{};
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

    Reader reader(messages, *tree);
    for (const xml_node *node = root->children; node != nullptr; node = node->next)
        reader.read_top(node);
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
    for (char *legacy_config::*field :
         {&legacy_config::url, &legacy_config::sourceuser, &legacy_config::sourcepassword,
          &legacy_config::format, &legacy_config::filename, &legacy_config::metadata_progname,
          &legacy_config::metadata_format, &legacy_config::svrinfoname, &legacy_config::svrinfourl,
          &legacy_config::svrinfogenre, &legacy_config::svrinfodescription,
          &legacy_config::svrinfobitrate, &legacy_config::svrinfochannels,
          &legacy_config::svrinfosamplerate, &legacy_config::svrinfoquality})
        xfree(r->*field, kAllocModule);
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
