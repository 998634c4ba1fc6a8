#include "support/xml_handle.h"

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using test_support::TempFile;

// A document parsed as the readers parse theirs, with the library's own
// messages kept off the test output.
class Parsed {
  public:
    explicit Parsed(const std::string &xml) : file_(xml, "doc.xml")
    {
        testing::internal::CaptureStderr();
        doc_ = xml_parse_local_file(file_.c_path());
        messages_ = testing::internal::GetCapturedStderr();
    }

    xmlDoc *doc() const { return doc_.get(); }
    const std::string &messages() const { return messages_; }

    // The root's child elements, in order.
    std::vector<xmlNode *> elements() const
    {
        std::vector<xmlNode *> out;
        for (xmlNode *n = xmlDocGetRootElement(doc_.get())->children; n != nullptr; n = n->next)
            if (n->type == XML_ELEMENT_NODE)
                out.push_back(n);
        return out;
    }

  private:
    TempFile file_;
    xml_doc_ptr doc_;
    std::string messages_;
};

std::optional<std::string> as_optional(const xmlChar *text)
{
    if (text == nullptr)
        return std::nullopt;
    return std::string(xml_chars(text));
}

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

    Parsed copied(xml);
    Parsed taken(xml);
    ASSERT_NE(copied.doc(), nullptr) << copied.messages();
    const std::vector<xmlNode *> elements = copied.elements();
    const std::vector<xmlNode *> taken_elements = taken.elements();
    ASSERT_EQ(elements.size(), std::size(kContents));
    xml_text_joiner joiner(copied.doc());
    xml_text_joiner taker(taken.doc());
    for (size_t i = 0; i < elements.size(); i++) {
        SCOPED_TRACE(kContents[i] != nullptr ? kContents[i] : "no children");
        xml_text_ptr expected(xmlNodeListGetString(copied.doc(), elements[i]->children, 1));
        const xml_text text = joiner.text(elements[i]);
        EXPECT_EQ(text.fault, xml_text_fault::none);
        EXPECT_EQ(as_optional(text.text.get()), as_optional(expected.get()));
        const xml_text took = taker.take(taken_elements[i]);
        EXPECT_EQ(took.fault, xml_text_fault::none);
        EXPECT_EQ(as_optional(took.text.get()), as_optional(expected.get()));
    }
}

TEST(XmlTextJoiner, NamesAnEntityThatCannotBeExpanded)
{
    TempFile secret("never read", "secret.txt");
    Parsed external("<!DOCTYPE r [<!ENTITY t \"text\"><!ENTITY s SYSTEM \"" + secret.path() +
                    "\">]>\n<r><e>&t;<!--c-->&t;&s;</e></r>\n");
    // Without the external subset, an undeclared name is no error of form.
    Parsed undeclared("<!DOCTYPE r SYSTEM \"absent.dtd\">\n<r><e>a&nowhere;b</e></r>\n");
    const struct {
        const Parsed *parsed;
        const char *name;
    } cases[] = {{&external, "s"}, {&undeclared, "nowhere"}};
    for (const auto &[parsed, name] : cases) {
        SCOPED_TRACE(name);
        ASSERT_NE(parsed->doc(), nullptr) << parsed->messages();
        xml_text_joiner joiner(parsed->doc());
        const xml_text text = joiner.take(parsed->elements().at(0));
        EXPECT_EQ(text.fault, xml_text_fault::unexpanded_entity);
        EXPECT_STREQ(xml_chars(text.entity), name);
        EXPECT_EQ(text.text, nullptr);
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
    ASSERT_NE(parsed.doc(), nullptr) << parsed.messages();
    const std::vector<xmlNode *> elements = parsed.elements();
    for (bool take : {false, true}) {
        SCOPED_TRACE(take ? "take" : "text");
        // A joiner each, so that the expansion limit plays no part here.
        xml_text_joiner at_limit(parsed.doc());
        xml_text text = take ? at_limit.take(elements[0]) : at_limit.text(elements[0]);
        EXPECT_EQ(text.fault, xml_text_fault::none);
        EXPECT_EQ(std::string(xml_chars(text.text.get())), std::string(kXmlTextMax, 'x'));

        xml_text_joiner beyond(parsed.doc());
        text = take ? beyond.take(elements[1]) : beyond.text(elements[1]);
        EXPECT_EQ(text.fault, xml_text_fault::too_long);
        ASSERT_NE(text.text, nullptr);
        EXPECT_EQ(std::string(xml_chars(text.text.get())), std::string(kXmlTextMax, 'x') + "y");
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
    ASSERT_NE(parsed.doc(), nullptr) << parsed.messages();
    const std::vector<xmlNode *> elements = parsed.elements();
    xml_text_joiner joiner(parsed.doc());
    const xml_text_fault expected[] = {xml_text_fault::none,      xml_text_fault::none,
                                       xml_text_fault::none,      xml_text_fault::expansion,
                                       xml_text_fault::expansion, xml_text_fault::none};
    for (size_t i = 0; i < elements.size(); i++) {
        SCOPED_TRACE("element " + std::to_string(i + 1));
        const xml_text text = joiner.text(elements[i]);
        EXPECT_EQ(text.fault, expected[i]);
        EXPECT_EQ(text.text == nullptr, text.fault == xml_text_fault::expansion);
    }
    EXPECT_STREQ(xml_chars(joiner.text(elements[5]).text.get()), "plaintext");
}

TEST(XmlTextJoiner, NodesThatAddNoTextCountTowardsTheLimit)
{
    // 300 references to an entity of 100,000 comments: no byte of text,
    // but 30,000,000 nodes to walk.
    Parsed parsed("<!DOCTYPE r [\n<!ENTITY c \"" + repeat("<!---->", 100000) + "\">\n]>\n<r><e>" +
                  repeat("&c;", 300) + "</e></r>\n");
    ASSERT_NE(parsed.doc(), nullptr) << parsed.messages();
    xml_text_joiner joiner(parsed.doc());
    EXPECT_EQ(joiner.text(parsed.elements().at(0)).fault, xml_text_fault::expansion);
}

} // namespace
