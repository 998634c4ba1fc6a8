// The version-1 reader on arbitrary bytes. Besides not crashing: a reload
// of the same file ends like the plain read and leaves the configuration
// the read left (the new one, or on failure the one before), and whatever
// a successful read gives writes out as a document that reads back the
// same. The checker never accepts what the reader refuses; what it
// accepts has no stream reference that names nothing, holds a stream, has
// no element the client would pass over (the tree is walked here, apart
// from the reader), and its printed form checks out again and prints the
// same. The readers' compact tree holds what the XML library's own tree
// holds: the same elements and references, names, lines and joined texts.
#include <cstdint>
#include <cstring>
#include <span>
#include <strings.h>
#include <unordered_set>

#include "cfg/cfg.h"
#include "cfg/cfg_document.h"
#include "cfg/cfg_fields.h"
#include "cfg/cfg_reader.h"
#include "driver/cfgcheck.h"
#include "fuzz_support.h"
#include "support/xml_handle.h"
#include "support/xml_text.h"
#include "support/xml_tree.h"
#include "xml_reference.h"

namespace {

bool is(const xmlNode *node, const char *name)
{
    return strcasecmp(xml_chars(node->name), name) == 0;
}

template <typename Field> bool is_field(const xmlNode *node, std::span<const Field> fields)
{
    for (const Field &field : fields) {
        if (is(node, field.element))
            return true;
    }
    return false;
}

// Everything the client reads of a document, by the field tables: an
// accepted document holds an element only where the client reads one, and
// takes nothing but text from its entities.
class strict_walk {
  public:
    explicit strict_walk(xmlDoc *doc) : doc_(doc) {}

    void root(const xmlNode *root)
    {
        FUZZ_CHECK(is(root, kCfgDocumentRoot), "accepted the root <%s>", xml_chars(root->name));
        for (const xmlNode *section = root->children; section; section = section->next) {
            if (!element(section))
                continue;
            if (is(section, kCfgMetadata.section)) {
                for (const xmlNode *field = section->children; field; field = field->next) {
                    if (element(field)) {
                        FUZZ_CHECK(is_field(field, kCfgMetadata.fields),
                                   "accepted <%s> in <metadata>", xml_chars(field->name));
                        text_only(field);
                    }
                }
                continue;
            }
            FUZZ_CHECK(cfg_entry_kinds::any_of(
                           [&]<const auto &Kind>() { return list<Kind>(section); }),
                       "accepted <%s> at the root", xml_chars(section->name));
        }
    }

    unsigned int streams() const { return streams_; }

  private:
    // True for an element; an entity reference in its place must bring
    // none in.
    bool element(const xmlNode *node)
    {
        if (node->type == XML_ENTITY_REF_NODE)
            no_markup(node, 0);
        return node->type == XML_ELEMENT_NODE;
    }

    template <const auto &Kind> bool list(const xmlNode *section)
    {
        if (!is(section, Kind.section))
            return false;
        for (const xmlNode *entry = section->children; entry; entry = entry->next) {
            if (!element(entry))
                continue;
            FUZZ_CHECK(is(entry, Kind.entry), "accepted <%s> in <%s>", xml_chars(entry->name),
                       Kind.section);
            if (std::strcmp(Kind.entry, kCfgStreams.entry) == 0)
                streams_++;
            for (const xmlNode *field = entry->children; field; field = field->next) {
                if (element(field)) {
                    FUZZ_CHECK(is_field(field, Kind.fields), "accepted <%s> in <%s>",
                               xml_chars(field->name), Kind.entry);
                    text_only(field);
                }
            }
        }
        return true;
    }

    void text_only(const xmlNode *field)
    {
        for (const xmlNode *node = field->children; node; node = node->next) {
            FUZZ_CHECK(node->type != XML_ELEMENT_NODE, "accepted <%s> in the text of <%s>",
                       xml_chars(node->name), xml_chars(field->name));
            if (node->type == XML_ENTITY_REF_NODE)
                no_markup(node, 0);
        }
    }

    // Each declaration is looked at once: one that brought markup in would
    // have ended the run.
    void no_markup(const xmlNode *reference, unsigned int depth)
    {
        const xmlEntity *entity = xml_entity_of(doc_, reference);
        FUZZ_CHECK(entity != nullptr && entity->etype != XML_EXTERNAL_GENERAL_PARSED_ENTITY &&
                       entity->etype != XML_EXTERNAL_GENERAL_UNPARSED_ENTITY,
                   "accepted the unexpanded entity '%s'", xml_chars(reference->name));
        if (depth > 64 || !seen_.insert(entity).second)
            return;
        for (const xmlNode *node = entity->children; node; node = node->next) {
            FUZZ_CHECK(node->type != XML_ELEMENT_NODE, "accepted <%s> through entity '%s'",
                       xml_chars(node->name), xml_chars(reference->name));
            if (node->type == XML_ENTITY_REF_NODE)
                no_markup(node, depth + 1);
        }
    }

