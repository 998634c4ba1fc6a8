#include <string>

#include <gtest/gtest.h>

#include "cfg/cfg_intake.h"
#include "cfg_test_support.h"

namespace {

class CfgIntake : public testing::Test
{
  protected:
    void SetUp() override { intake = cfg_intake_list_get(list, "default"); }
    void TearDown() override { cfg_intake_list_destroy(&list); }

    cfg_intake_list list = cfg_intake_list_create();
    cfg_intake *intake = nullptr;
};

TEST_F(CfgIntake, NewEntryDefaultsAndNeedsAFileName)
{
    EXPECT_EQ(cfg_intake_get_type(intake), CFG_INTAKE_AUTODETECT);
    EXPECT_STREQ(cfg_intake_get_type_str(intake), "autodetect");
    EXPECT_EQ(cfg_intake_get_filename(intake), nullptr);
    EXPECT_EQ(cfg_intake_get_shuffle(intake), 0);
    EXPECT_EQ(cfg_intake_get_stream_once(intake), 0);
    const char *reason = nullptr;
    EXPECT_EQ(cfg_intake_validate(intake, &reason), -1);
    EXPECT_STREQ(reason, "intake filename missing");
}

TEST_F(CfgIntake, TypeNames)
{
    struct {
        const char *value;
        int result;
        const char *reason;
        int code;
        const char *reads_back;
    } const cases[] = {
        {"FILE", 0, nullptr, CFG_INTAKE_FILE, "file"},
        {"Playlist", 0, nullptr, CFG_INTAKE_PLAYLIST, "playlist"},
        {"program", 0, nullptr, CFG_INTAKE_PROGRAM, "program"},
        {"socket", -1, "unsupported", CFG_INTAKE_PROGRAM, "program"},
        {"", -1, "empty", CFG_INTAKE_PROGRAM, "program"},
        {nullptr, -1, "empty", CFG_INTAKE_PROGRAM, "program"},
        {"StdIn", 0, nullptr, CFG_INTAKE_STDIN, "stdin"},
        {"autodetect", 0, nullptr, CFG_INTAKE_AUTODETECT, "autodetect"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        EXPECT_EQ(cfg_intake_set_type(intake, list, c.value, &reason), c.result);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_EQ(cfg_intake_get_type(intake), c.code);
        EXPECT_STREQ(cfg_intake_get_type_str(intake), c.reads_back);
    }
}

TEST_F(CfgIntake, OnlyStandardInputGoesWithoutAFileName)
{
    for (const char *type : {"stdin", "program", "playlist", "file", "autodetect"}) {
        SCOPED_TRACE(type);
        cfg_intake *bare = cfg_intake_list_get(list, type);
        cfg_intake *named = cfg_intake_create(type);
        ASSERT_EQ(cfg_intake_set_type(bare, list, type, nullptr), 0);
        ASSERT_EQ(cfg_intake_set_type(named, list, type, nullptr), 0);
        ASSERT_EQ(cfg_intake_set_filename(named, list, "music.m3u", nullptr), 0);

        const char *reason = "untouched";
        const bool is_stdin = std::string(type) == "stdin";
        EXPECT_EQ(cfg_intake_validate(bare, &reason), is_stdin ? 0 : -1);
        EXPECT_STREQ(reason, is_stdin ? "untouched" : "intake filename missing");
        EXPECT_EQ(cfg_intake_validate(named, nullptr), 0);
        cfg_intake_destroy(&named);
    }
}

TEST_F(CfgIntake, FileNameBufferHolds1023Characters)
{
    const std::string longest(1023, 'f');
    const char *reason = "untouched";
    EXPECT_EQ(cfg_intake_set_filename(intake, list, longest.c_str(), &reason), 0);
    EXPECT_STREQ(reason, "untouched");
    EXPECT_EQ(cfg_intake_get_filename(intake), longest);

    const std::string too_long = std::string(1023, 'g') + "h";
    EXPECT_EQ(cfg_intake_set_filename(intake, list, too_long.c_str(), &reason), -1);
    EXPECT_STREQ(reason, "too long");
    EXPECT_EQ(cfg_intake_get_filename(intake), std::string(1023, 'g'));

    EXPECT_EQ(cfg_intake_set_filename(intake, list, "", &reason), -1);
    EXPECT_STREQ(reason, "empty");
    EXPECT_EQ(cfg_intake_get_filename(intake), std::string(1023, 'g'));
}

TEST_F(CfgIntake, ShuffleAndStreamOnceTakeBooleanWords)
{
    {
        SCOPED_TRACE("shuffle");
        expect_boolean_words(
            [&](const char *word, const char **errstrp) {
                return cfg_intake_set_shuffle(intake, list, word, errstrp);
            },
            [&] { return cfg_intake_get_shuffle(intake); });
    }
    {
        SCOPED_TRACE("stream_once");
        expect_boolean_words(
            [&](const char *word, const char **errstrp) {
                return cfg_intake_set_stream_once(intake, list, word, errstrp);
            },
            [&] { return cfg_intake_get_stream_once(intake); });
    }
}

} // namespace
