#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg_decoder.h"
#include "test_support.h"

namespace {

class CfgDecoder : public testing::Test
{
  protected:
    void TearDown() override { cfg_decoder_list_destroy(&list); }

    cfg_decoder *decoder(const char *name) { return cfg_decoder_list_get(list, name); }

    static std::vector<std::string> exts(cfg_decoder *d)
    {
        std::vector<std::string> out;
        cfg_decoder_foreach_ext(
            d,
            [](const char *ext, void *arg) {
                static_cast<std::vector<std::string> *>(arg)->push_back(ext);
            },
            &out);
        return out;
    }

    // Adds at notice verbosity (or the one given) and returns what the log
    // wrote to standard error.
    std::string add_ext(cfg_decoder *d, const char *ext, int verbosity = 1)
    {
        return test_support::capture_log(
            [&] { EXPECT_EQ(cfg_decoder_add_ext(d, list, ext, nullptr), 0); }, verbosity);
    }

    cfg_decoder_list list = cfg_decoder_list_create();
};

TEST_F(CfgDecoder, NewExtensionsAreAppendedSilently)
{
    cfg_decoder *d = decoder("default");
    EXPECT_EQ(exts(d), std::vector<std::string>{});
    EXPECT_EQ(add_ext(d, ".ogg"), "");
    EXPECT_EQ(add_ext(d, ".Flac"), "");
    EXPECT_EQ(exts(d), (std::vector<std::string>{".ogg", ".Flac"}));
    EXPECT_EQ(cfg_decoder_has_ext(d, ".FLAC"), 1);
    EXPECT_EQ(cfg_decoder_has_ext(d, ".mp3"), 0);
    EXPECT_EQ(cfg_decoder_list_find_by_ext(list, ".OGG"), d);
    EXPECT_EQ(cfg_decoder_list_find_by_ext(list, ".mp3"), nullptr);

    for (const char *empty : {"", static_cast<const char *>(nullptr)}) {
        const char *reason = nullptr;
        EXPECT_EQ(cfg_decoder_add_ext(d, list, empty, &reason), -1);
        EXPECT_STREQ(reason, "empty");
    }
    EXPECT_EQ(exts(d), (std::vector<std::string>{".ogg", ".Flac"}));
}

TEST_F(CfgDecoder, ExtensionMovesToTheDecoderThatClaimsIt)
{
    cfg_decoder *a = decoder("alpha");
    cfg_decoder *b = decoder("beta");
    add_ext(a, ".OGG");
    add_ext(a, ".flac");
    add_ext(b, ".mp3");

    EXPECT_EQ(add_ext(b, ".ogg"), ".ogg: relocating match from alpha to beta\n");
    EXPECT_EQ(exts(a), std::vector<std::string>{".flac"});
    // The entry itself moved: it keeps the letter case it was registered in.
    EXPECT_EQ(exts(b), (std::vector<std::string>{".mp3", ".OGG"}));
    EXPECT_EQ(cfg_decoder_list_find_by_ext(list, ".ogg"), b);

    // A notice: shown from verbosity 1 on, not at 0.
    EXPECT_EQ(add_ext(a, ".ogg", 0), "");
    EXPECT_EQ(exts(a), (std::vector<std::string>{".flac", ".OGG"}));
    EXPECT_EQ(exts(b), std::vector<std::string>{".mp3"});
}

TEST_F(CfgDecoder, ReclaimingOwnExtensionMovesItToTheEnd)
{
    cfg_decoder *d = decoder("default");
    add_ext(d, ".ogg");
    add_ext(d, ".mp3");
    EXPECT_EQ(add_ext(d, ".OGG"), ".OGG: relocating match from default to default\n");
    EXPECT_EQ(exts(d), (std::vector<std::string>{".mp3", ".ogg"}));
    EXPECT_EQ(add_ext(d, ".ogg"), ".ogg: relocating match from default to default\n");
    EXPECT_EQ(exts(d), (std::vector<std::string>{".mp3", ".ogg"}));
}

TEST_F(CfgDecoder, ProgramIsAnOwnedText)
{
    cfg_decoder *d = decoder("default");
    EXPECT_EQ(cfg_decoder_get_program(d), nullptr);
    const char *reason = nullptr;
    EXPECT_EQ(cfg_decoder_set_program(d, list, "", &reason), -1);
    EXPECT_STREQ(reason, "empty");
    EXPECT_EQ(cfg_decoder_set_program(d, list, nullptr, &reason), -1);
    EXPECT_EQ(cfg_decoder_get_program(d), nullptr);
    EXPECT_EQ(cfg_decoder_set_program(d, list, "first @T@", nullptr), 0);
    EXPECT_EQ(cfg_decoder_set_program(d, list, "second @T@", nullptr), 0);
    EXPECT_STREQ(cfg_decoder_get_program(d), "second @T@");
}

TEST_F(CfgDecoder, ValidationReportsTheFirstBrokenRule)
{
    struct {
        const char *program;
        bool with_ext;
        const char *reason; // null: valid
    } const cases[] = {
        {nullptr, false, "program not set"},
        {nullptr, true, "program not set"},
        {"dec @s@ @T@ @T@", false, "no file extensions registered"},
        {"dec -o - @T@ @T@ @s@", true, "prohibited placeholder @s@"},
        {"dec @T@@T@", true, "duplicate placeholder @T@"},
        {"dec @T@ @T@ @M@ @M@", true, "duplicate placeholder @T@"},
        {"dec @M@@M@ @a@ @a@ @T@", true, "duplicate placeholder @M@"},
        {"dec @a@ @a@ @t@ @t@ @T@", true, "duplicate placeholder @a@"},
        {"dec @t@ @t@ @T@", true, "duplicate placeholder @t@"},
        {"dec @t@", true, "missing placeholder @T@"},
        {"dec", true, "missing placeholder @T@"},
        {"dec @T@T@", true, nullptr}, // overlapping tokens count once
        {"dec @T@ @M@ @a@ @t@", true, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program != nullptr ? c.program : "no program");
        cfg_decoder *d = cfg_decoder_create("candidate");
        if (c.program != nullptr) {
            ASSERT_EQ(cfg_decoder_set_program(d, list, c.program, nullptr), 0);
        }
        if (c.with_ext) {
            ASSERT_EQ(cfg_decoder_add_ext(d, list, ".ogg", nullptr), 0);
        }
        const char *reason = "untouched";
        EXPECT_EQ(cfg_decoder_validate(d, &reason), c.reason != nullptr ? -1 : 0);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        cfg_decoder_destroy(&d);
    }
}

} // namespace
