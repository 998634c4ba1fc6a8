#include <csignal>

#include <gtest/gtest.h>

#include "cfg/cfg_encoder.h"
#include "support/log.h"

namespace {

class CfgEncoder : public testing::Test
{
  protected:
    void SetUp() override { encoder = cfg_encoder_list_get(list, "default"); }
    void TearDown() override { cfg_encoder_list_destroy(&list); }

    cfg_encoder_list list = cfg_encoder_list_create();
    cfg_encoder *encoder = nullptr;
};

TEST_F(CfgEncoder, FormatNames)
{
    EXPECT_EQ(cfg_encoder_get_format(encoder), CFG_STREAM_INVALID);
    struct {
        const char *value;
        int result;
        const char *reason;
        int code;
    } const cases[] = {
        {"MP3", 0, nullptr, CFG_STREAM_MP3},
        {"ogg", 0, nullptr, CFG_STREAM_OGG},
        {"OGG", 0, nullptr, CFG_STREAM_OGG},
        {"opus", -1, "unsupported stream format", CFG_STREAM_OGG},
        {"", -1, "empty", CFG_STREAM_OGG},
        {nullptr, -1, "empty", CFG_STREAM_OGG},
        {"webm", 0, nullptr, CFG_STREAM_WEBM},
        {"MATROSKA", 0, nullptr, CFG_STREAM_MATROSKA},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        EXPECT_EQ(cfg_encoder_set_format_str(encoder, list, c.value, &reason), c.result);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_EQ(cfg_encoder_get_format(encoder), c.code);
    }
    EXPECT_EQ(cfg_encoder_set_format(encoder, CFG_STREAM_MIN), 0);
    EXPECT_EQ(cfg_encoder_get_format(encoder), CFG_STREAM_MIN);
}

using CfgEncoderDeathTest = CfgEncoder;

TEST_F(CfgEncoderDeathTest, FormatOutsideTheRangeAborts)
{
    // The check must hold in every build type, NDEBUG included.
    constexpr const char kMessage[] = "cfg_encoder:[0-9]+: cfg_encoder_set_format: Assertion "
                                      "`CFG_STREAM_MIN <= fmt && CFG_STREAM_MAX >= fmt' failed";
    for (int fmt : {int{CFG_STREAM_INVALID}, CFG_STREAM_MAX + 1, -1}) {
        SCOPED_TRACE(fmt);
        EXPECT_EXIT(
            {
                log_init("onyx-test"); // the alert goes where the program's messages go
                cfg_encoder_set_format(encoder, fmt);
            },
            testing::KilledBySignal(SIGABRT), kMessage);
    }
}

TEST_F(CfgEncoder, ProgramIsAnOwnedText)
{
    EXPECT_EQ(cfg_encoder_get_program(encoder), nullptr);
    const char *reason = nullptr;
    EXPECT_EQ(cfg_encoder_set_program(encoder, list, "", &reason), -1);
    EXPECT_STREQ(reason, "empty");
    EXPECT_EQ(cfg_encoder_set_program(encoder, list, nullptr, &reason), -1);
    EXPECT_EQ(cfg_encoder_get_program(encoder), nullptr);
    EXPECT_EQ(cfg_encoder_set_program(encoder, list, "oggenc -", nullptr), 0);
    EXPECT_EQ(cfg_encoder_set_program(encoder, list, "lame -", nullptr), 0);
    EXPECT_STREQ(cfg_encoder_get_program(encoder), "lame -");
}

TEST_F(CfgEncoder, ValidationReportsTheFirstBrokenRule)
{
    struct {
        const char *format;
        const char *program;
        const char *reason; // null: valid
    } const cases[] = {
        {nullptr, nullptr, "format not set"},
        {nullptr, "enc @T@", "format not set"},
        {"Ogg", nullptr, "program not set"},
        {"Ogg", "enc @T@ @M@ @M@", "prohibited placeholder @T@"},
        {"Ogg", "enc @s@ @a@ @a@", "prohibited placeholder @s@"},
        {"Ogg", "enc @M@@M@ @a@ @a@", "duplicate placeholder @M@"},
        {"Ogg", "enc @a@ @a@ @t@ @t@", "duplicate placeholder @a@"},
        {"Ogg", "enc @t@@t@", "duplicate placeholder @t@"},
        {"Ogg", "enc @M@ @a@ @t@", nullptr},
        {"Ogg", "enc @a@a@", nullptr}, // overlapping tokens count once
        {"MP3", "lame -", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program != nullptr ? c.program : "no program");
        cfg_encoder *e = cfg_encoder_create("candidate");
        if (c.format != nullptr) {
            ASSERT_EQ(cfg_encoder_set_format_str(e, list, c.format, nullptr), 0);
        }
        if (c.program != nullptr) {
            ASSERT_EQ(cfg_encoder_set_program(e, list, c.program, nullptr), 0);
        }
        const char *reason = "untouched";
        EXPECT_EQ(cfg_encoder_validate(e, &reason), c.reason != nullptr ? -1 : 0);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        cfg_encoder_destroy(&e);
    }
}

} // namespace
