// The registry against what is written apart from it: the manual page's
// lists of elements, the fuzz dictionary and the setters fuzzer's table of
// operations each fail here, naming the field, when the registry has one
// they lack. And what every field of the registry must do, walked over all
// of them: a new entry holds no text, and a bounded text takes up to its
// bound.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"
#include "cfg_fields_support.h"
#include "setter_ops.h"

namespace {

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every "<name>" on a line, in order.
std::vector<std::string> elements_on(const std::string &line)
{
    std::vector<std::string> found;
    for (size_t open = line.find('<'); open != std::string::npos; open = line.find('<', open + 1)) {
        const size_t close = line.find('>', open);
        if (close == std::string::npos)
            break;
        found.push_back(line.substr(open + 1, close - open - 1));
    }
    return found;
}

// One item of a tag list of the manual page: the elements its `.It` line
// names, and the text after it up to the next item, its lines joined by
// blanks and "\-" read as "-".
struct man_item {
    std::vector<std::string> elements;
    std::string text;
    std::vector<std::string> words; // what its ".Li" lines show
};

// The items of the subsection `.Ss TITLE`, in order.
std::vector<man_item> man_items(const std::vector<std::string> &page, const std::string &title)
{
    std::vector<man_item> items;
    auto line = std::find(page.begin(), page.end(), ".Ss " + title);
    if (line == page.end())
        return items;
    for (++line; line != page.end() && !line->starts_with(".Ss ") && !line->starts_with(".Sh ");
         ++line) {
        if (line->starts_with(".It ")) {
            items.push_back({elements_on(*line), "", {}});
            continue;
        }
        if (items.empty() || *line == ".El")
            continue;
        man_item &item = items.back();
        std::string text = *line;
        for (size_t at; (at = text.find("\\-")) != std::string::npos;)
            text.replace(at, 2, "-");
        if (text.starts_with(".Li ")) {
            std::istringstream words(text.substr(4));
            std::string word;
            words >> word;
            item.words.push_back(word);
        }
        item.text += " " + text;
    }
    return items;
}

std::string capitalised(std::string word)
{
    word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

const std::string kSourceDir = ONYX_SOURCE_DIR;

// The manual page describes every element of the document, each entry
// kind's and the metadata's in the order the writer writes them (its
// section "Written form" says so), with the bound of each bounded text,
// the range of each number and the words of each field that takes words.
TEST(CfgFields, TheManualPageDescribesEveryField)
{
    const std::vector<std::string> page = lines_of(read_file(kSourceDir + "/man/onyxcast.conf.5"));
    ASSERT_FALSE(page.empty());

    // The root's list of sections names each one and its entry element.
    std::map<std::string, std::vector<std::string>> root_items;
    std::string last;
    for (const std::string &line : page) {
        if (line.starts_with(".It Li <"))
            root_items[last = elements_on(line)[0]];
        else if (line.starts_with(".Li <") && !last.empty())
            root_items[last].push_back(elements_on(line)[0]);
        else if (line == ".El")
            last.clear();
    }
    for (const cfg_section_info &section : kCfgSections) {
        SCOPED_TRACE(section.section);
        ASSERT_TRUE(root_items.contains(section.section))
            << "the manual page lists no <" << section.section << "> among the sections";
        if (section.entry != nullptr) {
            EXPECT_EQ(root_items[section.section], std::vector<std::string>{section.entry})
                << "the manual page does not say that <" << section.section << "> holds <"
                << section.entry << ">";
        }

        const std::string title = capitalised(section.section);
        const std::vector<man_item> items = man_items(page, title);
        ASSERT_FALSE(items.empty()) << "the manual page has no subsection .Ss " << title;
        std::vector<std::string> listed;
        for (const man_item &item : items)
            listed.insert(listed.end(), item.elements.begin(), item.elements.end());
        std::vector<std::string> registered(section.elements.begin(), section.elements.end());
        bool same_fields = true;
        for (const std::string &element : registered) {
            if (std::ranges::find(listed, element) == listed.end()) {
                ADD_FAILURE() << "the manual page has no <" << element << "> under .Ss " << title;
                same_fields = false;
            }
        }
        for (const std::string &element : listed) {
            if (std::ranges::find(registered, element) == registered.end()) {
                ADD_FAILURE() << "the manual page has <" << element << "> under .Ss " << title
                              << ", which the registry does not";
                same_fields = false;
            }
        }
        if (!same_fields)
            continue;
        EXPECT_EQ(listed, registered) << "the manual page lists the fields of .Ss " << title
                                      << " in another order than the writer writes them";

        for (const cfg_field_info &field : section.fields) {
            SCOPED_TRACE(field.element);
            const man_item &item = *std::ranges::find_if(items, [&](const man_item &i) {
                return std::ranges::find(i.elements, field.element) != i.elements.end();
            });
            if (field.bound != 0) {
                EXPECT_NE(item.text.find("at most " + std::to_string(field.bound) + " bytes"),
                          std::string::npos)
                    << "<" << field.element << "> takes at most " << field.bound
                    << " bytes, which the manual page does not say:" << item.text;
            }
            if (field.range) {
                EXPECT_NE(item.text.find(std::to_string(field.range->min) + " to " +
                                         std::to_string(field.range->max)),
                          std::string::npos)
                    << "the manual page does not give the range of <" << field.element
                    << ">:" << item.text;
            }
            if (field.type == cfg_field_type::flag) {
                EXPECT_NE(item.text.find("Boolean"), std::string::npos)
                    << "the manual page does not call <" << field.element << "> a boolean";
            }
            if (field.type == cfg_field_type::word) {
                for (const cfg_code_name &word : field.words) {
                    EXPECT_NE(std::ranges::find(item.words, word.name), item.words.end())
                        << "the manual page does not give <" << field.element << "> the word "
                        << word.name;
                }
            }
        }
    }
}

// The dictionary holds what the fuzzers should try: the opening and the
// closing tag of every element of the document, and every word a field
// takes, in some letter case.
TEST(CfgFields, TheFuzzDictionaryHoldsEveryElementAndWord)
{
    std::vector<std::string> entries;
    for (const std::string &line : lines_of(read_file(kSourceDir + "/fuzz/xml.dict"))) {
        if (line.size() < 2 || line.front() != '"' || line.back() != '"')
            continue;
        std::string entry;
        for (size_t i = 1; i + 1 < line.size(); i++) {
            if (line[i] == '\\' && i + 2 < line.size())
                i++;
            entry += line[i];
        }
        entries.push_back(entry);
    }
    ASSERT_FALSE(entries.empty());
    const auto has = [&](const std::string &wanted) {
        return std::ranges::any_of(entries, [&](const std::string &entry) {
            return strcasecmp(entry.c_str(), wanted.c_str()) == 0;
        });
    };
    const auto expect_tags = [&](const std::string &element) {
        EXPECT_TRUE(has("<" + element + ">") && has("</" + element + ">"))
            << "fuzz/xml.dict lacks \"<" << element << ">\" or \"</" << element << ">\"";
    };

    expect_tags(kCfgDocumentRoot);
    for (const cfg_section_info &section : kCfgSections) {
        SCOPED_TRACE(section.section);
        expect_tags(section.section);
        if (section.entry != nullptr)
            expect_tags(section.entry);
        for (const cfg_field_info &field : section.fields) {
            expect_tags(field.element);
            for (const cfg_code_name &word : field.words) {
                EXPECT_TRUE(has(word.name)) << "fuzz/xml.dict lacks \"" << word.name
                                            << "\", a word of <" << field.element << ">";
            }
        }
    }
}

// The setters fuzzer sets every field of the registry, and takes null where
// the field does.
TEST(CfgFields, TheSettersFuzzerSetsEveryField)
{
    for (const cfg_section_info &section : kCfgSections) {
        const char *where = section.entry != nullptr ? section.entry : section.section;
        for (const cfg_field_info &field : section.fields) {
            const auto op = std::ranges::find_if(kFuzzSetterOps, [&](const fuzz_setter_op &o) {
                return std::string_view(o.where) == where && std::string_view(o.element) == field.element;
            });
            if (op == kFuzzSetterOps.end()) {
                ADD_FAILURE() << "the setters fuzzer has no operation for <" << where << "><"
                              << field.element << ">";
                continue;
            }
            EXPECT_EQ(op->null_clears, field.empty_clears) << "<" << where << "><" << field.element << ">";
        }
    }
}

// What the build cannot check of a row: a field repeats exactly when the
// writer walks its values, and is written either way.
TEST(CfgFields, ARowThatRepeatsWalksItsValues)
{
    cfg_document_sections::for_each([]<const auto &Section>() {
        for (const auto &row : Section.fields) {
            SCOPED_TRACE(row.element);
            if constexpr (Section.entry == nullptr) {
                EXPECT_FALSE(row.repeats);
                EXPECT_NE(row.get, nullptr);
            } else {
                EXPECT_EQ(row.repeats, row.each != nullptr);
                EXPECT_NE(row.get == nullptr, row.each == nullptr);
            }
        }
    });
}

class CfgFieldsModel : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }
};

