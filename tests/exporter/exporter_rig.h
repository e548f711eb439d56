#ifndef VELMAR_TESTS_EXPORTER_RIG_H
#define VELMAR_TESTS_EXPORTER_RIG_H

#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/ser2net_server.h"

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QNetworkAccessManager>

#include <memory>
#include <vector>

// Simulated units on pseudo-terminals behind links that one pattern matches,
// as adapters under /dev/serial/by-id/, and velmar-exporter watching the
// pattern as a child process. Everything waits with the event loop running,
// so the units keep talking.
class Exporter_rig
{
public:
    static constexpr int wait_ms = 10000;

    Exporter_rig();
    ~Exporter_rig();

    // A unit with exact values (no drift) behind the next link.
    Unit_simulator *add_unit();
    Unit_simulator &unit(int index) { return *units[static_cast<std::size_t>(index)]; }
    int unit_count() const { return static_cast<int>(units.size()); }
    QString link(int index) const;

    // Started on a free loopback port, watching the links' pattern and the
    // ports given; true once /metrics answers.
    bool start_exporter(const QStringList &ports = {});
    quint16 exporter_port() const { return port; }
    qint64 exporter_pid() const { return exporter->processId(); }

    // One GET with the loop running; status 0 when no answer came.
    QByteArray get(const QString &url, int *status = nullptr);
    QByteArray scrape() { return get(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port)); }
    // The series of a unit's port, with more labels after port="..."
    // (cage="sfp1").
    QString series(const char *name, int unit, const QString &more_labels = QString()) const;
    // The value of a unit's series in a scrape, NaN when the scrape has none.
    double sample(const QByteArray &scraped, const char *name, int unit) const;

    // A Prometheus server on a free loopback port, run in the rig's folder
    // with this configuration (the start of its file: every scrape a second).
    void start_prometheus(const QString &scrape_configs);
    // An instant query's result; its one value, NaN unless there is one.
    QJsonArray results(const QString &expression);
    double query(const QString &expression);
    quint16 prometheus_port() const { return prometheus_at; }

    // Silences every unit and waits until the exporter shows each down, so
    // that everything sent has been counted: true then, with each unit's
    // status frames sent and the frames the exporter counted (statuses
    // decoded and CRC mismatches).
    bool quiesce(std::vector<qint64> *sent, std::vector<qint64> *counted);
    void resume();

    QString folder() const { return dir.path(); }
    // The file's path in the rig's folder once it holds text; fails the
    // whole test otherwise.
    QString write(const QString &name, const QByteArray &text) const;

private:
    QTemporaryDir dir;
    std::vector<std::unique_ptr<Unit_simulator>> units;
    std::unique_ptr<Child_process> exporter;
    std::unique_ptr<Child_process> prometheus;
    quint16 prometheus_at = 0;
    QNetworkAccessManager network;
    quint16 port = 0;
};

#endif
