#include "cfg/cfg_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <span>
#include <strings.h>
#include <sys/stat.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include "cfg/cfg.h"
#include "cfg/cfg_document.h"
#include "cfg/cfg_fields.h"
#include "cfg/cfg_file.h"
#include "cfg/cfg_read_facts.h"
#include "support/fd.h"
#include "support/log.h"
#include "support/log_input.h"
#include "support/xml_notice.h"
#include "support/xml_text.h"
#include "support/xml_tree.h"

namespace {

// Only elements count: text, comments and processing instructions are
// passed over even when their node name happens to match.
bool named(const xml_node *node, const char *name)
{
    // The first letters settle most comparisons of an element with a
    // table of names, and compare as the whole names do.
    return node->is_element() &&
           cfg_list::fold(static_cast<unsigned char>(node->name[0])) ==
               cfg_list::fold(static_cast<unsigned char>(name[0])) &&
           strcasecmp(node->name, name) == 0;
}

// Every setter of the model names its reason; the fallback only keeps a
// setter that forgot from crashing the message.
const char *reason_text(const char *reason)
{
    return reason != nullptr ? reason : "invalid";
}

class document_reader {
  public:
    // A document can repeat a section or a metadata field a million times,
    // each with its refusal: the messages go through the read's channel.
    document_reader(log_input &messages, const xml_tree &tree, cfg_read_facts *facts)
        : path_(messages.path()), texts_(tree.doc()), markup_(tree.doc()), messages_(messages),
          facts_(facts)
    {
        // Names are joined on their own account, as if no other text had
        // been: the text budget of the read must not decide what an entry
        // is called.
        if (facts_ != nullptr)
            names_.emplace(tree.doc());
    }

    bool failed() const { return failed_; }

    // Sections of other names are passed over.
    void read_section(const xml_node *section);

    // An element of a name the client does not know is passed over; a
    // misspelt one would otherwise lose its setting without a word. The
    // facts say it instead, also of an entity reference in its place that
    // brings elements in, which the client passes over without one.
    void pass_over(const xml_node *node)
    {
        if (facts_ == nullptr) {
            xml_pass_over(messages_, node);
            return;
        }
        if (node->is_element())
            tell(cfg_passed_over_kind::unknown_element, node, node->parent, nullptr);
        else
            pass_over_entity(node);
    }

  private:
    using read_fn = void (document_reader::*)(const xml_node *section);
    struct section_reader {
        const char *name;
        read_fn read;
    };

    // One reader for each section of the registry, by its name.
    template <const auto &...Sections>
    static constexpr auto readers(cfg_section_list<Sections...>)
    {
        return std::array<section_reader, sizeof...(Sections)>{
            section_reader{Sections.section, reader_of<Sections>()}...};
    }

    template <const auto &Section> static constexpr read_fn reader_of()
    {
        if constexpr (Section.entry == nullptr)
            return &document_reader::read_metadata;
        else
            return &document_reader::read_list<Section>;
    }

    static const std::array<section_reader, cfg_document_sections::size> &sections()
    {
        static constexpr auto kSections = readers(cfg_document_sections{});
        return kSections;
    }

    // A node without text (no children) is handed over as null. An entity
    // the parser did not expand (an external one, say) would drop out of
    // the text without a word; such a field is refused instead, as is one
    // whose text is too long for the model or whose entities expand too
    // far.
    xml_text_joiner::joined text_of(const xml_node *field)
    {
        if (facts_ != nullptr)
            look_into(field);
        return texts_.text(field);
    }

    // The client takes a setting's text and passes over whatever markup it
    // holds: `<hostname>stream<x>host</x></hostname>` is "stream". Only the
    // facts say it; an entity that is never read is refused with
    // the text.
    void look_into(const xml_node *field)
    {
        for (const xml_node *node = field->children; node != nullptr; node = node->next) {
            if (node->is_element())
                tell(cfg_passed_over_kind::element_in_text, node, field, nullptr);
            else if (markup_.of(node).element != nullptr)
                pass_over_entity(node);
        }
    }

    void pass_over_entity(const xml_node *reference)
    {
        if (const xml_markup_finder::markup found = markup_.of(reference))
            tell(cfg_passed_over_kind::entity_markup, reference, reference->parent, found.element);
    }

