#include "exporter/metrics_server.h"

#include "console/console_output.h"
#include "exporter/metrics_snapshot.h"
#include "exporter/metrics_text.h"
#include "exporter/tls_front.h"

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
constexpr int http_unauthorized = 401;
constexpr int http_forbidden = 403;
constexpr int http_not_found = 404;
constexpr int http_method_not_allowed = 405;
constexpr std::size_t error_text_size = 256;
// mg_check_feature()'s bit for IPv6; Debian 12's civetweb is built without it.
constexpr unsigned civetweb_ipv6 = 8;
const char *const allowed_methods = "GET, HEAD";
constexpr int shown_name_chars = 64;

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
    if (status == http_unauthorized)
        mg_response_header_add(connection, "WWW-Authenticate",
                               "Basic realm=\"velmar-exporter\", charset=\"UTF-8\"", -1);
    mg_response_header_send(connection);
    if (with_body)
        mg_write(connection, body.constData(), static_cast<std::size_t>(body.size()));
}

// A name a client sent, fit for one line of the log.
QString shown_name(const QByteArray &name)
{
    QString shown = QString::fromUtf8(name.left(shown_name_chars));
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return shown;
}

QString refusal_reason(Basic_auth::Verdict verdict, const QByteArray &user)
{
    switch (verdict) {
    case Basic_auth::Verdict::unknown_user:
        return Metrics_server::tr("unknown user '%1'").arg(shown_name(user));
    case Basic_auth::Verdict::wrong_password:
        return Metrics_server::tr("wrong password for user '%1'").arg(shown_name(user));
    case Basic_auth::Verdict::no_credentials:
    case Basic_auth::Verdict::granted:
        break;
    }
    return Metrics_server::tr("no user and password given");
}

} // namespace

Metrics_server::Metrics_server(const Metrics_snapshot &snapshot, const QByteArray &index_page,
                               const Web_config &web)
    : snapshot(snapshot), index_page(index_page), web(web), auth(web.users)
{
    mg_init_library(0);
}

Metrics_server::~Metrics_server()
{
    // What the front hands on goes to civetweb: the front stops first.
    front.reset();
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
    if (!web.tls)
        return start_civetweb(address);
    // Behind the front, on a port the system picks.
    Listen_address behind;
    behind.port = 0;
    if (!start_civetweb(behind))
        return false;
    front = std::make_unique<Tls_front>(*web.tls, refusals);
    if (!front->start(address, bound.port)) {
        error_text = front->error();
        tls_setup_failed = !front->binding_failed();
        return false;
    }
    return true;
}

bool Metrics_server::start_civetweb(const Listen_address &address)
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
    // The port the system picked, when it was asked to: the one to knock on.
    mg_server_port listening_port = {};
    mg_get_server_ports(context, 1, &listening_port);
    bound = address;
    bound.port = static_cast<quint16>(listening_port.port);
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

int Metrics_server::refuse(mg_connection *connection, const mg_request_info &request)
{
    QString source = QString::fromLatin1(request.remote_addr);
    if (front) {
        source = front->source_of(static_cast<quint16>(request.remote_port));
        // Straight to the loopback port, around TLS and its client certificates.
        if (source.isEmpty()) {
            respond(connection, http_forbidden, "text/plain; charset=utf-8",
                    QByteArrayLiteral("Only TLS connections are served.\n"), true);
            return http_forbidden;
        }
    }
    QByteArray user;
    const Basic_auth::Verdict verdict =
        auth.judge(QByteArray(mg_get_header(connection, "Authorization")), &user);
    if (verdict == Basic_auth::Verdict::granted)
        return 0;
    const QString line = refusals.note(source, QStringLiteral("password"),
                                       refusal_reason(verdict, user), Refusal_log::now_ms());
    if (!line.isEmpty())
        Console_output::error(line);
    respond(connection, http_unauthorized, "text/plain; charset=utf-8",
            QByteArrayLiteral("A user and password are needed.\n"), true);
    return http_unauthorized;
}

int Metrics_server::handle(mg_connection *connection, void *data)
{
    auto *server = static_cast<Metrics_server *>(data);
    const mg_request_info *request = mg_get_request_info(connection);
    const int refused = server->refuse(connection, *request);
    if (refused != 0)
        return refused;
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
