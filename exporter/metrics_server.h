#ifndef VELMAR_EXPORTER_METRICS_SERVER_H
#define VELMAR_EXPORTER_METRICS_SERVER_H

#include "exporter/basic_auth.h"
#include "exporter/listen_address.h"
#include "exporter/refusal_log.h"
#include "exporter/web_config.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <memory>

struct mg_connection;
struct mg_context;
struct mg_request_info;
class Metrics_snapshot;
class Tls_front;

// Serves GET /metrics from the published snapshot and a small index page at
// /, on civetweb's own threads; any other path is 404, any other method on
// those two 405. The threads see nothing but the snapshot: they never touch
// the sessions, so no client, however slow, holds up the reading of a unit.
//
// With a web configuration, a request without a user and password it lists
// gets 401, and the refusal is logged once per client (Refusal_log); with
// TLS in it, the address given is served by a Tls_front and civetweb
// listens on the loopback behind it.
class Metrics_server
{
    Q_DECLARE_TR_FUNCTIONS(Metrics_server)

public:
    enum class Route
    {
        index,
        metrics,
        not_found,
        method_not_allowed,
    };

    // Bounds on what clients may take: a few threads, a request that has
    // not arrived whole within the time is dropped, and a request larger
    // than the size is refused. A scraper needs one thread and a few hundred
    // bytes.
    static constexpr int threads = 8;
    static constexpr int request_timeout_ms = 5000;
    static constexpr int max_request_bytes = 16384;

    Metrics_server(const Metrics_snapshot &snapshot, const QByteArray &index_page,
                   const Web_config &web = {});
    ~Metrics_server();
    Metrics_server(const Metrics_server &) = delete;
    Metrics_server &operator=(const Metrics_server &) = delete;

    // False when the address cannot be bound, or TLS cannot be set up with
    // the certificate and key given (tls_failed()); error() says why.
    bool start(const Listen_address &address);
    QString error() const { return error_text; }
    bool tls_failed() const { return tls_setup_failed; }

    static Route route(const QByteArray &method, const QByteArray &path);

private:
    static int handle(mg_connection *connection, void *server);
    static int ignore_log(const mg_connection *connection, const char *message);
    bool start_civetweb(const Listen_address &address);
    // The status of the refusal it answered, or 0 when the request may go on.
    int refuse(mg_connection *connection, const mg_request_info &request);

    const Metrics_snapshot &snapshot;
    const QByteArray index_page;
    const Web_config web;
    const Basic_auth auth;
    Refusal_log refusals;
    mg_context *context = nullptr;
    std::unique_ptr<Tls_front> front;
    Listen_address bound; // where start() listens, to knock on
    QString error_text;
    bool tls_setup_failed = false;
};

#endif
