#ifndef VELMAR_EXPORTER_METRICS_SERVER_H
#define VELMAR_EXPORTER_METRICS_SERVER_H

#include "exporter/listen_address.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QString>

struct mg_connection;
struct mg_context;
class Metrics_snapshot;

// Serves GET /metrics from the published snapshot and a small index page at
// /, on civetweb's own threads; any other path is 404, any other method on
// those two 405. The threads see nothing but the snapshot: they never touch
// the sessions, so no client, however slow, holds up the reading of a unit.
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

    Metrics_server(const Metrics_snapshot &snapshot, const QByteArray &index_page);
    ~Metrics_server();
    Metrics_server(const Metrics_server &) = delete;
    Metrics_server &operator=(const Metrics_server &) = delete;

    // False when the address cannot be bound; error() says why.
    bool start(const Listen_address &address);
    QString error() const { return error_text; }

    static Route route(const QByteArray &method, const QByteArray &path);

private:
    static int handle(mg_connection *connection, void *server);
    static int ignore_log(const mg_connection *connection, const char *message);

    const Metrics_snapshot &snapshot;
    const QByteArray index_page;
    mg_context *context = nullptr;
    Listen_address bound; // where start() listens, to knock on
    QString error_text;
};

#endif
