#include <string>

#include <gtest/gtest.h>

#include "cfg/cfg.h"
#include "cfg_test_support.h"

namespace {

class CfgStore : public testing::Test
{
  protected:
    void SetUp() override { cfg_init(); }
    void TearDown() override { cfg_exit(); }
};

void fill_active()
{
    cfg_server_list_get(cfg_get_servers(), "default");
    cfg_stream_list_get(cfg_get_streams(), "default");
    cfg_intake_list_get(cfg_get_intakes(), "default");
    cfg_decoder *d = cfg_decoder_list_get(cfg_get_decoders(), "default");
    ASSERT_EQ(cfg_decoder_add_ext(d, cfg_get_decoders(), ".ogg", nullptr), 0);
    cfg_encoder_list_get(cfg_get_encoders(), "default");
    ASSERT_EQ(cfg_set_metadata_program("meta", nullptr), 0);
    ASSERT_EQ(cfg_set_metadata_format_str("@a@ - @t@", nullptr), 0);
    ASSERT_EQ(cfg_set_metadata_refresh_interval("10", nullptr), 0);
    ASSERT_EQ(cfg_set_metadata_normalize_strings("yes", nullptr), 0);
    ASSERT_EQ(cfg_set_metadata_no_updates("yes", nullptr), 0);
}

void expect_reset(const cfg_config &config)
{
    EXPECT_EQ(config.decoders, nullptr);
    EXPECT_EQ(config.encoders, nullptr);
    EXPECT_EQ(config.intakes, nullptr);
    EXPECT_EQ(config.servers, nullptr);
    EXPECT_EQ(config.streams, nullptr);
    EXPECT_STREQ(config.metadata.program, "");
    EXPECT_EQ(config.metadata.format_str, nullptr);
    EXPECT_EQ(config.metadata.refresh_interval, -1);
    EXPECT_EQ(config.metadata.normalize_strings, 0);
    EXPECT_EQ(config.metadata.no_updates, 0);
}

TEST_F(CfgStore, ListsComeIntoBeingOnFirstAccess)
{
    expect_reset(*cfg_active());
    cfg_server_list servers = cfg_get_servers();
    ASSERT_NE(servers, nullptr);
    EXPECT_EQ(cfg_get_servers(), servers);
    EXPECT_EQ(cfg_active()->servers, servers);
    EXPECT_EQ(cfg_active()->streams, nullptr);
    EXPECT_NE(cfg_get_streams(), nullptr);
    EXPECT_NE(cfg_get_intakes(), nullptr);
    EXPECT_NE(cfg_get_decoders(), nullptr);
    EXPECT_NE(cfg_get_encoders(), nullptr);

    cfg_server_list_get(servers, "default");
    cfg_exit();
    EXPECT_EQ(cfg_active()->servers, nullptr);
    EXPECT_EQ(cfg_server_list_count(cfg_get_servers()), 0u);
}

TEST_F(CfgStore, ClearReleasesAndResetsOneInstance)
{
    fill_active();
    cfg_clear(cfg_active());
    expect_reset(*cfg_active());
    EXPECT_EQ(cfg_get_metadata_refresh_interval(), -1);
    EXPECT_EQ(cfg_get_metadata_format_str(), nullptr);
    EXPECT_EQ(cfg_get_metadata_program(), nullptr);
}

TEST_F(CfgStore, ExchangeMovesWholeConfigurations)
{
    fill_active();
    cfg_server_list servers = cfg_get_servers();

    cfg_exchange();
    expect_reset(*cfg_active());
    EXPECT_EQ(cfg_saved()->servers, servers);
    EXPECT_STREQ(cfg_saved()->metadata.format_str, "@a@ - @t@");
    EXPECT_EQ(cfg_saved()->metadata.refresh_interval, 10);

    cfg_exchange();
    EXPECT_EQ(cfg_get_servers(), servers);
    EXPECT_STREQ(cfg_get_metadata_program(), "meta");
    EXPECT_EQ(cfg_get_metadata_no_updates(), 1);
    expect_reset(*cfg_saved());

    // cfg_init releases what the saved instance holds too.
    cfg_exchange();
    fill_active();
    cfg_init();
    expect_reset(*cfg_active());
    expect_reset(*cfg_saved());
}

TEST_F(CfgStore, BuffersHold1023Characters)
{
    using set_fn = int (*)(const char *, const char **);
    using get_fn = const char *(*)();
    struct {
        const char *what;
        set_fn set;
        get_fn get;
    } const buffers[] = {
        {"metadata program", cfg_set_metadata_program, cfg_get_metadata_program},
        {"program name", cfg_set_program_name, cfg_get_program_name},
        {"config file", cfg_set_program_config_file, cfg_get_program_config_file},
        {"second path", cfg_set_program_second_path, cfg_get_program_second_path},
    };
    for (const auto &b : buffers) {
        SCOPED_TRACE(b.what);
        const std::string longest(1023, 'p');
        const char *reason = "untouched";
        EXPECT_EQ(b.set(longest.c_str(), &reason), 0);
        EXPECT_STREQ(reason, "untouched");
        EXPECT_EQ(b.get(), longest);

        const std::string too_long = std::string(1023, 'q') + "r";
        EXPECT_EQ(b.set(too_long.c_str(), &reason), -1);
        EXPECT_STREQ(reason, "too long");
        EXPECT_EQ(b.get(), std::string(1023, 'q'));

        EXPECT_EQ(b.set("", &reason), -1);
        EXPECT_STREQ(reason, "empty");
        EXPECT_EQ(b.set(nullptr, nullptr), -1);
        EXPECT_EQ(b.get(), std::string(1023, 'q'));
    }
}

TEST_F(CfgStore, FormatStringPlaceholderRules)
{
    struct {
        const char *value;
        const char *reason; // null: accepted
    } const cases[] = {
        {"@T@ and @T@", "duplicate placeholder @T@"},
        {"@T@@T@", "duplicate placeholder @T@"},
        {"@M@ @M@ @T@ @T@", "prohibited placeholder @M@"},
        {"@s@ @s@ @a@ @a@", "duplicate placeholder @s@"},
        {"@a@ @t@ @a@ @t@", "duplicate placeholder @a@"},
        {"@t@ @t@", "duplicate placeholder @t@"},
        {"", "empty"},
        {nullptr, "empty"},
        {"@T@T@", nullptr}, // overlapping tokens count once
        {"@t@ @a@ @T@", nullptr},
        {"no placeholder at all", nullptr},
    };
    ASSERT_EQ(cfg_set_metadata_format_str("previous", nullptr), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        const std::string kept = cfg_get_metadata_format_str();
        EXPECT_EQ(cfg_set_metadata_format_str(c.value, &reason), c.reason != nullptr ? -1 : 0);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_EQ(cfg_get_metadata_format_str(), c.reason != nullptr ? kept : c.value);
    }
    // The stored text itself as the new value.
    EXPECT_EQ(cfg_set_metadata_format_str(cfg_get_metadata_format_str(), nullptr), 0);
    EXPECT_STREQ(cfg_get_metadata_format_str(), "no placeholder at all");
}

TEST_F(CfgStore, RefreshInterval)
{
    EXPECT_EQ(cfg_get_metadata_refresh_interval(), -1);
    struct {
        const char *value;
        const char *reason; // null: accepted
        int reads_back;
    } const cases[] = {
        {"10", nullptr, 10},
        {"-1", nullptr, -1},
        {"-2147483648", nullptr, -2147483647 - 1},
        {"2147483647", nullptr, 2147483647},
        {"2147483648", "too large", 2147483647},
        {"-2147483649", "too small", 2147483647},
        {"ten", "invalid", 2147483647},
        {"10s", "invalid", 2147483647},
        {"", "empty", 2147483647},
        {nullptr, "empty", 2147483647},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        EXPECT_EQ(cfg_set_metadata_refresh_interval(c.value, &reason),
                  c.reason != nullptr ? -1 : 0);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_EQ(cfg_get_metadata_refresh_interval(), c.reads_back);
    }
}

TEST_F(CfgStore, MetadataFlagsTakeBooleanWords)
{
    {
        SCOPED_TRACE("normalize_strings");
        expect_boolean_words(cfg_set_metadata_normalize_strings,
                             cfg_get_metadata_normalize_strings);
    }
    {
        SCOPED_TRACE("no_updates");
        expect_boolean_words(cfg_set_metadata_no_updates, cfg_get_metadata_no_updates);
    }
}

TEST_F(CfgStore, ProgramSettingsOutliveEveryReset)
{
    EXPECT_EQ(cfg_get_program_config_type(), CFG_SOURCE_XML);
    const char *reason = nullptr;
    EXPECT_EQ(cfg_set_program_config_type(1, &reason), -1);
    EXPECT_STREQ(reason, "invalid");
    EXPECT_EQ(cfg_get_program_config_type(), CFG_SOURCE_XML);
    EXPECT_EQ(cfg_set_program_config_type(CFG_SOURCE_XML, nullptr), 0);

    EXPECT_EQ(cfg_set_program_first_flag(5), 0);
    EXPECT_EQ(cfg_set_program_second_flag(-3), 0);
    EXPECT_EQ(cfg_set_program_number(-7), 0);
    ASSERT_EQ(cfg_set_program_name("onyxcast", nullptr), 0);
    ASSERT_EQ(cfg_set_program_config_file("onyxcast.xml", nullptr), 0);

    cfg_clear(cfg_active());
    cfg_exit();
    cfg_init();
    EXPECT_EQ(cfg_get_program_first_flag(), 1);
    EXPECT_EQ(cfg_get_program_second_flag(), 1);
    EXPECT_EQ(cfg_get_program_number(), -7);
    EXPECT_STREQ(cfg_get_program_name(), "onyxcast");
    EXPECT_STREQ(cfg_get_program_config_file(), "onyxcast.xml");

    EXPECT_EQ(cfg_set_program_first_flag(0), 0);
    EXPECT_EQ(cfg_get_program_first_flag(), 0);
}

} // namespace