    // `node` is the element passed over, or the entity reference that
    // brings `brought` in.
    void tell(cfg_passed_over_kind kind, const xml_node *node, const xml_node *parent,
              const xmlNode *brought)
    {
        // The names belong to the tree, which the facts keep.
        const bool entity = kind == cfg_passed_over_kind::entity_markup;
        facts_->passed_over.push_back({
            .kind = kind,
            .line = node->line,
            .element = entity ? (brought != nullptr ? xml_chars(brought->name) : nullptr)
                              : node->name,
            .parent = parent->name,
            .entity = entity ? node->name : nullptr,
            .place = messages_.position(),
        });
    }

    // After the message about a refused setting.
    void refused(const char *section, const char *entry, long entry_line, const char *field,
                 const xml_node *node, const char *value, const char *reason)
    {
        if (facts_ == nullptr)
            return;
        facts_->refusals.push_back({
            .kind = cfg_refusal_kind::setting,
            .line = node->line,
            .section = section,
            .entry = entry,
            .entry_line = entry_line,
            .field = field,
            .value = value != nullptr ? facts_->keep(value) : nullptr,
            .reason = facts_->keep(reason),
            .place = messages_.position(),
        });
    }

    // The last name field among `child` and its next siblings, else `name`.
    static const xml_node *last_name(const xml_node *child, const xml_node *name)
    {
        for (; child != nullptr; child = child->next) {
            if (named(child, kCfgNameElement))
                name = child;
        }
        return name;
    }

    // The entry element `node` for the facts, named by its last name field
    // `name` (null for none).
    template <const auto &Section> void list(const xml_node *node, const xml_node *name)
    {
        const char *text = nullptr;
        if (name != nullptr) {
            // A text the tree holds as it is stays where it is: the facts
            // keep the tree, and most names need no copy.
            const xml_text_joiner::joined joined = names_->text(name);
            if (joined.text == nullptr)
                text = "";
            else if (joined.owned)
                text = facts_->keep(joined.text);
            else
                text = joined.text;
        }
        facts_->entries.push_back({Section.section, Section.entry, node->line, text});
    }

    // The reason a joined text is refused for, after the entity that cannot
    // be expanded (whose message names it); null when it is not.
    static const char *refusal(const xml_text_joiner::joined &text)
    {
        switch (text.fault) {
        case xml_text_fault::too_long:
            return "too long";
        case xml_text_fault::expansion:
            return "entities expand too far";
        default:
            return nullptr;
        }
    }

    // Every entry element starts from the entry named "default", so unnamed
    // elements fill one entry and a "name" field renames it. The first
    // refusal ends the section: later entries might depend on this one.
    // The facts still list every entry element of it.
    template <const auto &Section> void read_list(const xml_node *section)
    {
        for (const xml_node *node = section->children; node != nullptr; node = node->next) {
            if (!named(node, Section.entry)) {
                pass_over(node);
                continue;
            }
            const xml_node *name = nullptr;
            const bool read = read_entry<Section>(node, name);
            if (facts_ != nullptr)
                list<Section>(node, name);
            if (!read) {
                failed_ = true;
                if (facts_ != nullptr) {
                    for (node = node->next; node != nullptr; node = node->next) {
                        if (named(node, Section.entry))
                            list<Section>(node, last_name(node->children, nullptr));
                    }
                }
                return;
            }
        }
    }

    // False after the message about the refusal that ends the section.
    // `name` is the entry element's last name field, when facts are asked
    // for, also after a refusal.
    template <const auto &Section> bool read_entry(const xml_node *node, const xml_node *&name)
    {
        const auto stop = [&](const xml_node *child) {
            if (facts_ != nullptr)
                name = last_name(child->next, name);
            return false;
        };
        const long entry_line = node->line;
        auto list = Section.list();
        auto *entry = Section.get(list, kCfgDefaultEntryName);
        for (const xml_node *child = node->children; child != nullptr; child = child->next) {
            const auto *field = find_field(Section.fields, child);
            if (field == nullptr) {
                pass_over(child);
                continue;
            }
            if (field == Section.fields.data())
                name = child;
            xml_text_joiner::joined text = text_of(child);
            if (text.fault == xml_text_fault::unexpanded_entity) {
                messages_.error("%s[%ld]: %s (%s): %s: cannot expand entity '%s'", path_,
                                child->line, Section.entry, Section.name(entry),
                                field->element, xml_chars(text.entity));
                return stop(child);
            }
            if (const char *reason = refusal(text)) {
                messages_.error("%s[%ld]: %s (%s): %s: %s", path_, child->line,
                                Section.entry, Section.name(entry), field->element, reason);
                return stop(child);
            }
            const char *value = text.text;
            auto *holder = field->holder != nullptr && value != nullptr
                               ? field->holder(list, value)
                               : nullptr;
            const char *reason = nullptr;
            if (field->set(entry, list, value, &reason) != 0) {
                messages_.error("%s[%ld]: %s (%s): %s: %s", path_, child->line,
                                Section.entry, Section.name(entry), field->element,
                                reason_text(reason));
                refused(Section.section, Section.entry, entry_line, field->element, child,
                        value, reason_text(reason));
                return stop(child);
            }
            // An entry read earlier may have lost what made it complete
            // (a decoder its only file extension); it would be refused
            // when the document is read again, so it is refused now.
            if (holder != nullptr && holder != entry &&
                Section.validate(holder, &reason) != 0) {
                messages_.error("%s[%ld]: %s (%s): %s", path_, child->line,
                                Section.entry, Section.name(holder), reason_text(reason));
                return stop(child);
            }
        }
        const char *reason = nullptr;
        if (Section.validate(entry, &reason) != 0) {
            messages_.error("%s[%ld]: %s (%s): %s", path_, entry_line, Section.entry,
                            Section.name(entry), reason_text(reason));
            return false;
        }
        return true;
    }

