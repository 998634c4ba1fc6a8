// What one file's check may not take from the file checked before it.
#include "driver/cfgcheck.h"

#include <string>
#include <sys/stat.h>

#include "cfg/cfg.h"
#include "test_support.h"

namespace {

using test_support::capture_log;
using test_support::TempFile;

class CfgCheck : public testing::Test {
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }
};

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
