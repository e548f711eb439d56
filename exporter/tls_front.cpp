#include "exporter/tls_front.h"

#include "console/console_output.h"
#include "exporter/refusal_log.h"

#include <QtCore/QFile>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int relay_buffer_bytes = 16384;
constexpr int listen_backlog = 128;
// After accept() fails for want of descriptors: wait rather than spin.
constexpr int accept_pause_ms = 100;
// How long a refused client's last bytes are read and dropped.
constexpr int drain_ms = 250;

QString openssl_reason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    const char *reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? QString::fromLatin1(reason) : Tls_front::tr("connection closed");
}

QString address_text(const sockaddr_storage &peer)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 &>(peer).sin6_addr, text,
                  sizeof text);
    else
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in &>(peer).sin_addr, text,
                  sizeof text);
    return QString::fromLatin1(text);
}

void set_timeouts(int socket)
{
    timeval timeout{Tls_front::timeout_ms / 1000, (Tls_front::timeout_ms % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

bool send_all(int socket, const char *bytes, int size)
{
    while (size > 0) {
        const ssize_t sent = ::send(socket, bytes, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<int>(sent);
    }
    return true;
}

// Closed with bytes of the client's still unread, the connection would be
// reset, and the reset may overtake the alert that tells the client why it
// was refused ("certificate required"): they are read and dropped first,
// for a moment at most.
void close_after_alert(int client)
{
    ::shutdown(client, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(drain_ms);
    const timeval moment{0, drain_ms * 1000};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &moment, sizeof moment);
    char dropped[512];
    while (std::chrono::steady_clock::now() < deadline &&
           ::recv(client, dropped, sizeof dropped, 0) > 0) {
    }
}

// Asked for but taken as it comes: RequestClientCert, RequireAnyClientCert.
int accept_any_certificate(int, X509_STORE_CTX *)
{
    return 1;
}

} // namespace

Tls_front::Tls_front(const Web_config::Tls &settings, Refusal_log &log)
    : settings(settings), log(log)
{
}

Tls_front::~Tls_front()
{
    stop();
    for (std::thread &worker : workers)
        worker.join();
    if (listener >= 0)
        ::close(listener);
    SSL_CTX_free(context);
}

bool Tls_front::start(const Listen_address &address, quint16 port)
{
    backend_port = port;
    if (!make_context() || !bind(address))
        return false;
    // A client gone while it is written to is an error to handle, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    for (int worker = 0; worker < threads; ++worker)
        workers.emplace_back(&Tls_front::serve, this);
    return true;
}

bool Tls_front::make_context()
{
    using Auth = Web_config::Client_auth;
    context = SSL_CTX_new(TLS_server_method());
    const QByteArray cert = QFile::encodeName(settings.cert_file);
    const QByteArray key = QFile::encodeName(settings.key_file);
    if (context == nullptr || SSL_CTX_set_min_proto_version(context, settings.min_version) != 1) {
        error_text = tr("TLS cannot be set up: %1").arg(openssl_reason());
        return false;
    }
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (SSL_CTX_use_certificate_chain_file(context, cert.constData()) != 1) {
        error_text =
            tr("cannot use the certificate %1: %2").arg(settings.cert_file, openssl_reason());
        return false;
    }
    if (SSL_CTX_use_PrivateKey_file(context, key.constData(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        error_text = tr("cannot use the key %1: %2").arg(settings.key_file, openssl_reason());
        return false;
    }
    int mode = SSL_VERIFY_NONE;
    SSL_verify_cb take_any = nullptr;
    switch (settings.client_auth) {
    case Auth::none:
        break;
    case Auth::request:
        mode = SSL_VERIFY_PEER;
        take_any = accept_any_certificate;
        break;
    case Auth::require_any:
        mode = SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
        take_any = accept_any_certificate;
        break;
    case Auth::verify_if_given:
        mode = SSL_VERIFY_PEER;
        break;
    case Auth::require_and_verify:
        mode = SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
        break;
    }
    if (!settings.client_ca_file.isEmpty()) {
        const QByteArray ca = QFile::encodeName(settings.client_ca_file);
        STACK_OF(X509_NAME) *names = SSL_load_client_CA_file(ca.constData());
        if (names == nullptr ||
            SSL_CTX_load_verify_locations(context, ca.constData(), nullptr) != 1) {
            error_text = tr("cannot use the client authority %1: %2")
                             .arg(settings.client_ca_file, openssl_reason());
            return false;
        }
        SSL_CTX_set_client_CA_list(context, names);
    }
    SSL_CTX_set_verify(context, mode, take_any);
    return true;
}

bool Tls_front::bind(const Listen_address &address)
{
    sockaddr_storage where = {};
    socklen_t size = 0;
    const QByteArray host = address.host.toLatin1();
    if (address.ipv6) {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(where);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(address.port);
        inet_pton(AF_INET6, host.constData(), &in6.sin6_addr);
        size = sizeof in6;
    } else {
        auto &in4 = reinterpret_cast<sockaddr_in &>(where);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(address.port);
        inet_pton(AF_INET, host.constData(), &in4.sin_addr);
        size = sizeof in4;
    }
    listener = ::socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    if (listener >= 0)
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&where), size) != 0 ||
        ::listen(listener, listen_backlog) != 0) {
        error_text = QString::fromLocal8Bit(std::strerror(errno));
        bind_failed = true;
        return false;
    }
    return true;
}

void Tls_front::serve()
{
    while (!stopping) {
        sockaddr_storage peer = {};
        socklen_t size = sizeof peer;
        const int client =
            ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &size, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                std::this_thread::sleep_for(std::chrono::milliseconds(accept_pause_ms));
            continue;
        }
        if (track(client)) {
            handle(client, address_text(peer));
            untrack(client);
        }
        ::close(client);
    }
}

void Tls_front::handle(int client, const QString &source)
{
    set_timeouts(client);
    SSL *ssl = SSL_new(context);
    if (ssl == nullptr)
        return;
    SSL_set_fd(ssl, client);
    ERR_clear_error();
    if (SSL_accept(ssl) != 1) {
        // A client that connects and goes (a port check) is not worth a line;
        // a plain HTTP request or a missing certificate is.
        const bool said_something = ERR_peek_error() != 0;
        const QString reason = openssl_reason();
        if (said_something && !stopping) {
            const QString line =
                log.note(source, QStringLiteral("tls"), tr("TLS handshake failed: %1").arg(reason),
                         Refusal_log::now_ms());
            if (!line.isEmpty())
                Console_output::error(line);
        }
        SSL_free(ssl);
        close_after_alert(client);
        return;
    }
    quint16 local_port = 0;
    const int backend = connect_backend(&local_port);
    if (backend >= 0) {
        {
            std::lock_guard<std::mutex> guard(lock);
            sources[local_port] = source;
        }
        if (track(backend)) {
            relay(ssl, client, backend);
            untrack(backend);
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            sources.erase(local_port);
        }
        ::close(backend);
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
}

int Tls_front::connect_backend(quint16 *local_port)
{
    const int backend = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (backend < 0)
        return -1;
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(backend_port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in local = {};
    socklen_t size = sizeof local;
    if (::connect(backend, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0 ||
        ::getsockname(backend, reinterpret_cast<sockaddr *>(&local), &size) != 0) {
        ::close(backend);
        return -1;
    }
    set_timeouts(backend);
    *local_port = ntohs(local.sin_port);
    return backend;
}

// Until either side is done, or neither says anything for timeout_ms.
void Tls_front::relay(SSL *ssl, int client, int backend)
{
    char buffer[relay_buffer_bytes];
    pollfd sides[2] = {{client, POLLIN, 0}, {backend, POLLIN, 0}};
    while (!stopping) {
        sides[0].revents = sides[1].revents = 0;
        // Bytes OpenSSL has already read off the socket would not wake poll().
        if (SSL_pending(ssl) == 0) {
            const int ready = ::poll(sides, 2, timeout_ms);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return;
        }
        if (SSL_pending(ssl) > 0 || sides[0].revents != 0) {
            const int got = SSL_read(ssl, buffer, sizeof buffer);
            if (got <= 0) {
                if (SSL_get_error(ssl, got) == SSL_ERROR_WANT_READ)
                    continue;
                return;
            }
            if (!send_all(backend, buffer, got))
                return;
        }
        if (sides[1].revents != 0) {
            const ssize_t got = ::recv(backend, buffer, sizeof buffer, 0);
            // The server closes once it has answered.
            if (got <= 0 || SSL_write(ssl, buffer, static_cast<int>(got)) <= 0)
                return;
        }
    }
}

bool Tls_front::track(int socket)
{
    std::lock_guard<std::mutex> guard(lock);
    if (stopping)
        return false;
    open_sockets.insert(socket);
    return true;
}

void Tls_front::untrack(int socket)
{
    std::lock_guard<std::mutex> guard(lock);
    open_sockets.erase(socket);
}

void Tls_front::stop()
{
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
    // Wakes every thread at once, in accept(), a handshake or a relay.
    if (listener >= 0)
        ::shutdown(listener, SHUT_RDWR);
    for (int socket : open_sockets)
        ::shutdown(socket, SHUT_RDWR);
}

QString Tls_front::source_of(quint16 loopback_port) const
{
    std::lock_guard<std::mutex> guard(lock);
    const auto source = sources.find(loopback_port);
    return source == sources.end() ? QString() : source->second;
}