    template <typename Field>
    static const Field *find_field(std::span<const Field> fields, const xml_node *node)
    {
        for (const Field &field : fields) {
            if (named(node, field.element))
                return &field;
        }
        return nullptr;
    }

    // Metadata settings stand alone, so every refusal is worth reporting.
    void read_metadata(const xml_node *section)
    {
        for (const xml_node *child = section->children; child != nullptr; child = child->next) {
            const cfg_metadata_field *field = find_field(kCfgMetadata.fields, child);
            if (field == nullptr) {
                pass_over(child);
                continue;
            }
            xml_text_joiner::joined text = text_of(child);
            if (text.fault == xml_text_fault::unexpanded_entity) {
                messages_.error("%s[%ld]: %s: %s: cannot expand entity '%s'", path_,
                                child->line, kCfgMetadata.section, field->element,
                                xml_chars(text.entity));
                failed_ = true;
                continue;
            }
            const char *reason = refusal(text);
            if (reason != nullptr) {
                messages_.error("%s[%ld]: %s: %s: %s", path_, child->line,
                                kCfgMetadata.section, field->element, reason);
                failed_ = true;
                continue;
            }
            const char *value = text.text;
            if (field->set(value, &reason) != 0) {
                messages_.error("%s[%ld]: %s: %s: %s", path_, child->line,
                                kCfgMetadata.section, field->element, reason_text(reason));
                refused(kCfgMetadata.section, nullptr, 0, field->element, child, value,
                        reason_text(reason));
                failed_ = true;
            }
        }
    }

    const char *path_;
    xml_text_joiner texts_;
    xml_markup_finder markup_;
    log_input &messages_;
    cfg_read_facts *facts_;                // when the caller asks for them
    std::optional<xml_text_joiner> names_; // with facts only
    bool failed_ = false;
};

void document_reader::read_section(const xml_node *section)
{
    for (const section_reader &s : sections()) {
        if (named(section, s.name)) {
            if (facts_ != nullptr)
                facts_->sections++;
            (this->*s.read)(section);
            return;
        }
    }
    pass_over(section);
}

} // namespace

int cfg_check_file_mode(const char *path)
{
    if (path == nullptr)
        path = "";
    struct stat st;
    if (stat(path, &st) != 0) {
        log_errno(LOG_LEVEL_ERROR, errno, path);
        return -1;
    }
    return cfg_mode_say(path, cfg_mode_client_rule(st.st_mode));
}

int cfg_check_fd_mode(int fd, const char *name)
{
    if (name == nullptr)
        name = "";
    struct stat st;
    if (fstat(fd, &st) != 0) {
        log_errno(LOG_LEVEL_ERROR, errno, name);
        return -1;
    }
    return cfg_mode_say(name, cfg_mode_client_rule(st.st_mode));
}

