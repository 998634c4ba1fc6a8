#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cfg/cfg_fields.h"
#include "cfg/cfg_stream.h"
#include "cfg_test_support.h"

namespace {

class CfgStream : public testing::Test
{
  protected:
    void SetUp() override { stream = cfg_stream_list_get(list, "default"); }
    void TearDown() override { cfg_stream_list_destroy(&list); }

    cfg_stream_list list = cfg_stream_list_create();
    cfg_stream *stream = nullptr;
};

using set_fn = int (*)(cfg_stream *, cfg_stream_list, const char *, const char **);

struct text_setting {
    const char *what;
    set_fn set;
    cfg_field_value (*value)(cfg_stream *stream);

    // The text as the model holds it: the writer's value borrows it.
    const char *get(cfg_stream *stream) const { return value(stream).c_str(); }
};

// Every text of a stream, the references to other entries among them, as
// the registry has them.
const std::vector<text_setting> kTexts = [] {
    std::vector<text_setting> texts;
    for (const auto &field : kCfgStreamFields) {
        const cfg_field_type type = field.type;
        if (type == cfg_field_type::text || type == cfg_field_type::reference)
            texts.push_back({field.element, field.set, field.get});
    }
    return texts;
}();

TEST_F(CfgStream, NewEntryIsEmpty)
{
    ASSERT_FALSE(kTexts.empty());
    for (const text_setting &t : kTexts) {
        SCOPED_TRACE(t.what);
        EXPECT_EQ(t.get(stream), nullptr);
    }
    EXPECT_EQ(cfg_stream_get_public(stream), 0);
    EXPECT_EQ(cfg_stream_get_format(stream), CFG_STREAM_INVALID);
    EXPECT_EQ(cfg_stream_get_format_str(stream), nullptr);
    const char *reason = nullptr;
    EXPECT_EQ(cfg_stream_validate(stream, &reason), -1);
    EXPECT_STREQ(reason, "format missing or unsupported");
}

TEST_F(CfgStream, OwnedTextsAreCopiedWithoutLimit)
{
    const std::string long_text(5000, 'd');
    for (const text_setting &t : kTexts) {
        SCOPED_TRACE(t.what);
        std::string value = "first";
        const char *reason = "untouched";
        EXPECT_EQ(t.set(stream, list, value.c_str(), &reason), 0);
        value[0] = 'X'; // the entry holds its own copy
        EXPECT_STREQ(t.get(stream), "first");

        // Replacing frees the earlier copy (the sanitizer build sees leaks).
        EXPECT_EQ(t.set(stream, list, long_text.c_str(), &reason), 0);
        EXPECT_STREQ(reason, "untouched");
        EXPECT_EQ(t.get(stream), long_text);

        // The stored text itself given as the new value.
        EXPECT_EQ(t.set(stream, list, t.get(stream), &reason), 0);
        EXPECT_EQ(t.get(stream), long_text);

        EXPECT_EQ(t.set(stream, list, "", &reason), -1);
        EXPECT_STREQ(reason, "empty");
        EXPECT_EQ(t.get(stream), long_text);
    }
}

TEST_F(CfgStream, NullIsRefusedExceptForTheEncoder)
{
    for (const text_setting &t : kTexts) {
        SCOPED_TRACE(t.what);
        ASSERT_EQ(t.set(stream, list, "kept", nullptr), 0);
        const char *reason = "untouched";
        if (t.set == cfg_stream_set_encoder) {
            EXPECT_EQ(t.set(stream, list, nullptr, &reason), 0);
            EXPECT_STREQ(reason, "untouched");
            EXPECT_EQ(t.get(stream), nullptr);
            // Clearing what is already clear is no error either.
            EXPECT_EQ(t.set(stream, list, nullptr, &reason), 0);
            EXPECT_EQ(t.get(stream), nullptr);
        } else {
            EXPECT_EQ(t.set(stream, list, nullptr, &reason), -1);
            EXPECT_STREQ(reason, "empty");
            EXPECT_STREQ(t.get(stream), "kept");
        }
    }
}

TEST_F(CfgStream, FormatNames)
{
    struct {
        const char *value;
        int result;
        const char *reason;
        int code;
        const char *reads_back;
    } const cases[] = {
        {"ogg", 0, nullptr, CFG_STREAM_OGG, "Ogg"},
        {"OGG", 0, nullptr, CFG_STREAM_OGG, "Ogg"},
        {"mp3", 0, nullptr, CFG_STREAM_MP3, "MP3"},
        {"WEBM", 0, nullptr, CFG_STREAM_WEBM, "WebM"},
        {"matroska", 0, nullptr, CFG_STREAM_MATROSKA, "Matroska"},
        {"vorbis", -1, "unsupported stream format", CFG_STREAM_MATROSKA, "Matroska"},
        {"Ogg ", -1, "unsupported stream format", CFG_STREAM_MATROSKA, "Matroska"},
        {"", -1, "empty", CFG_STREAM_MATROSKA, "Matroska"},
        {nullptr, -1, "empty", CFG_STREAM_MATROSKA, "Matroska"},
        {"Ogg", 0, nullptr, CFG_STREAM_OGG, "Ogg"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        EXPECT_EQ(cfg_stream_set_format(stream, list, c.value, &reason), c.result);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_EQ(cfg_stream_get_format(stream), c.code);
        EXPECT_STREQ(cfg_stream_get_format_str(stream), c.reads_back);
    }
    EXPECT_EQ(cfg_stream_validate(stream, nullptr), 0);
}

TEST(CfgStreamFormat, CodesAndNames)
{
    int fmt = -7;
    EXPECT_EQ(cfg_stream_format_from_name("theora", &fmt), -1);
    EXPECT_EQ(fmt, -7);
    EXPECT_EQ(cfg_stream_format_from_name("webm", &fmt), 0);
    EXPECT_EQ(fmt, CFG_STREAM_WEBM);

    EXPECT_EQ(cfg_stream_format_name(CFG_STREAM_INVALID), nullptr);
    EXPECT_EQ(cfg_stream_format_name(5), nullptr);
    EXPECT_EQ(cfg_stream_format_name(-1), nullptr);
    for (int code = CFG_STREAM_MIN; code <= CFG_STREAM_MAX; code++) {
        ASSERT_NE(cfg_stream_format_name(code), nullptr);
        EXPECT_EQ(cfg_stream_format_from_name(cfg_stream_format_name(code), &fmt), 0);
        EXPECT_EQ(fmt, code);
    }
}

TEST_F(CfgStream, PublicTakesBooleanWords)
{
    expect_boolean_words(
        [&](const char *word, const char **errstrp) {
            return cfg_stream_set_public(stream, list, word, errstrp);
        },
        [&] { return cfg_stream_get_public(stream); });
}

} // namespace
