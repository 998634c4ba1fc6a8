// The rules over a small document read with facts into the store.
#include "cfg/cfg_rules.h"

#include <string>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "test_support.h"

namespace {

using test_support::capture_log;

class CfgRules : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }

    int read(const std::string &xml)
    {
        int result = 1;
        capture_log([&] {
            result = cfg_document_read_memory(xml.data(), xml.size(), "onyx.xml", &facts);
        });
        return result;
    }

    std::string merges()
    {
        std::string out;
        for (const cfg_merge_finding &m : cfg_rules_merges(facts))
            out += std::to_string(m.line) + ":" + m.section + "/" + m.entry + ">" + m.into + "@" +
                   std::to_string(m.into_line) + " ";
        return out;
    }

    std::string references()
    {
        std::string out;
        for (const cfg_reference_finding &r : cfg_rules_references(facts))
            out += std::to_string(r.line) + ":" + r.entry + "(" + r.entry_name + ")." + r.field +
                   "=" + r.name + " ";
        return out;
    }

    cfg_read_facts facts;
};

// Unnamed elements hand their entry on to the element that names it, or,
// the last of them, keep "default"; "DEFAULT" is no name either. Findings
// come in document order, and merges of one line in the order the kinds
// first appear.
TEST_F(CfgRules, UnnamedElementsMergeIntoTheEntryThatSettlesTheirName)
{
    ASSERT_EQ(read(R"(<onyxcast>
  <streams>
    <stream><format>Ogg</format></stream>
    <stream><format>MP3</format><name>DEFAULT</name></stream>
    <stream><name>live</name><format>Ogg</format></stream>
    <stream><format>Ogg</format></stream>
  </streams>
  <servers>
    <server><hostname>a</hostname><password>p</password></server>
    <server><hostname>b</hostname><password>p</password></server>
  </servers>
</onyxcast>
)"),
              0);
    EXPECT_EQ(merges(), "3:streams/stream>live@5 4:streams/stream>live@5 "
                        "9:servers/server>default@10 ");

    facts = {};
    cfg_clear(cfg_active());
    read("<onyxcast><streams><stream/><stream/></streams>"
         "<servers><server/><server/></servers></onyxcast>");
    EXPECT_EQ(merges(), "1:streams/stream>default@1 1:servers/server>default@1 ");
}

// A reference to no entry points at the element that gave the entry its
// final name, in the registry's order of kinds and fields.
TEST_F(CfgRules, ReferencesToNoEntryPointAtTheirEntry)
{
    ASSERT_EQ(read(R"(<onyxcast>
  <servers><server><name>up</name><hostname>h</hostname><password>p</password></server></servers>
  <streams>
    <stream><name>a</name><format>MP3</format><encoder>lame</encoder><server>down</server></stream>
    <stream><name>b</name><format>MP3</format><server>up</server></stream>
    <stream><name>c</name><format>MP3</format><name>C2</name><server>gone</server></stream>
  </streams>
</onyxcast>
)"),
              0);
    EXPECT_EQ(references(), "4:stream(a).server=down 4:stream(a).encoder=lame "
                            "6:stream(C2).server=gone ");
}

} // namespace