// Every text of a new entry and of a fresh store is unset, so that the
// writer writes nothing for it; the extensions of a decoder are none.
TEST_F(CfgFieldsModel, NewEntriesHoldNoText)
{
    cfg_fields_support::for_each_field(
        "default", [](const cfg_section_info &section, const cfg_field_info &field, auto, auto get) {
            if (field.type != cfg_field_type::text && field.type != cfg_field_type::reference)
                return;
            EXPECT_FALSE(get()) << "a new " << (section.entry ? section.entry : section.section)
                                << " holds a <" << field.element << ">: " << get().c_str();
        });
    cfg_decoder *decoder = cfg_decoder_list_get(cfg_get_decoders(), "default");
    int exts = 0;
    cfg_decoder_foreach_ext(decoder, [](const char *, void *n) { ++*static_cast<int *>(n); }, &exts);
    EXPECT_EQ(exts, 0);
}

// A text of a bounded field takes up to its bound; a longer one is refused
// and leaves its cut copy behind, and an empty one changes nothing.
TEST_F(CfgFieldsModel, BoundedTextsTakeUpToTheirBoundAndKeepTheCutCopy)
{
    unsigned int bounded = 0;
    cfg_fields_support::for_each_field(
        "default", [&](const cfg_section_info &, const cfg_field_info &field, auto set, auto get) {
            if (field.bound == 0)
                return;
            SCOPED_TRACE(field.element);
            bounded++;
            const std::string longest(field.bound, 'a');
            const std::string too_long = std::string(field.bound, 'b') + "X";
            const char *reason = "untouched";

            EXPECT_EQ(set(longest.c_str(), &reason), 0);
            EXPECT_STREQ(reason, "untouched");
            EXPECT_EQ(get().c_str(), longest);

            EXPECT_EQ(set(too_long.c_str(), &reason), -1);
            EXPECT_STREQ(reason, "too long");
            EXPECT_EQ(get().c_str(), std::string(field.bound, 'b'));

            for (const char *empty : {"", static_cast<const char *>(nullptr)}) {
                reason = nullptr;
                EXPECT_EQ(set(empty, &reason), -1);
                EXPECT_STREQ(reason, "empty");
                EXPECT_EQ(get().c_str(), std::string(field.bound, 'b'));
            }

            // The value read back from the text itself is stored unchanged.
            const std::string before = get().c_str();
            EXPECT_EQ(set(get().c_str() + 1, nullptr), 0);
            EXPECT_EQ(get().c_str(), before.substr(1));
        });
    EXPECT_GT(bounded, 0u);
}

} // namespace
