#include "support/xml_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include <libxml/SAX2.h>

#include "support/fd.h"
#include "support/xml_input.h"
#include "support/xml_report.h"

// Blocks of nodes and texts that live exactly as long as the tree. A text
// longer than a block gets a block of its own.
class xml_tree::arena {
  public:
    template <typename T> T *make() { return new (allocate(sizeof(T), alignof(T))) T{}; }

    const char *copy(const char *text, size_t length)
    {
        char *out = static_cast<char *>(allocate(length + 1, 1));
        std::memcpy(out, text, length);
        out[length] = '\0';
        return out;
    }

  private:
    static constexpr size_t kBlock = 256 * 1024;

    void *allocate(size_t size, size_t align)
    {
        size_t pad = (align - reinterpret_cast<uintptr_t>(at_) % align) % align;
        if (size + pad > left_) {
            const size_t block = std::max(size + align, kBlock);
            blocks_.emplace_back(new std::byte[block]);
            at_ = blocks_.back().get();
            left_ = block;
            pad = (align - reinterpret_cast<uintptr_t>(at_) % align) % align;
        }
        void *out = at_ + pad;
        at_ += pad + size;
        left_ -= pad + size;
        return out;
    }

    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte *at_ = nullptr;
    size_t left_ = 0;
};

xml_tree::xml_tree() : arena_(std::make_unique<arena>()) {}
xml_tree::~xml_tree() = default;

// Builds an xml_tree from the parser's events. The parser keeps the
// declarations in its own document (the only elements that go into it are
// those with attributes, see start_element), and
// reads the replacement of an entity at its first reference through a
// context of its own: only the events of the document's own context are
// the document's; those of the others are an entity's replacement, which
// go to the library's own tree builder, so that the declaration keeps its
// nodes. The parser then reuses them at every later reference, where it
// would otherwise parse the replacement again each time, and the joiner
// reads them when a text needs them.
class xml_tree_builder {
  public:
    // The tree of the document that `read` parses with the context it is
    // given, or null when it does not parse.
    template <typename Read> static xml_tree_ptr build(Read read)
    {
        const xml_parser_ctxt_ptr ctxt(xmlNewParserCtxt());
        if (!ctxt)
            return nullptr;
        auto tree = std::make_unique<xml_tree>();
        xml_tree_builder builder(*tree, ctxt.get());
        const xml_reports_to_log reports(ctxt.get());
        xmlDoc *doc = read(ctxt.get());
        if (doc == nullptr)
            return nullptr;
        tree->doc_.reset(doc);
        return tree;
    }

  private:
    xml_tree_builder(xml_tree &tree, xmlParserCtxt *ctxt) : tree_(tree), ctxt_(ctxt)
    {
        xmlSAXHandler *sax = ctxt->sax;
        sax->startElementNs = start_element;
        sax->endElementNs = end_element;
        sax->characters = characters;
        sax->ignorableWhitespace = characters;
        sax->cdataBlock = cdata;
        sax->reference = reference;
        sax->comment = comment;
        sax->processingInstruction = processing_instruction;
        ctxt->_private = this;
    }

    enum class run { none, text, cdata };

    struct open_element {
        xml_node *node = nullptr;
        xml_node *last = nullptr; // its last element or reference
        std::string text;
        // The line the library's tree gives an entity reference made now:
        // that of the node before it when that is an element, a text, a
        // comment or a processing instruction, else that of the parent.
        long reference_line = 0;
    };

    // Null for the events of an entity's replacement, which the context
    // parsing it passes on with the document's builder.
    static xml_tree_builder *of(void *ctx)
    {
        auto *ctxt = static_cast<xmlParserCtxt *>(ctx);
        auto *builder = static_cast<xml_tree_builder *>(ctxt->_private);
        return builder != nullptr && builder->ctxt_ == ctxt ? builder : nullptr;
    }

    // The parser's own count of the input's lines, which the library's
    // tree keeps only up to 65535, and in an entity's replacement only
    // where a process-wide default asks for it.
    long line() const { return ctxt_->input != nullptr ? ctxt_->input->line : 0; }

    void add(xml_node *node)
    {
        if (top_ == nullptr) {
            if (tree_.root_ == nullptr && node->is_element())
                tree_.root_ = node;
            return;
        }
        open_element &parent = *top_;
        node->parent = parent.node;
        if (parent.last != nullptr)
            parent.last->next = node;
        else
            parent.node->children = node;
        parent.last = node;
    }

