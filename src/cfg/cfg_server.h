// Server entries: where and how a stream is delivered. Texts are bounded in
// length and sized to their values; the defaults (port 8000, user "source", TLS required
// under https) are supplied by the getters and never stored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cfg/cfg_list.h"
#include "cfg/cfg_value.h"

enum {
    CFG_PROTO_HTTP = 0,
    CFG_PROTO_HTTPS = 1,
    CFG_PROTO_ICY = 2,
    CFG_PROTO_ROARAUDIO = 3,
};

enum {
    CFG_TLS_MAY = 0,
    CFG_TLS_NONE = 1,
    CFG_TLS_REQUIRED = 2,
};

// The words the protocol and the TLS mode take, with their codes; the
// first of each is the one assumed while unset.
inline constexpr cfg_code_name kCfgServerProtocols[] = {
    {"http", CFG_PROTO_HTTP},
    {"https", CFG_PROTO_HTTPS},
    {"icy", CFG_PROTO_ICY},
    {"roaraudio", CFG_PROTO_ROARAUDIO},
};
inline constexpr cfg_code_name kCfgServerTlsModes[] = {
    {"may", CFG_TLS_MAY},
    {"none", CFG_TLS_NONE},
    {"required", CFG_TLS_REQUIRED},
};

// What the getters give for a port or a user never set.
inline constexpr int kCfgServerDefaultPort = 8000;
inline constexpr char kCfgServerDefaultUser[] = "source";

// The whole numbers the setters take; messages that name a range use them.
inline constexpr long long kCfgServerPortMin = 1;
inline constexpr long long kCfgServerPortMax = 65535;
inline constexpr long long kCfgServerReconnectAttemptsMin = 0;
inline constexpr long long kCfgServerReconnectAttemptsMax = UINT32_MAX;

// The most bytes each text takes; a longer one is refused, and its cut
// copy kept.
inline constexpr std::size_t kCfgServerHostnameMax = 1024;
inline constexpr std::size_t kCfgServerUserMax = 255;
inline constexpr std::size_t kCfgServerPasswordMax = 255;
inline constexpr std::size_t kCfgServerTlsCipherSuiteMax = 2047;
inline constexpr std::size_t kCfgServerPathMax = 1023; // ca_dir, ca_file, client_cert

struct cfg_server;
using cfg_server_list = cfg_named_head<cfg_server> *;
using cfg_server_list_fn = void (*)(cfg_server *server, void *arg);

cfg_server_list cfg_server_list_create();
void cfg_server_list_destroy(cfg_server_list *listp);
unsigned int cfg_server_list_count(cfg_server_list list);
cfg_server *cfg_server_list_find(cfg_server_list list, const char *name);
// Calls fn for each entry in list order. fn must not unlink, free or add
// an entry of the list: the walk reads the next entry after fn returns.
void cfg_server_list_foreach(cfg_server_list list, cfg_server_list_fn fn, void *arg);
cfg_server *cfg_server_list_get(cfg_server_list list, const char *name);

cfg_server *cfg_server_create(const char *name);
void cfg_server_destroy(cfg_server **serverp);

int cfg_server_set_name(cfg_server *server, cfg_server_list list, const char *name,
                        const char **errstrp);
int cfg_server_set_protocol(cfg_server *server, cfg_server_list list, const char *protocol,
                            const char **errstrp);
int cfg_server_set_hostname(cfg_server *server, cfg_server_list list, const char *hostname,
                            const char **errstrp);
int cfg_server_set_port(cfg_server *server, cfg_server_list list, const char *port,
                        const char **errstrp);
int cfg_server_set_user(cfg_server *server, cfg_server_list list, const char *user,
                        const char **errstrp);
int cfg_server_set_password(cfg_server *server, cfg_server_list list, const char *password,
                            const char **errstrp);
int cfg_server_set_tls(cfg_server *server, cfg_server_list list, const char *tls,
                       const char **errstrp);
int cfg_server_set_tls_cipher_suite(cfg_server *server, cfg_server_list list, const char *suite,
                                    const char **errstrp);
int cfg_server_set_ca_dir(cfg_server *server, cfg_server_list list, const char *ca_dir,
                          const char **errstrp);
int cfg_server_set_ca_file(cfg_server *server, cfg_server_list list, const char *ca_file,
                           const char **errstrp);
int cfg_server_set_client_cert(cfg_server *server, cfg_server_list list, const char *client_cert,
                               const char **errstrp);
int cfg_server_set_reconnect_attempts(cfg_server *server, cfg_server_list list,
                                      const char *attempts, const char **errstrp);

int cfg_server_validate(cfg_server *server, const char **errstrp);

const char *cfg_server_get_name(cfg_server *server);
int cfg_server_get_protocol(cfg_server *server);
const char *cfg_server_get_protocol_str(cfg_server *server);
const char *cfg_server_get_hostname(cfg_server *server);
int cfg_server_get_port(cfg_server *server);
const char *cfg_server_get_user(cfg_server *server);
const char *cfg_server_get_password(cfg_server *server);
int cfg_server_get_tls(cfg_server *server);
const char *cfg_server_get_tls_str(cfg_server *server);
const char *cfg_server_get_tls_cipher_suite(cfg_server *server);
const char *cfg_server_get_ca_dir(cfg_server *server);
const char *cfg_server_get_ca_file(cfg_server *server);
const char *cfg_server_get_client_cert(cfg_server *server);
uint32_t cfg_server_get_reconnect_attempts(cfg_server *server);