    xmlDoc *doc_;
    std::unordered_set<const xmlEntity *> seen_;
    unsigned int streams_ = 0;
};

void check_strict(const fuzz_file &input)
{
    xml_doc_ptr doc = xml_parse_local_file(input.path(), "");
    FUZZ_CHECK(doc != nullptr, "accepted a document that does not parse");
    const xmlNode *root = xmlDocGetRootElement(doc.get());
    FUZZ_CHECK(root != nullptr, "accepted an empty document");
    strict_walk walk(doc.get());
    walk.root(root);
    FUZZ_CHECK(walk.streams() > 0, "accepted a document without a stream");
}

// Every reference of the entry names an entry of the kind it refers to.
template <const auto &Kind> void check_references(auto *entry, void *)
{
    for (const auto &field : Kind.fields) {
        if (field.refers == nullptr)
            continue;
        const cfg_field_value name = field.get(entry);
        if (!name)
            continue;
        const bool found = cfg_entry_kinds::any_of([&]<const auto &Target>() {
            return std::strcmp(Target.entry, field.refers) == 0 &&
                   Target.find(Target.list(), name.c_str()) != nullptr;
        });
        FUZZ_CHECK(found, "accepted a %s whose %s %s does not exist", Kind.entry, field.element,
                   name.c_str());
    }
}

void check_checker(const fuzz_file &input, fuzz_file &output, int read_result)
{
    cfg_init();
    const int checked = cfgcheck_file(input.path());
    FUZZ_CHECK(checked != 0 || read_result == 0, "the checker accepted a document the reader refused");
    if (checked == 0) {
        check_strict(input);
        cfg_entry_kinds::for_each([]<const auto &Kind>() {
            Kind.for_each(Kind.list(), check_references<Kind>, nullptr);
        });
        const std::string printed = fuzz_write_document();
        output.write(printed);
        FUZZ_CHECK(cfgcheck_file(output.path()) == 0, "the printed form is refused:\n%s",
                   printed.c_str());
        const std::string again = fuzz_write_document();
        FUZZ_CHECK(again == printed, "the printed form prints otherwise:\n%s\n---- again:\n%s",
                   printed.c_str(), again.c_str());
    }
    cfg_exit();
}

// Walks the library's tree and the compact one side by side.
class tree_comparison {
  public:
    tree_comparison(xmlDoc *library, const xml_tree &compact)
        : library_(library), compact_(compact.doc())
    {
    }

    void element(const xmlNode *expected, const xml_node *actual)
    {
        FUZZ_CHECK(actual->is_element() && std::strcmp(actual->name, xml_chars(expected->name)) == 0,
                   "the compact tree has <%s> where the library's has <%s>", actual->name,
                   xml_chars(expected->name));
        same_line(xmlGetLineNo(expected), actual->line, actual->name);
        const xml_text text = library_.text(expected);
        const xml_text_joiner::joined joined = compact_.text(actual);
        const char *want = xml_chars(text.text.get());
        FUZZ_CHECK(joined.fault == text.fault, "<%s>: the texts' faults differ", actual->name);
        FUZZ_CHECK((joined.text == nullptr) == (want == nullptr) &&
                       (want == nullptr || std::strcmp(joined.text, want) == 0),
                   "<%s>: the compact tree's text is \"%s\", the library's \"%s\"", actual->name,
                   joined.text != nullptr ? joined.text : "(none)", want != nullptr ? want : "(none)");
        const xml_node *child = actual->children;
        for (const xmlNode *node = expected->children; node != nullptr; node = node->next) {
            if (node->type != XML_ELEMENT_NODE && node->type != XML_ENTITY_REF_NODE)
                continue;
            FUZZ_CHECK(child != nullptr, "<%s>: the compact tree lacks %s", actual->name,
                       xml_chars(node->name));
            if (node->type == XML_ELEMENT_NODE) {
                element(node, child);
            } else {
                FUZZ_CHECK(!child->is_element() &&
                               std::strcmp(child->name, xml_chars(node->name)) == 0,
                           "<%s>: the compact tree has %s where the library's has &%s;",
                           actual->name, child->name, xml_chars(node->name));
                same_line(xmlGetLineNo(node), child->line, child->name);
            }
            child = child->next;
        }
        FUZZ_CHECK(child == nullptr, "<%s>: the compact tree has more children", actual->name);
    }

  private:
    // The library's tree has lines of its own past 65,535.
    static void same_line(long expected, long actual, const char *name)
    {
        FUZZ_CHECK(expected >= 65535 || actual >= 65535 || expected == actual,
                   "%s: line %ld in the compact tree, %ld in the library's", name, actual,
                   expected);
    }

    library_text_joiner library_;
    xml_text_joiner compact_;
};

void check_trees(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    xml_doc_ptr library = xml_parse_memory(bytes, size, "document");
    xml_tree_ptr compact = xml_tree_parse_memory(bytes, size, "document");
    FUZZ_CHECK((library == nullptr) == (compact == nullptr),
               "the library's tree %s, the compact tree %s", library ? "parses" : "fails",
               compact ? "parses" : "fails");
    if (!library)
        return;
    const xmlNode *root = xmlDocGetRootElement(library.get());
    FUZZ_CHECK((root == nullptr) == (compact->root() == nullptr), "the roots differ");
    if (root != nullptr)
        tree_comparison(library.get(), *compact).element(root, compact->root());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The XML library allocates as it does in the programs, which ask for
    // this at start-up.
    xml_use_checked_allocation();
    fuzz_quiet_log();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz_file input("document");
    static fuzz_file output("document-out");
    input.write(data, size);
    fuzz_watch_secrets(data, size, input.path());

    cfg_init();
    const int result = cfg_document_read(input.path());
    const std::string document = fuzz_write_document();

    FUZZ_CHECK(cfg_set_program_config_file(input.path(), nullptr) == 0, "config file refused");
    const int reloaded = cfg_reload_file();
    FUZZ_CHECK(reloaded == result, "read gave %d, reload %d", result, reloaded);
    const std::string after_reload = fuzz_write_document();
    FUZZ_CHECK(after_reload == document,
               "reload left another configuration:\n%s\n---- after the reload:\n%s",
               document.c_str(), after_reload.c_str());
    cfg_exit();

    if (result == 0)
        fuzz_check_reads_back(document, output, "the document written after the read");
    check_checker(input, output, result);
    check_trees(data, size);
    return 0;
}