    // Any other node ends the text node the library's tree would be
    // growing.
    void end_text_run() { run_ = run::none; }

    void anchor_here()
    {
        if (top_ != nullptr)
            top_->reference_line = line();
    }

    static void start_element(void *ctx, const xmlChar *localname, const xmlChar *prefix,
                              const xmlChar *uri, int nb_namespaces, const xmlChar **namespaces,
                              int nb_attributes, int nb_defaulted, const xmlChar **attributes)
    {
        xml_tree_builder *b = of(ctx);
        if (b == nullptr) {
            xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces,
                                  nb_attributes, nb_defaulted, attributes);
            return;
        }
        b->end_text_run();
        // The readers take no attribute, but the library's tree judges IDs
        // as it stores them ("ID x already defined", an xml:id that is no
        // name) and says so. An element with attributes goes to it as well,
        // and stays there so that a later ID is judged against it.
        if (nb_attributes > 0) {
            xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces,
                                  nb_attributes, nb_defaulted, attributes);
            xmlSAX2EndElementNs(ctx, localname, prefix, uri);
        }
        xml_node *node = b->tree_.arena_->make<xml_node>();
        node->type = xml_node::kind::element;
        node->line = b->line();
        // As the library's tree names an element whose prefix is not
        // declared: by the whole name.
        const xmlChar *name = localname;
        if (prefix != nullptr && uri == nullptr) {
            if (const xmlChar *whole = xmlDictQLookup(b->ctxt_->dict, prefix, localname))
                name = whole;
        }
        node->name = xml_chars(name);
        b->add(node);
        if (b->top_ != nullptr)
            b->top_->reference_line = node->line;
        // open_ keeps the text blocks of closed elements for the next
        // element at the same depth; only its first depth_ entries are open.
        if (b->depth_ == b->open_.size())
            b->open_.emplace_back();
        open_element &opened = b->open_[b->depth_++];
        opened.node = node;
        opened.last = nullptr;
        opened.text.clear();
        opened.reference_line = node->line;
        b->top_ = &opened;
    }

    static void end_element(void *ctx, const xmlChar *localname, const xmlChar *prefix,
                            const xmlChar *uri)
    {
        xml_tree_builder *b = of(ctx);
        if (b == nullptr) {
            xmlSAX2EndElementNs(ctx, localname, prefix, uri);
            return;
        }
        if (b->depth_ == 0)
            return;
        b->end_text_run();
        open_element &closed = *b->top_;
        xml_node *node = closed.node;
        if (!closed.text.empty()) {
            node->text = b->tree_.arena_->copy(closed.text.data(), closed.text.size());
            node->length = closed.text.size();
        }
        b->depth_--;
        b->top_ = b->depth_ > 0 ? &b->open_[b->depth_ - 1] : nullptr;
    }

    static void characters(void *ctx, const xmlChar *text, int len)
    {
        if (xml_tree_builder *b = of(ctx))
            b->add_text(run::text, text, len);
        else
            xmlSAX2Characters(ctx, text, len);
    }

    static void cdata(void *ctx, const xmlChar *text, int len)
    {
        if (xml_tree_builder *b = of(ctx))
            b->add_text(run::cdata, text, len);
        else
            xmlSAX2CDataBlock(ctx, text, len);
    }

    // The library's tree grows one node from adjacent texts, or adjacent
    // CDATA sections, and refuses to grow one beyond the text limit: the
    // parse ends there. So does this one, in the same words.
    void add_text(run kind, const xmlChar *text, int len)
    {
        if (top_ == nullptr)
            return;
        if (run_ == kind) {
            if (run_length_ + static_cast<size_t>(len) > kXmlTextMax &&
                (ctxt_->options & XML_PARSE_HUGE) == 0) {
                refuse_huge_text(text, len);
                return;
            }
            run_length_ += static_cast<size_t>(len);
        } else {
            run_ = kind;
            run_length_ = static_cast<size_t>(len);
            // A reference after a text node has its line; one after a
            // CDATA section, its parent's.
            top_->reference_line = kind == run::text ? line() : top_->node->line;
        }
        top_->node->has_text = true;
        top_->text.append(xml_chars(text), static_cast<size_t>(len));
    }

    static void comment(void *ctx, const xmlChar *text)
    {
        if (xml_tree_builder *b = of(ctx)) {
            b->end_text_run();
            b->anchor_here();
        } else {
            xmlSAX2Comment(ctx, text);
        }
    }

    static void processing_instruction(void *ctx, const xmlChar *target, const xmlChar *data)
    {
        if (xml_tree_builder *b = of(ctx)) {
            b->end_text_run();
            b->anchor_here();
        } else {
            xmlSAX2ProcessingInstruction(ctx, target, data);
        }
    }

    static void reference(void *ctx, const xmlChar *name)
    {
        xml_tree_builder *b = of(ctx);
        if (b == nullptr) {
            xmlSAX2Reference(ctx, name);
            return;
        }
        if (b->top_ == nullptr)
            return;
        b->end_text_run();
        xml_node *node = b->tree_.arena_->make<xml_node>();
        node->type = xml_node::kind::reference;
        node->name = xml_chars(name);
        node->line = b->top_->reference_line;
        node->offset = b->top_->text.size();
        node->entity = b->entity(name);
        b->add(node);
        b->top_->reference_line = b->top_->node->line;
    }

    // Names come from the parser's dictionary, one pointer per name: a
    // document with a million references hashes each name once.
    const xmlEntity *entity(const xmlChar *name)
    {
        const auto [found, fresh] = entities_.try_emplace(name, nullptr);
        if (fresh)
            found->second = xmlGetDocEntity(ctxt_->myDoc, name);
        return found->second;
    }

    // The library's own text handler, handed one text node grown to where
    // this run stands, says and does what it says and does for a huge
    // text node in its tree.
    void refuse_huge_text(const xmlChar *text, int len)
    {
        static constexpr xmlChar kName[] = "text";
        static constexpr xmlChar kEmpty[] = "";
        xmlNode *holder = xmlNewDocNode(ctxt_->myDoc, nullptr, kName, nullptr);
        xmlAddChild(holder, xmlNewDocText(ctxt_->myDoc, kEmpty));
        xmlNode *saved_node = ctxt_->node;
        const int saved_len = ctxt_->nodelen;
        const int saved_mem = ctxt_->nodemem;
        ctxt_->node = holder;
        ctxt_->nodelen = static_cast<int>(run_length_);
        ctxt_->nodemem = static_cast<int>(run_length_) + 1;
        xmlSAX2Characters(ctxt_, text, len);
        ctxt_->node = saved_node;
        ctxt_->nodelen = saved_len;
        ctxt_->nodemem = saved_mem;
        xmlFreeNode(holder);
    }

    xml_tree &tree_;
    xmlParserCtxt *ctxt_;
    std::vector<open_element> open_;
    size_t depth_ = 0;
    open_element *top_ = nullptr;
    run run_ = run::none;
    size_t run_length_ = 0;
    std::unordered_map<const xmlChar *, const xmlEntity *> entities_;
};

