#include "support/xml_text.h"

#include <optional>
#include <string>
#include <vector>

#include "support/xml_tree.h"
#include "test_support.h"
#include "xml_reference.h"

namespace {

// A document parsed both ways, into the readers' compact tree and into the
// XML library's own, with the library's messages kept off the test output.
class Parsed {
  public:
    explicit Parsed(const std::string &xml)
    {
        testing::internal::CaptureStderr();
        compact_ = xml_tree_parse_memory(xml.data(), xml.size(), "doc.xml");
        library_ = xml_parse_memory(xml.data(), xml.size(), "doc.xml");
        messages_ = testing::internal::GetCapturedStderr();
    }

    bool parsed() const { return compact_ != nullptr && library_ != nullptr; }
    const std::string &messages() const { return messages_; }
    xmlDoc *compact_doc() const { return compact_->doc(); }
    xmlDoc *library_doc() const { return library_.get(); }

    // The root's child elements, in order, in each tree.
    std::vector<const xml_node *> compact_elements() const
    {
        std::vector<const xml_node *> out;
        for (const xml_node *n = compact_->root()->children; n != nullptr; n = n->next)
            if (n->is_element())
                out.push_back(n);
        return out;
    }
    std::vector<xmlNode *> library_elements() const
    {
        std::vector<xmlNode *> out;
        for (xmlNode *n = xmlDocGetRootElement(library_.get())->children; n != nullptr; n = n->next)
            if (n->type == XML_ELEMENT_NODE)
                out.push_back(n);
        return out;
    }

