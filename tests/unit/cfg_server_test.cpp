#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "cfg/cfg_server.h"

namespace {

class CfgServer : public testing::Test
{
  protected:
    void SetUp() override { server = cfg_server_list_get(list, "default"); }
    void TearDown() override { cfg_server_list_destroy(&list); }

    cfg_server_list list = cfg_server_list_create();
    cfg_server *server = nullptr;
};

using set_fn = int (*)(cfg_server *, cfg_server_list, const char *, const char **);
using get_text_fn = const char *(*)(cfg_server *);

// The texts a new entry lacks, and the bounds of those it takes, are held
// for every field of the registry in cfg_fields_test.
TEST_F(CfgServer, NewEntryReadsBackTheDefaults)
{
    EXPECT_EQ(cfg_server_get_protocol(server), CFG_PROTO_HTTP);
    EXPECT_STREQ(cfg_server_get_protocol_str(server), "http");
    EXPECT_EQ(cfg_server_get_port(server), 8000);
    EXPECT_STREQ(cfg_server_get_user(server), "source");
    EXPECT_EQ(cfg_server_get_tls(server), CFG_TLS_MAY);
    EXPECT_STREQ(cfg_server_get_tls_str(server), "may");
    EXPECT_EQ(cfg_server_get_reconnect_attempts(server), 0u);
}

TEST_F(CfgServer, NamedCodes)
{
    struct {
        set_fn set;
        get_text_fn get;
        const char *value;
        int result;
        const char *reason;
        const char *reads_back;
    } const cases[] = {
        {cfg_server_set_protocol, cfg_server_get_protocol_str, "HTTPS", 0, nullptr, "https"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, "Icy", 0, nullptr, "icy"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, "roaraudio", 0, nullptr,
         "roaraudio"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, "http", 0, nullptr, "http"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, "ftp", -1, "unsupported", "http"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, " http", -1, "unsupported", "http"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, "", -1, "empty", "http"},
        {cfg_server_set_protocol, cfg_server_get_protocol_str, nullptr, -1, "empty", "http"},
        {cfg_server_set_tls, cfg_server_get_tls_str, "NONE", 0, nullptr, "none"},
        {cfg_server_set_tls, cfg_server_get_tls_str, "Required", 0, nullptr, "required"},
        {cfg_server_set_tls, cfg_server_get_tls_str, "may", 0, nullptr, "may"},
        {cfg_server_set_tls, cfg_server_get_tls_str, "always", -1, "invalid", "may"},
        {cfg_server_set_tls, cfg_server_get_tls_str, "", -1, "empty", "may"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        EXPECT_EQ(c.set(server, list, c.value, &reason), c.result);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_STREQ(c.get(server), c.reads_back);
    }
    ASSERT_EQ(cfg_server_set_protocol(server, list, "roaraudio", nullptr), 0);
    EXPECT_EQ(cfg_server_get_protocol(server), CFG_PROTO_ROARAUDIO);
}

TEST_F(CfgServer, HttpsAlwaysRequiresTls)
{
    ASSERT_EQ(cfg_server_set_tls(server, list, "none", nullptr), 0);
    ASSERT_EQ(cfg_server_set_protocol(server, list, "https", nullptr), 0);
    EXPECT_EQ(cfg_server_get_tls(server), CFG_TLS_REQUIRED);
    EXPECT_STREQ(cfg_server_get_tls_str(server), "required");

    ASSERT_EQ(cfg_server_set_protocol(server, list, "http", nullptr), 0);
    EXPECT_EQ(cfg_server_get_tls(server), CFG_TLS_NONE);
    EXPECT_STREQ(cfg_server_get_tls_str(server), "none");
}

TEST_F(CfgServer, Numbers)
{
    using get_fn = int64_t (*)(cfg_server *);
    const get_fn port = [](cfg_server *s) -> int64_t { return cfg_server_get_port(s); };
    const get_fn attempts = [](cfg_server *s) -> int64_t {
        return cfg_server_get_reconnect_attempts(s);
    };
    struct {
        set_fn set;
        get_fn get;
        const char *value;
        int result;
        const char *reason;
        int64_t reads_back;
    } const cases[] = {
        {cfg_server_set_port, port, "1", 0, nullptr, 1},
        {cfg_server_set_port, port, "65535", 0, nullptr, 65535},
        {cfg_server_set_port, port, "0", -1, "too small", 65535},
        {cfg_server_set_port, port, "65536", -1, "too large", 65535},
        {cfg_server_set_port, port, "80x", -1, "invalid", 65535},
        {cfg_server_set_port, port, "", -1, "empty", 65535},
        {cfg_server_set_port, port, nullptr, -1, "empty", 65535},
        {cfg_server_set_reconnect_attempts, attempts, "4294967295", 0, nullptr, 4294967295},
        {cfg_server_set_reconnect_attempts, attempts, "0", 0, nullptr, 0},
        {cfg_server_set_reconnect_attempts, attempts, "-1", -1, "too small", 0},
        {cfg_server_set_reconnect_attempts, attempts, "4294967296", -1, "too large", 0},
        {cfg_server_set_reconnect_attempts, attempts, "many", -1, "invalid", 0},
        {cfg_server_set_reconnect_attempts, attempts, "", -1, "empty", 0},
        {cfg_server_set_reconnect_attempts, attempts, "7", 0, nullptr, 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "null");
        const char *reason = "untouched";
        EXPECT_EQ(c.set(server, list, c.value, &reason), c.result);
        EXPECT_STREQ(reason, c.reason != nullptr ? c.reason : "untouched");
        EXPECT_EQ(c.get(server), c.reads_back);
    }
}

TEST_F(CfgServer, ValidationReportsTheFirstMissingValue)
{
    const char *reason = nullptr;
    EXPECT_EQ(cfg_server_validate(server, &reason), -1);
    EXPECT_STREQ(reason, "hostname missing");

    ASSERT_EQ(cfg_server_set_password(server, list, "hackme", nullptr), 0);
    EXPECT_EQ(cfg_server_validate(server, &reason), -1);
    EXPECT_STREQ(reason, "hostname missing");

    cfg_server *other = cfg_server_list_get(list, "other");
    ASSERT_EQ(cfg_server_set_hostname(other, list, "localhost", nullptr), 0);
    EXPECT_EQ(cfg_server_validate(other, &reason), -1);
    EXPECT_STREQ(reason, "password missing");
    EXPECT_EQ(cfg_server_validate(other, nullptr), -1);

    ASSERT_EQ(cfg_server_set_password(other, list, "hackme", nullptr), 0);
    reason = "untouched";
    EXPECT_EQ(cfg_server_validate(other, &reason), 0);
    EXPECT_STREQ(reason, "untouched");
}

} // namespace
