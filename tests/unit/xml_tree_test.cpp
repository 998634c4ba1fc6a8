#include "support/xml_tree.h"

#include <optional>
#include <string>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "support/xml_text.h"
#include "test_support.h"
#include "xml_reference.h"

namespace {

using test_support::capture_log;

std::string repeat(const std::string &piece, int times)
{
    std::string out;
    for (int i = 0; i < times; i++)
        out += piece;
    return out;
}

std::optional<std::string> as_optional(const char *text)
{
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

// Both parses of one document, the library's tree and the compact one,
// with what each said.
struct Both {
    explicit Both(const std::string &xml)
    {
        library_messages = capture_log(
            [&] { library = xml_parse_memory(xml.data(), xml.size(), "doc.xml"); }, 0);
        compact_messages = capture_log(
            [&] { compact = xml_tree_parse_memory(xml.data(), xml.size(), "doc.xml"); }, 0);
    }

    xml_doc_ptr library;
    xml_tree_ptr compact;
    std::string library_messages;
    std::string compact_messages;
};

// Walks the two trees side by side: the same elements and references in
// the same order, with the same names and lines, the same joined texts
// and the same markup brought in by each reference.
class Comparison {
  public:
    explicit Comparison(const Both &both)
        : library_(both.library.get()), library_texts_(both.library.get()),
          compact_texts_(both.compact->doc()), library_markup_(both.library.get()),
          compact_markup_(both.compact->doc())
    {
    }

    void element(const xmlNode *expected, const xml_node *actual)
    {
        SCOPED_TRACE(std::string("<") + xml_chars(expected->name) + "> at line " +
                     std::to_string(xmlGetLineNo(expected)));
        ASSERT_TRUE(actual->is_element());
        EXPECT_STREQ(actual->name, xml_chars(expected->name));
        EXPECT_EQ(actual->line, xmlGetLineNo(expected));

        const xml_text text = library_texts_.text(expected);
        const xml_text_joiner::joined joined = compact_texts_.text(actual);
        EXPECT_EQ(joined.fault, text.fault);
        EXPECT_EQ(as_optional(joined.text), as_optional(xml_chars(text.text.get())));
        EXPECT_EQ(as_optional(xml_chars(joined.entity)), as_optional(xml_chars(text.entity)));

        const xml_node *child = actual->children;
        for (const xmlNode *node = expected->children; node != nullptr; node = node->next) {
            if (node->type != XML_ELEMENT_NODE && node->type != XML_ENTITY_REF_NODE)
                continue;
            ASSERT_NE(child, nullptr) << "missing " << xml_chars(node->name);
            if (node->type == XML_ELEMENT_NODE)
                element(node, child);
            else
                reference(node, child);
            child = child->next;
        }
        EXPECT_EQ(child, nullptr) << "more children than the library's tree has";
    }

  private:
    void reference(const xmlNode *expected, const xml_node *actual)
    {
        SCOPED_TRACE(std::string("&") + xml_chars(expected->name) + ";");
        ASSERT_FALSE(actual->is_element());
        EXPECT_STREQ(actual->name, xml_chars(expected->name));
        EXPECT_EQ(actual->line, xmlGetLineNo(expected));
        const xml_markup_finder::markup want =
            library_markup_.of(xml_entity_of(library_, expected));
        const xml_markup_finder::markup got = compact_markup_.of(actual);
        EXPECT_EQ(got.unexpanded, want.unexpanded);
        EXPECT_EQ(as_optional(got.element != nullptr ? xml_chars(got.element->name) : nullptr),
                  as_optional(want.element != nullptr ? xml_chars(want.element->name) : nullptr));
    }

    xmlDoc *library_;
    library_text_joiner library_texts_;
    xml_text_joiner compact_texts_;
    xml_markup_finder library_markup_;
    xml_markup_finder compact_markup_;
};

const char kDeclarations[] = "<!DOCTYPE r [\n"
                             "<!ENTITY t \"text\">\n"
                             "<!ENTITY nested \"[&t;|&t;]\">\n"
                             "<!ENTITY mixed \"a<b>in element</b><!--c--><?pi x?>z"
                             "<![CDATA[<cd>]]>\">\n"
                             "<!ENTITY element \"<server><name>x</name></server>\">\n"
                             "<!ENTITY deeper \"t&element;\">\n"
                             "<!ENTITY comment \"<!--only-->\">\n"
                             "<!ENTITY empty \"\">\n"
                             "<!ENTITY cdata \"<![CDATA[]]>\">\n"
                             "<!ENTITY deep \"&nested;&mixed;&comment;&nested;\">\n"
                             "<!ENTITY outside SYSTEM \"never-read.xml\">\n"
                             "]>\n";

// Contents of one element each, in every shape a reader meets: mixed
// content, comments and processing instructions between texts, CDATA,
// entities with text, markup, both, nothing, and one never read, and
// references after each kind of node (the line the library's tree gives
// a reference depends on the node before it).
const char *const kContents[] = {
    "",
    "plain",
    " \t\n ",
    "<!--c-->",
    "<![CDATA[]]>",
    "a<!--c-->b<?pi?>c",
    "a<![CDATA[<b>&amp;]]>c<![CDATA[d]]>",
    "a<x>inner\n<y>deeper</y>\n</x>b",
    "&#65;&amp;&lt;&#13;&#x20AC;",
    "&t;",
    "x&nested;y",
    "&mixed;",
    "&element;",
    "\n\n&deeper;",
    "a&comment;b",
    "&empty;&cdata;",
    "&deep;&deep;",
    "<x/>&t;",
    "<!--\n\nc-->&t;",
    "<?pi\n\n?>&t;",
    "<![CDATA[\n\n]]>&t;",
    "&t;\n&t;&t;&t;&t;&t;&t;",
    "before&outside;after",
    "<p:q xmlns:p=\"urn:x\">ns</p:q><u:v>undeclared prefix</u:v>",
};

TEST(XmlTree, ReadsEveryShapeOfContentAsTheLibrarysTreeDoes)
{
    std::string xml = std::string(kDeclarations) + "<r>\n";
    for (const char *content : kContents)
        xml += std::string("<e>") + content + "</e>\n";
    xml += "&element;\n<!-- end -->&t;</r>\n";
    Both both(xml);
    ASSERT_NE(both.library, nullptr) << both.library_messages;
    ASSERT_NE(both.compact, nullptr) << both.compact_messages;
    EXPECT_EQ(both.compact_messages, both.library_messages);
    ASSERT_NE(both.compact->root(), nullptr);
    Comparison(both).element(xmlDocGetRootElement(both.library.get()), both.compact->root());
}

// A text node beyond the library's limit ends the parse with the library's
// own report, as do adjacent CDATA sections; texts that reach past it only
// when joined (texts between comments, a text and a CDATA section) are
// read, and refused by the joiner.
TEST(XmlTree, RefusesATextNodeBeyondTheLimitInTheLibrarysWords)
{
    const std::string long_text(kXmlTextMax / 2 + 1, 'x');
    const struct {
        const char *name;
        std::string content;
        bool parses;
    } cases[] = {
        {"one text node", long_text + long_text, false},
        {"between comments", long_text + "<!---->" + long_text, true},
        {"adjacent CDATA sections", "<![CDATA[" + long_text + "]]><![CDATA[" + long_text + "]]>",
         false},
        {"a text and a CDATA section", long_text + "<![CDATA[" + long_text + "]]>", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Both both("<r>\n<e>" + c.content + "</e>\n</r>\n");
        EXPECT_EQ(both.compact_messages, both.library_messages);
        ASSERT_EQ(both.compact != nullptr, both.library != nullptr);
        EXPECT_EQ(both.compact != nullptr, c.parses);
        if (both.compact != nullptr)
            Comparison(both).element(xmlDocGetRootElement(both.library.get()),
                                     both.compact->root());
    }
}

// The library's tree judges ID attributes as it stores them; the readers
// take no attribute, but the document's reports stay the same.
TEST(XmlTree, AttributesAreJudgedAsTheLibrarysTreeJudgesThem)
{
    Both both("<!DOCTYPE r [\n<!ATTLIST s id ID #IMPLIED>\n]>\n<r>\n<s id=\"a\"/>\n"
              "<s id=\"a\">text</s>\n<t xml:id=\"1 2\"/>\n<u xml:id=\"z\"><v xml:id=\"z\"/></u>\n"
              "<p:q xmlns:p=\"urn:x\" p:a=\"1\"/>\n</r>\n");
    ASSERT_NE(both.compact, nullptr) << both.compact_messages;
    EXPECT_NE(both.library_messages.find("ID a already defined"), std::string::npos)
        << both.library_messages;
    EXPECT_EQ(both.compact_messages, both.library_messages);
    Comparison(both).element(xmlDocGetRootElement(both.library.get()), both.compact->root());
}

TEST(XmlTree, DocumentsThatDoNotParseSayTheSame)
{
    const char *const documents[] = {
        "",
        "<r>",
        "<r><e>a & b</e></r>",
        "<r><e>&undeclared;</e></r>",
        "<!DOCTYPE r [<!ENTITY loop \"&loop;\">]><r>&loop;</r>",
        "<r></e></r>",
    };
    for (const char *xml : documents) {
        SCOPED_TRACE(xml);
        Both both(xml);
        EXPECT_EQ(both.library, nullptr);
        EXPECT_EQ(both.compact, nullptr);
        EXPECT_EQ(both.compact_messages, both.library_messages);
    }
}

// Past line 65,535 the library's tree gives an element the line of its
// first child, where its text ends; the compact tree gives every element
// the line of its start tag, and a reader's messages say so.
TEST(XmlTree, LinesPastTheLibrarysSixteenBitsAreTheStartTagsOwn)
{
    const std::string xml = "<onyxcast>\n<streams>\n" + std::string(70000, '\n') +
                            "<stream>\n<name>s</name>\n<format>Ogg</format>\n"
                            "<public>\nmaybe</public>\n</stream>\n</streams>\n</onyxcast>\n";
    Both both(xml);
    ASSERT_NE(both.compact, nullptr) << both.compact_messages;
    const xml_node *stream = both.compact->root()->children->children;
    EXPECT_EQ(stream->line, 70003);
    const xml_node *is_public = stream->children->next->next;
    ASSERT_STREQ(is_public->name, "public");
    EXPECT_EQ(is_public->line, 70006);
    // The library's tree says 70007 for it, the line of "maybe".
    const xmlNode *library_public =
        xmlLastElementChild(xmlFirstElementChild(xmlFirstElementChild(
            xmlDocGetRootElement(both.library.get()))));
    EXPECT_EQ(xmlGetLineNo(library_public), 70007);

    test_support::TempFile file(xml, "onyx.xml");
    cfg_init();
    std::string messages = capture_log([&] { cfg_document_read(file.c_path()); }, 0);
    cfg_exit();
    EXPECT_NE(messages.find("onyx.xml[70006]: stream (s): public: "), std::string::npos)
        << messages;
}

TEST(XmlTree, AMillionPiecesOfTextCostTimeInProportion)
{
    // Pieces of text between comments fill one text, and a million
    // references one list, without a walk from the start for each.
    const std::string xml = "<!DOCTYPE r [<!ENTITY t \"x\">]>\n<r><e>" +
                            repeat("a<!---->", 1000000) + "</e><f>" + repeat("&t;", 1000000) +
                            "</f></r>\n";
    xml_tree_ptr tree;
    const std::string messages =
        capture_log([&] { tree = xml_tree_parse_memory(xml.data(), xml.size(), "doc.xml"); }, 0);
    ASSERT_NE(tree, nullptr) << messages;
    const xml_node *e = tree->root()->children;
    EXPECT_EQ(e->length, 1000000u);
    xml_text_joiner joiner(tree->doc());
    const xml_text_joiner::joined f = joiner.text(e->next);
    ASSERT_NE(f.text, nullptr);
    EXPECT_EQ(std::string(f.text), std::string(1000000, 'x'));
}

} // namespace