  private:
    xml_tree_ptr compact_;
    xml_doc_ptr library_;
    std::string messages_;
};

std::optional<std::string> as_optional(const char *text)
{
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

std::optional<std::string> as_optional(const xmlChar *text)
{
    return as_optional(xml_chars(text));
}

// One element's text as one joiner gave it.
struct Joined {
    const char *joiner;
    xml_text_fault fault;
    std::optional<std::string> text;
    std::optional<std::string> entity;
};

// The readers' joiner on the compact tree, and the reference's text() and
// take() on the library's, each with its own allowance for expansion.
class Joiners {
  public:
    explicit Joiners(const Parsed &parsed)
        : compact_(parsed.compact_doc()), copier_(parsed.library_doc()),
          taker_(parsed.library_doc())
    {
    }

    // The element's text from each; the library's element loses its text
    // node to take(), after the others had it.
    std::vector<Joined> join(const xml_node *compact, xmlNode *library)
    {
        const xml_text_joiner::joined joined = compact_.text(compact);
        const xml_text copied = copier_.text(library);
        const xml_text taken = taker_.take(library);
        return {
            {"compact", joined.fault, as_optional(joined.text), as_optional(joined.entity)},
            {"library text", copied.fault, as_optional(copied.text.get()),
             as_optional(copied.entity)},
            {"library take", taken.fault, as_optional(taken.text.get()), as_optional(taken.entity)},
        };
    }

  private:
    xml_text_joiner compact_;
    library_text_joiner copier_;
    library_text_joiner taker_;
};

std::string repeat(const std::string &piece, int times)
{
    std::string out;
    for (int i = 0; i < times; i++)
        out += piece;
    return out;
}

// Entities of every shape an element's text can meet.
const char kDeclarations[] = "<!DOCTYPE r [\n"
                             "<!ENTITY t \"text\">\n"
                             "<!ENTITY nested \"[&t;|&t;]\">\n"
                             "<!ENTITY mixed \"a<b>in element</b><!--c--><?pi x?>z"
                             "<![CDATA[<cd>]]>\">\n"
                             "<!ENTITY comment \"<!--only-->\">\n"
                             "<!ENTITY empty \"\">\n"
                             "<!ENTITY cdata \"<![CDATA[]]>\">\n"
                             "<!ENTITY deep \"&nested;&mixed;&comment;&nested;\">\n"
                             "]>\n";

// Element contents; null marks an element without children.
const char *const kContents[] = {
    nullptr,
    "plain",
    " \t\n ",
    "<!--c-->",
    "<?pi x?>",
    "<x>inner</x>",
    "<![CDATA[]]>",
    "a<!--c-->b<?pi?>c",
    "a<![CDATA[<b>&amp;]]>c",
    "a<x>inner</x>b",
    "&#65;&amp;&lt;&#13;&#x20AC;",
    "&t;",
    "x&nested;y",
    "&mixed;",
    "&comment;",
    "a&comment;b",
    "&empty;",
    "&cdata;",
    "&deep;&deep;",
    "<![CDATA[]]>&empty;<!--c-->",
};

// The join replaced xmlNodeListGetString(doc, children, 1); every reader
// relies on its results, the absent text (null) apart from the empty one
// included.
TEST(XmlTextJoiner, JoinsAsTheXmlLibraryDoes)
{
    std::string xml = std::string(kDeclarations) + "<r>\n";
    for (const char *content : kContents)
        xml += content != nullptr ? std::string("<e>") + content + "</e>\n" : "<e/>\n";
    xml += "</r>\n";

    Parsed parsed(xml);
    ASSERT_TRUE(parsed.parsed()) << parsed.messages();
    const std::vector<const xml_node *> compact = parsed.compact_elements();
    const std::vector<xmlNode *> library = parsed.library_elements();
    ASSERT_EQ(compact.size(), std::size(kContents));
    ASSERT_EQ(library.size(), std::size(kContents));
    Joiners joiners(parsed);
    for (size_t i = 0; i < compact.size(); i++) {
        SCOPED_TRACE(kContents[i] != nullptr ? kContents[i] : "no children");
        const xml_text_ptr expected(
            xmlNodeListGetString(parsed.library_doc(), library[i]->children, 1));
        for (const Joined &joined : joiners.join(compact[i], library[i])) {
            SCOPED_TRACE(joined.joiner);
            EXPECT_EQ(joined.fault, xml_text_fault::none);
            EXPECT_EQ(joined.text, as_optional(expected.get()));
        }
    }
}

TEST(XmlTextJoiner, NamesAnEntityThatCannotBeExpanded)
{
    test_support::TempFile secret("never read", "secret.txt");
    // Without the external subset, an undeclared name is no error of form.
    const struct {
        std::string xml;
        const char *name;
    } cases[] = {
        {"<!DOCTYPE r [<!ENTITY t \"text\"><!ENTITY s SYSTEM \"" + secret.path() +
             "\">]>\n<r><e>&t;<!--c-->&t;&s;</e></r>\n",
         "s"},
        {"<!DOCTYPE r SYSTEM \"absent.dtd\">\n<r><e>a&nowhere;b</e></r>\n", "nowhere"},
    };
    for (const auto &[xml, name] : cases) {
        SCOPED_TRACE(name);
        Parsed parsed(xml);
        ASSERT_TRUE(parsed.parsed()) << parsed.messages();
        Joiners joiners(parsed);
        for (const Joined &joined :
             joiners.join(parsed.compact_elements().at(0), parsed.library_elements().at(0))) {
            SCOPED_TRACE(joined.joiner);
            EXPECT_EQ(joined.fault, xml_text_fault::unexpanded_entity);
            EXPECT_EQ(joined.entity, name);
            EXPECT_EQ(joined.text, std::nullopt);
        }
    }
}

// An entity `b` of 1,000,000 bytes (a thousand references to 1,000 bytes),
// then one element per entry of `contents`.
std::string megabyte_entity_document(const std::vector<std::string> &contents)
{
    std::string xml = "<!DOCTYPE r [\n<!ENTITY a \"" + std::string(1000, 'x') +
                      "\">\n<!ENTITY b \"" + repeat("&a;", 1000) + "\">\n]>\n<r>\n";
    for (const std::string &content : contents)
        xml += "<e>" + content + "</e>\n";
    return xml + "</r>\n";
}

TEST(XmlTextJoiner, TextsLongerThanTheLibraryReadsComeCutAndMarked)
{
    Parsed parsed(megabyte_entity_document({repeat("&b;", 10), repeat("&b;", 10) + "y"}));
    ASSERT_TRUE(parsed.parsed()) << parsed.messages();
    const std::vector<const xml_node *> compact = parsed.compact_elements();
    const std::vector<xmlNode *> library = parsed.library_elements();
    const struct {
        xml_text_fault fault;
        std::string text;
    } expected[] = {
        {xml_text_fault::none, std::string(kXmlTextMax, 'x')},
        {xml_text_fault::too_long, std::string(kXmlTextMax, 'x') + "y"},
    };
    for (size_t i = 0; i < std::size(expected); i++) {
        SCOPED_TRACE("element " + std::to_string(i + 1));
        // Joiners each, so that the expansion limit plays no part here.
        Joiners joiners(parsed);
        for (const Joined &joined : joiners.join(compact[i], library[i])) {
            SCOPED_TRACE(joined.joiner);
            EXPECT_EQ(joined.fault, expected[i].fault);
            EXPECT_EQ(joined.text, expected[i].text);
        }
    }
}

TEST(XmlTextJoiner, EntitiesOfOneDocumentExpandWithinOneLimit)
{
    // Five texts of 5,000,000 bytes: together more than the limit of
    // 20,000,000 bytes and nodes. Once the limit is reached, every later
    // expansion is refused; the text of the element itself is not.
    std::vector<std::string> contents(5, repeat("&b;", 5));
    contents.push_back("plain<!--c-->text");
    Parsed parsed(megabyte_entity_document(contents));
    ASSERT_TRUE(parsed.parsed()) << parsed.messages();
    const std::vector<const xml_node *> compact = parsed.compact_elements();
    const std::vector<xmlNode *> library = parsed.library_elements();
    const xml_text_fault expected[] = {xml_text_fault::none,      xml_text_fault::none,
                                       xml_text_fault::none,      xml_text_fault::expansion,
                                       xml_text_fault::expansion, xml_text_fault::none};
    Joiners joiners(parsed);
    for (size_t i = 0; i < std::size(expected); i++) {
        SCOPED_TRACE("element " + std::to_string(i + 1));
        for (const Joined &joined : joiners.join(compact[i], library[i])) {
            SCOPED_TRACE(joined.joiner);
            EXPECT_EQ(joined.fault, expected[i]);
            EXPECT_EQ(joined.text.has_value(), joined.fault != xml_text_fault::expansion);
            if (i == 5) {
                EXPECT_EQ(joined.text, "plaintext");
            }
        }
    }
}

TEST(XmlTextJoiner, NodesThatAddNoTextCountTowardsTheLimit)
{
    // 300 references to an entity of 100,000 comments: no byte of text,
    // but 30,000,000 nodes to walk.
    Parsed parsed("<!DOCTYPE r [\n<!ENTITY c \"" + repeat("<!---->", 100000) + "\">\n]>\n<r><e>" +
                  repeat("&c;", 300) + "</e></r>\n");
    ASSERT_TRUE(parsed.parsed()) << parsed.messages();
    Joiners joiners(parsed);
    for (const Joined &joined :
         joiners.join(parsed.compact_elements().at(0), parsed.library_elements().at(0))) {
        SCOPED_TRACE(joined.joiner);
        EXPECT_EQ(joined.fault, xml_text_fault::expansion);
    }
}

} // namespace
