#ifndef VELMAR_EXPORTER_TLS_FRONT_H
#define VELMAR_EXPORTER_TLS_FRONT_H

#include "exporter/listen_address.h"
#include "exporter/web_config.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class Refusal_log;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

// TLS on the public address, in front of the HTTP server on the loopback.
//
// Debian 12's civetweb has TLS built in, but loads OpenSSL at run time under
// the names libssl.so and libcrypto.so, which only libssl-dev installs, and
// against OpenSSL 1.1: it asks OpenSSL 3 for SSL_get_peer_certificate, which
// 3.0 no longer exports, and calls the null pointer it got at the first
// connection. So OpenSSL is linked here as any library is, the handshake
// made here with the settings of the web configuration, and the decrypted
// request handed to the server over the loopback. The server learns from
// source_of() where a request really came from, and refuses one that did not
// come through here.
//
// A few threads take connections in turn; each connection gets the server's
// time-out for the handshake and for every read and write after it.
class Tls_front
{
    Q_DECLARE_TR_FUNCTIONS(Tls_front)

public:
    static constexpr int threads = 8;
    static constexpr int timeout_ms = 5000;

    Tls_front(const Web_config::Tls &settings, Refusal_log &log);
    ~Tls_front();
    Tls_front(const Tls_front &) = delete;
    Tls_front &operator=(const Tls_front &) = delete;

    // Loads the certificate and key, binds the address and starts taking
    // connections for the server at 127.0.0.1:backend_port. False when
    // either fails; error() says why and binding_failed() which.
    bool start(const Listen_address &address, quint16 backend_port);
    QString error() const { return error_text; }
    bool binding_failed() const { return bind_failed; }

    // The client a connection to the server from this loopback port was
    // made for ("192.0.2.7"); empty when it was not made here.
    QString source_of(quint16 loopback_port) const;

private:
    bool make_context();
    bool bind(const Listen_address &address);
    void serve();
    void handle(int client, const QString &source);
    void relay(SSL *ssl, int client, int backend);
    int connect_backend(quint16 *local_port);
    bool track(int socket);
    void untrack(int socket);
    void stop();

    const Web_config::Tls settings;
    Refusal_log &log;
    SSL_CTX *context = nullptr;
    int listener = -1;
    quint16 backend_port = 0;
    std::vector<std::thread> workers;
    std::atomic<bool> stopping{false};
    mutable std::mutex lock;
    std::map<quint16, QString> sources;
    std::set<int> open_sockets;
    QString error_text;
    bool bind_failed = false;
};

#endif
