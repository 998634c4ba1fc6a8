#include "cfg/cfg_server.h"

#include <cstdint>
#include <netdb.h>

#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg_server";

constexpr cfg_code_name kProtocols[] = {
    {"http", CFG_PROTO_HTTP},
    {"https", CFG_PROTO_HTTPS},
    {"icy", CFG_PROTO_ICY},
    {"roaraudio", CFG_PROTO_ROARAUDIO},
};

constexpr cfg_code_name kTlsModes[] = {
    {"may", CFG_TLS_MAY},
    {"none", CFG_TLS_NONE},
    {"required", CFG_TLS_REQUIRED},
};

} // namespace

// A bound of N lets a text hold at most N-1 characters.
struct cfg_server {
    cfg_named_link<cfg_server> link;
    char *name;
    int protocol;
    int port;
    int tls;
    uint32_t reconnect_attempts;
    cfg_value::bounded_text<NI_MAXHOST> hostname;
    cfg_value::bounded_text<256> user;
    cfg_value::bounded_text<256> password;
    cfg_value::bounded_text<2048> tls_cipher_suite;
    cfg_value::bounded_text<1024> ca_dir;
    cfg_value::bounded_text<1024> ca_file;
    cfg_value::bounded_text<1024> client_cert;
};

static_assert(NI_MAXHOST == 1025);

namespace {

void release(cfg_server &server)
{
    server.hostname.clear(kAllocModule);
    server.user.clear(kAllocModule);
    server.password.clear(kAllocModule);
    server.tls_cipher_suite.clear(kAllocModule);
    server.ca_dir.clear(kAllocModule);
    server.ca_file.clear(kAllocModule);
    server.client_cert.clear(kAllocModule);
}

using list_ops = cfg_list::named<cfg_server, kAllocModule, release>;

} // namespace

cfg_server_list cfg_server_list_create()
{
    return list_ops::create();
}

void cfg_server_list_destroy(cfg_server_list *listp)
{
    list_ops::destroy(listp);
}

unsigned int cfg_server_list_count(cfg_server_list list)
{
    return list_ops::count(list);
}

cfg_server *cfg_server_list_find(cfg_server_list list, const char *name)
{
    return list_ops::find(list, name);
}

void cfg_server_list_foreach(cfg_server_list list, cfg_server_list_fn fn, void *arg)
{
    list_ops::for_each(list, fn, arg);
}

cfg_server *cfg_server_list_get(cfg_server_list list, const char *name)
{
    return list_ops::get(list, name);
}

cfg_server *cfg_server_create(const char *name)
{
    return list_ops::create_entry(name);
}

void cfg_server_destroy(cfg_server **serverp)
{
    list_ops::destroy_entry(serverp);
}

int cfg_server_set_name(cfg_server *server, cfg_server_list list, const char *name,
                        const char **errstrp)
{
    return list_ops::set_name(server, list, name, errstrp);
}

int cfg_server_set_protocol(cfg_server *server, cfg_server_list, const char *protocol,
                            const char **errstrp)
{
    return cfg_value::set_code(server->protocol, protocol, kProtocols, "unsupported", errstrp);
}

int cfg_server_set_hostname(cfg_server *server, cfg_server_list, const char *hostname,
                            const char **errstrp)
{
    return server->hostname.set(hostname, errstrp, kAllocModule);
}

int cfg_server_set_port(cfg_server *server, cfg_server_list, const char *port, const char **errstrp)
{
    return cfg_value::set_number(server->port, port, kCfgServerPortMin, kCfgServerPortMax, errstrp);
}

int cfg_server_set_user(cfg_server *server, cfg_server_list, const char *user, const char **errstrp)
{
    return server->user.set(user, errstrp, kAllocModule);
}

int cfg_server_set_password(cfg_server *server, cfg_server_list, const char *password,
                            const char **errstrp)
{
    return server->password.set(password, errstrp, kAllocModule);
}

int cfg_server_set_tls(cfg_server *server, cfg_server_list, const char *tls, const char **errstrp)
{
    return cfg_value::set_code(server->tls, tls, kTlsModes, "invalid", errstrp);
}

int cfg_server_set_tls_cipher_suite(cfg_server *server, cfg_server_list, const char *suite,
                                    const char **errstrp)
{
    return server->tls_cipher_suite.set(suite, errstrp, kAllocModule);
}

int cfg_server_set_ca_dir(cfg_server *server, cfg_server_list, const char *ca_dir,
                          const char **errstrp)
{
    return server->ca_dir.set(ca_dir, errstrp, kAllocModule);
}

int cfg_server_set_ca_file(cfg_server *server, cfg_server_list, const char *ca_file,
                           const char **errstrp)
{
    return server->ca_file.set(ca_file, errstrp, kAllocModule);
}

int cfg_server_set_client_cert(cfg_server *server, cfg_server_list, const char *client_cert,
                               const char **errstrp)
{
    return server->client_cert.set(client_cert, errstrp, kAllocModule);
}

int cfg_server_set_reconnect_attempts(cfg_server *server, cfg_server_list, const char *attempts,
                                      const char **errstrp)
{
    return cfg_value::set_number(server->reconnect_attempts, attempts,
                                 kCfgServerReconnectAttemptsMin, kCfgServerReconnectAttemptsMax,
                                 errstrp);
}

int cfg_server_validate(cfg_server *server, const char **errstrp)
{
    if (!server->hostname.is_set())
        return cfg_value::fail(errstrp, "hostname missing");
    if (!server->password.is_set())
        return cfg_value::fail(errstrp, "password missing");
    return 0;
}

const char *cfg_server_get_name(cfg_server *server)
{
    return list_ops::get_name(server);
}

int cfg_server_get_protocol(cfg_server *server)
{
    return server->protocol;
}

const char *cfg_server_get_protocol_str(cfg_server *server)
{
    return cfg_value::code_name(kProtocols, server->protocol, "http");
}

const char *cfg_server_get_hostname(cfg_server *server)
{
    return server->hostname.get();
}

int cfg_server_get_port(cfg_server *server)
{
    return server->port != 0 ? server->port : kCfgServerDefaultPort;
}

const char *cfg_server_get_user(cfg_server *server)
{
    return server->user.is_set() ? server->user.get() : kCfgServerDefaultUser;
}

const char *cfg_server_get_password(cfg_server *server)
{
    return server->password.get();
}

int cfg_server_get_tls(cfg_server *server)
{
    return server->protocol == CFG_PROTO_HTTPS ? CFG_TLS_REQUIRED : server->tls;
}

const char *cfg_server_get_tls_str(cfg_server *server)
{
    return cfg_value::code_name(kTlsModes, cfg_server_get_tls(server), "may");
}

const char *cfg_server_get_tls_cipher_suite(cfg_server *server)
{
    return server->tls_cipher_suite.get();
}

const char *cfg_server_get_ca_dir(cfg_server *server)
{
    return server->ca_dir.get();
}

const char *cfg_server_get_ca_file(cfg_server *server)
{
    return server->ca_file.get();
}

const char *cfg_server_get_client_cert(cfg_server *server)
{
    return server->client_cert.get();
}

uint32_t cfg_server_get_reconnect_attempts(cfg_server *server)
{
    return server->reconnect_attempts;
}
