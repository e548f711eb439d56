#include "exporter/metrics_server.h"

#include "exporter/metrics_snapshot.h"
#include "exporter/metrics_text.h"

#include <civetweb.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr int http_ok = 200;
constexpr int http_not_found = 404;
constexpr int http_method_not_allowed = 405;
constexpr std::size_t error_text_size = 256;
// mg_check_feature()'s bit for IPv6; Debian 12's civetweb is built without it.
constexpr unsigned civetweb_ipv6 = 8;
const char *const allowed_methods = "GET, HEAD";

bool is_read(const QByteArray &method)
{
    return method == "GET" || method == "HEAD";
}

// How often the listening thread is knocked on while the server stops.
constexpr std::chrono::milliseconds knock_interval{20};

// A connection to the listening port, closed unused: civetweb's listening
// thread looks at its stop flag only between polls of up to two seconds,
// and a connection ends the poll at once. A worker that gets it reads a
// client gone.
void knock(const Listen_address &address)
{
#ifdef Q_OS_UNIX
    const bool any =
        address.host == QLatin1String("0.0.0.0") || address.host == QLatin1String("::");
    const QByteArray host =
        any ? QByteArray(address.ipv6 ? "::1" : "127.0.0.1") : address.host.toLatin1();
    sockaddr_in6 six = {};
    sockaddr_in four = {};
    six.sin6_family = AF_INET6;
    six.sin6_port = htons(address.port);
    four.sin_family = AF_INET;
    four.sin_port = htons(address.port);
    const bool parsed = address.ipv6 ? ::inet_pton(AF_INET6, host.constData(), &six.sin6_addr) == 1
                                     : ::inet_pton(AF_INET, host.constData(), &four.sin_addr) == 1;
    const int fd = ::socket(address.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (parsed && fd >= 0) {
        if (address.ipv6)
            ::connect(fd, reinterpret_cast<const sockaddr *>(&six), sizeof six);
        else
            ::connect(fd, reinterpret_cast<const sockaddr *>(&four), sizeof four);
    }
    if (fd >= 0)
        ::close(fd);
#else
    Q_UNUSED(address)
#endif
}

void respond(mg_connection *connection, int status, const char *content_type,
             const QByteArray &body, bool with_body)
{
    mg_response_header_start(connection, status);
    mg_response_header_add(connection, "Content-Type", content_type, -1);
    mg_response_header_add(connection, "Content-Length", QByteArray::number(body.size()), -1);
    if (status == http_method_not_allowed)
        mg_response_header_add(connection, "Allow", allowed_methods, -1);
    mg_response_header_send(connection);
    if (with_body)
        mg_write(connection, body.constData(), static_cast<std::size_t>(body.size()));
}

} // namespace

Metrics_server::Metrics_server(const Metrics_snapshot &snapshot, const QByteArray &index_page)
    : snapshot(snapshot), index_page(index_page)
{
    mg_init_library(0);
}

Metrics_server::~Metrics_server()
{
    // Waits for the threads still answering; none takes longer than the
    // request time-out. The listening thread is knocked on meanwhile, so
    // that a stopped service ends at once, not up to two seconds later.
    if (context) {
        std::atomic<bool> stopped{false};
        std::thread knocker([this, &stopped] {
            while (!stopped.load()) {
                knock(bound);
                std::this_thread::sleep_for(knock_interval);
            }
        });
        mg_stop(context);
        stopped = true;
        knocker.join();
    }
    mg_exit_library();
}

bool Metrics_server::start(const Listen_address &address)
{
    if (address.ipv6 && mg_check_feature(civetweb_ipv6) == 0) {
        error_text = tr("this build of civetweb has no IPv6; give an IPv4 address "
                        "(0.0.0.0 for every interface)");
        return false;
    }
    const QByteArray listening = address.text().toLatin1();
    const QByteArray thread_count = QByteArray::number(threads);
    const QByteArray timeout = QByteArray::number(request_timeout_ms);
    const QByteArray request_size = QByteArray::number(max_request_bytes);
    // No document root: nothing but the handler below answers.
    const char *options[] = {"listening_ports",
                             listening.constData(),
                             "num_threads",
                             thread_count.constData(),
                             "request_timeout_ms",
                             timeout.constData(),
                             "max_request_size",
                             request_size.constData(),
                             "enable_keep_alive",
                             "no",
                             nullptr};
    mg_callbacks callbacks = {};
    // Every broken client would otherwise write a line: the log is for the units.
    callbacks.log_message = &Metrics_server::ignore_log;
    mg_init_data init = {};
    init.callbacks = &callbacks;
    init.user_data = this;
    init.configuration_options = options;
    std::array<char, error_text_size> reason{};
    unsigned code = 0;
    mg_error_data error = {};
    error.code = &code;
    error.text = reason.data();
    error.text_buffer_size = reason.size();
    context = mg_start2(&init, &error);
    if (!context) {
        error_text = QString::fromLocal8Bit(reason.data());
        if (error_text.isEmpty())
            error_text = tr("the address cannot be bound");
        return false;
    }
    mg_set_request_handler(context, "/", &Metrics_server::handle, this);
    bound = address;
    return true;
}

Metrics_server::Route Metrics_server::route(const QByteArray &method, const QByteArray &path)
{
    Route route = Route::not_found;
    if (path == "/")
        route = Route::index;
    else if (path == "/metrics")
        route = Route::metrics;
    if (route != Route::not_found && !is_read(method))
        return Route::method_not_allowed;
    return route;
}

int Metrics_server::handle(mg_connection *connection, void *data)
{
    const auto *server = static_cast<const Metrics_server *>(data);
    const mg_request_info *request = mg_get_request_info(connection);
    const QByteArray method(request->request_method);
    const bool with_body = method != "HEAD";
    switch (route(method, QByteArray(request->local_uri))) {
    case Route::metrics:
        respond(connection, http_ok, Metrics_text::content_type, server->snapshot.current(),
                with_body);
        return http_ok;
    case Route::index:
        respond(connection, http_ok, "text/html; charset=utf-8", server->index_page, with_body);
        return http_ok;
    case Route::method_not_allowed:
        respond(connection, http_method_not_allowed, "text/plain; charset=utf-8",
                QByteArrayLiteral("Only GET and HEAD are served here.\n"), true);
        return http_method_not_allowed;
    case Route::not_found:
        break;
    }
    respond(connection, http_not_found, "text/plain; charset=utf-8",
            QByteArrayLiteral("Not found: the metrics are at /metrics.\n"), with_body);
    return http_not_found;
}

int Metrics_server::ignore_log(const mg_connection *, const char *)
{
    return 1;
}