xml_tree_ptr xml_tree_parse_local_file(const char *path, const char *line_end)
{
    fd_guard file(xml_open_local_file(path, line_end));
    if (!file)
        return nullptr;
    return xml_tree_parse_fd(file.get(), path, line_end);
}

xml_tree_ptr xml_tree_parse_fd(int fd, const char *name, const char *line_end)
{
    if (!xml_prepare_fd(fd, name, line_end))
        return nullptr;
    return xml_tree_builder::build([&](xmlParserCtxt *ctxt) {
        return xmlCtxtReadFd(ctxt, fd, name, nullptr, kXmlParseOptions);
    });
}

xml_tree_ptr xml_tree_parse_examined_fd(int fd, mode_t mode, const char *name,
                                        const char *line_end)
{
    if (!xml_prepare_mode(mode, name, line_end))
        return nullptr;
    return xml_tree_builder::build([&](xmlParserCtxt *ctxt) {
        return xmlCtxtReadFd(ctxt, fd, name, nullptr, kXmlParseOptions);
    });
}

xml_tree_ptr xml_tree_parse_memory(const char *bytes, size_t size, const char *name)
{
    xml_memory_input input{bytes, size};
    return xml_tree_builder::build([&](xmlParserCtxt *ctxt) {
        return xmlCtxtReadIO(ctxt, xml_read_memory, nullptr, &input, name, nullptr,
                             kXmlParseOptions);
    });
}