namespace {

// A document that does not parse for a '&' that opens no reference, as in
// a URL's query, is the mistake of a hand that wrote the text as it is; the
// parser names it in its last report.
void tell_stray_ampersand(const log_input &messages, cfg_read_facts *facts)
{
    if (facts == nullptr)
        return;
    const xmlError *error = xmlGetLastError();
    if (error == nullptr || error->domain != XML_FROM_PARSER)
        return;
    const bool stray =
        error->code == XML_ERR_ENTITYREF_SEMICOL_MISSING ||
        (error->code == XML_ERR_NAME_REQUIRED && error->message != nullptr &&
         std::strncmp(error->message, "xmlParseEntityRef", 17) == 0);
    if (!stray)
        return;
    facts->refusals.push_back({.kind = cfg_refusal_kind::stray_ampersand,
                               .line = error->line,
                               .place = messages.position()});
}

// The read of a document that `parse` makes (null when it does not parse,
// after its own messages), in a channel of its own under `name`. `parse`
// returns false when it refused the input before parsing, with its own
// messages, which are then the only ones.
template <typename Parse>
int read_document(const char *name, Parse parse, cfg_read_facts *facts)
{
    if (name == nullptr)
        name = "";
    // Everything said about the file while it is read, the parser's own
    // diagnostics and the model's notices included, goes through one
    // channel. Version-1 messages carry no newline of their own.
    log_input messages(name, "");

    // What ends the read is said after the parser's diagnostics were
    // summed up, and is never held back.
    xmlResetLastError();
    xml_tree_ptr tree;
    if (!parse(name, tree))
        return -1;
    if (!tree) {
        messages.finish();
        messages.summary(LOG_LEVEL_ERROR, "%s: not well-formed XML", messages.path());
        tell_stray_ampersand(messages, facts);
        return -1;
    }
    const xml_node *root = tree->root();
    if (root == nullptr) {
        messages.finish();
        messages.summary(LOG_LEVEL_ERROR, "%s: empty document", messages.path());
        return -1;
    }
    if (strcasecmp(root->name, kCfgDocumentRoot) != 0) {
        messages.finish();
        messages.summary(LOG_LEVEL_ERROR, "%s: %s configuration not recognized", messages.path(),
                         kCfgDocumentRoot);
        return -1;
    }

    if (facts != nullptr) {
        facts->root_read = true;
        facts->root_line = root->line;
    }
    document_reader reader(messages, *tree, facts);
    for (const xml_node *section = root->children; section != nullptr; section = section->next)
        reader.read_section(section);
    messages.finish();
    if (facts != nullptr)
        facts->keep(std::move(tree));
    return reader.failed() ? -1 : 0;
}

// The client's read of the file at `path`: opened once, so that the mode
// checked is that of the file parsed, however the path changes meanwhile.
int read_path(const char *path)
{
    const auto parse = [](const char *name, xml_tree_ptr &doc) {
        const cfg_file file = cfg_file_open(name);
        if (!file.fd) {
            // Said as when the path was looked at before it was opened:
            // what looking at it says, else why it does not open.
            if (cfg_check_file_mode(name) != 0)
                return false;
            log_errno(LOG_LEVEL_ERROR, file.error, name);
            return true;
        }
        if (!file.examined) {
            log_errno(LOG_LEVEL_ERROR, file.error, name);
            return false;
        }
        if (cfg_mode_say(name, cfg_mode_client_rule(file.mode)) != 0)
            return false;
        doc = xml_tree_parse_examined_fd(file.fd.get(), file.mode, name, "");
        return true;
    };
    return read_document(path, parse, nullptr);
}

} // namespace

int cfg_document_read(const char *path)
{
    return read_path(path);
}

int cfg_document_read_file(const cfg_file &file, const char *name, cfg_read_facts *facts)
{
    const auto parse = [&file](const char *shown, xml_tree_ptr &doc) {
        doc = xml_tree_parse_examined_fd(file.fd.get(), file.mode, shown, "");
        return true;
    };
    return read_document(name, parse, facts);
}

int cfg_document_read_memory(const char *bytes, size_t size, const char *name,
                             cfg_read_facts *facts)
{
    const auto parse = [bytes, size](const char *shown, xml_tree_ptr &doc) {
        doc = xml_tree_parse_memory(bytes, size, shown);
        return true;
    };
    return read_document(name, parse, facts);
}

int cfg_reload_file()
{
    cfg_clear(cfg_saved());
    cfg_exchange();

    const int type = cfg_get_program_config_type();
    if (type != CFG_SOURCE_XML) {
        log_alert("unsupported config type %u", static_cast<unsigned int>(type));
        std::abort();
    }

    if (cfg_document_read(cfg_get_program_config_file()) != 0) {
        // Drop the partly read configuration and bring the previous one back.
        cfg_clear(cfg_active());
        cfg_exchange();
        cfg_clear(cfg_saved());
        return -1;
    }
    cfg_clear(cfg_saved());
    return 0;
}
