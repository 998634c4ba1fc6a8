// The checker's view of a document: the entry elements the reader walks,
// and what one file's check may not take from the file checked before it.
#include "driver/cfgcheck.h"

#include <string>
#include <sys/stat.h>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "test_support.h"

namespace {

using test_support::capture_log;
using test_support::TempFile;

class CfgCheck : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }
};

// "section/entry@line=name" per entry element, "-" for no name.
std::string walk(const std::string &xml, int *result, std::string *messages)
{
    TempFile file(xml);
    chmod(file.c_path(), 0600);
    std::string seen;
    *messages = capture_log([&] {
        const cfg_document_observer observer{
            .entry =
                [](const cfg_document_entry *e, void *arg) {
                    auto &out = *static_cast<std::string *>(arg);
                    out += std::string(e->section) + "/" + e->entry + "@" +
                           std::to_string(e->line) + "=" + (e->name != nullptr ? e->name : "-") +
                           " ";
                },
            .arg = &seen,
        };
        *result = cfg_document_read_observed(file.c_path(), &observer);
    });
    return seen;
}

TEST_F(CfgCheck, EntryWalkSeesEveryEntryElementWithItsLastName)
{
    int result = 1;
    std::string messages;
    const std::string seen = walk(R"(<onyxcast>
  <SERVERS>
    <server><password>p</password><hostname>h</hostname></server>
    <Server><NAME>a</NAME><name>b</name><hostname>h</hostname><password>p</password></Server>
    <stream><format>Ogg</format></stream>
  </SERVERS>
  <metadata><name>not an entry</name></metadata>
  <extra><server><name>not read</name></server></extra>
  <streams>
    <stream><name></name><format>Ogg</format></stream>
  </streams>
  <servers><server><name>c</name></server></servers>
</onyxcast>
)",
                                  &result, &messages);
    // Every entry element, in document order, also after a refusal ended
    // the streams section and one made the servers section stop.
    EXPECT_EQ(seen, "servers/server@3=- servers/server@4=b streams/stream@10= "
                    "servers/server@12=c ");
    EXPECT_EQ(result, -1);
    // The reader's own messages, unchanged.
    EXPECT_NE(messages.find("[10]: stream (default): name: empty\n"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("[12]: server (c): hostname missing\n"), std::string::npos)
        << messages;
}

TEST_F(CfgCheck, EntryWalkIsSkippedWhenTheDocumentIsNotRead)
{
    for (const char *xml : {"<onyxcast>", "<other><servers><server/></servers></other>"}) {
        int result = 0;
        std::string messages;
        EXPECT_EQ(walk(xml, &result, &messages), "") << xml;
        EXPECT_EQ(result, -1) << xml;
    }
}

// Each file starts from nothing: an entry of the file before does not
// satisfy a reference of this one.
TEST_F(CfgCheck, NothingOfTheFileBeforeCarriesOver)
{
    TempFile first(R"(<onyxcast>
  <servers><server><hostname>h</hostname><password>p</password></server></servers>
  <encoders><encoder><name>MP3</name><format>MP3</format><program>lame - -</program></encoder></encoders>
  <streams><stream><format>MP3</format><encoder>MP3</encoder></stream></streams>
</onyxcast>
)");
    TempFile second(R"(<onyxcast>
  <streams><stream><format>MP3</format><encoder>MP3</encoder></stream></streams>
</onyxcast>
)");
    chmod(first.c_path(), 0600);
    chmod(second.c_path(), 0600);
    int results[2] = {1, 1};
    const std::string messages = capture_log([&] {
        results[0] = cfgcheck_file(first.c_path());
        results[1] = cfgcheck_file(second.c_path());
    });
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], -1);
    EXPECT_NE(messages.find("[2]: stream (default): encoder: MP3 not found\n"), std::string::npos)
        << messages;
    EXPECT_EQ(cfg_encoder_list_count(cfg_get_encoders()), 0u);
}

} // namespace
