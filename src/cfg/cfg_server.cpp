#include "cfg/cfg_server.h"

#include <cstdint>
#include <netdb.h>

#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg_server";

} // namespace

// Each field is declared with what it takes; its setter and getter below
// are one call each, and it frees what it holds itself.
struct cfg_server {
    cfg_named_link<cfg_server> link;
    char *name;
    cfg_value::code<kCfgServerProtocols, cfg_value::kUnsupported> protocol;
    cfg_value::number<int, kCfgServerPortMin, kCfgServerPortMax> port; // 0 while unset
    cfg_value::code<kCfgServerTlsModes, cfg_value::kInvalid> tls;
    cfg_value::number<uint32_t, kCfgServerReconnectAttemptsMin, kCfgServerReconnectAttemptsMax>
        reconnect_attempts;
    cfg_value::bounded_text<kCfgServerHostnameMax> hostname;
    cfg_value::bounded_text<kCfgServerUserMax> user;
    cfg_value::bounded_text<kCfgServerPasswordMax> password;
    cfg_value::bounded_text<kCfgServerTlsCipherSuiteMax> tls_cipher_suite;
    cfg_value::bounded_text<kCfgServerPathMax> ca_dir;
    cfg_value::bounded_text<kCfgServerPathMax> ca_file;
    cfg_value::bounded_text<kCfgServerPathMax> client_cert;
};

// The client keeps a host name in a buffer of NI_MAXHOST bytes.
static_assert(kCfgServerHostnameMax == NI_MAXHOST - 1);

namespace {

using list_ops = cfg_list::named<cfg_server, kAllocModule>;

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
    return server->protocol.set(protocol, errstrp);
}

int cfg_server_set_hostname(cfg_server *server, cfg_server_list, const char *hostname,
                            const char **errstrp)
{
    return server->hostname.set(hostname, errstrp, kAllocModule);
}

int cfg_server_set_port(cfg_server *server, cfg_server_list, const char *port, const char **errstrp)
{
    return server->port.set(port, errstrp);
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
    return server->tls.set(tls, errstrp);
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
    return server->reconnect_attempts.set(attempts, errstrp);
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
    return cfg_value::code_name(kCfgServerProtocols, server->protocol, "http");
}

const char *cfg_server_get_hostname(cfg_server *server)
{
    return server->hostname.get();
}

int cfg_server_get_port(cfg_server *server)
{
    const int port = server->port;
    return port != 0 ? port : kCfgServerDefaultPort;
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
    if (server->protocol == CFG_PROTO_HTTPS)
        return CFG_TLS_REQUIRED;
    return server->tls;
}

const char *cfg_server_get_tls_str(cfg_server *server)
{
    return cfg_value::code_name(kCfgServerTlsModes, cfg_server_get_tls(server), "may");
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
