#include "exporter_rig.h"

#include <QtCore/QDir>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QUrl>
#include <QtNetwork/QNetworkReply>
#include <QtTest/QSignalSpy>

#include <cmath>
#include <limits>

namespace {

constexpr int long_silence_ms = 60000;

} // namespace

Exporter_rig::Exporter_rig()
{
    QDir(dir.path()).mkdir(QStringLiteral("by-id"));
}

Exporter_rig::~Exporter_rig()
{
    // Told to stop rather than killed: it ends its storage cleanly.
    if (prometheus)
        prometheus->terminate();
}

QString Exporter_rig::link(int index) const
{
    return dir.path() + QStringLiteral("/by-id/usb-unit-%1").arg(index);
}

Unit_simulator *Exporter_rig::add_unit()
{
    auto unit = std::make_unique<Unit_simulator>();
    unit->settings().drift = false;
    unit->set_link_path(link(unit_count()));
    if (!unit->start_on_pty())
        return nullptr;
    units.push_back(std::move(unit));
    return units.back().get();
}

QString Exporter_rig::write(const QString &name, const QByteArray &text) const
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

bool Exporter_rig::start_exporter(const QStringList &ports)
{
    QStringList watched{QStringLiteral("--port"), dir.path() + QStringLiteral("/by-id/usb-*")};
    for (const QString &more : ports)
        watched << QStringLiteral("--port") << more;
    port = unused_loopback_port();
    exporter = std::make_unique<Child_process>(QStringLiteral(VELMAR_EXPORTER_PATH));
    exporter->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    exporter->start(
        QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)} +
        watched);
    return QTest::qWaitFor(
               [this] {
                   int status = 0;
                   get(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port), &status);
                   return status == 200 || exporter->state() == QProcess::NotRunning;
               },
               wait_ms) &&
           exporter->state() == QProcess::Running;
}

QByteArray Exporter_rig::get(const QString &url, int *status)
{
    QNetworkReply *reply = network.get(QNetworkRequest(QUrl(url)));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(wait_ms);
    const QByteArray body = reply->readAll();
    if (status != nullptr)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return body;
}

void Exporter_rig::start_prometheus(const QString &scrape_configs)
{
    const QString config =
        write(QStringLiteral("prometheus.yml"),
              "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\nscrape_configs:\n" +
                  scrape_configs.toUtf8());
    prometheus_at = unused_loopback_port();
    prometheus = std::make_unique<Child_process>(QStringLiteral(VELMAR_PROMETHEUS_PATH));
    prometheus->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    prometheus->setWorkingDirectory(dir.path());
    prometheus->start({QStringLiteral("--config.file=") + config,
                       QStringLiteral("--storage.tsdb.path=") + dir.path() + "/data",
                       QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(prometheus_at),
                       QStringLiteral("--log.level=warn")});
}

QJsonArray Exporter_rig::results(const QString &expression)
{
    // Encoded in full: a + left as it is would arrive as a blank.
    const QString url = QStringLiteral("http://127.0.0.1:%1/api/v1/query?query=%2")
                            .arg(prometheus_at)
                            .arg(QString::fromLatin1(QUrl::toPercentEncoding(expression)));
    return QJsonDocument::fromJson(get(url)).object()["data"].toObject()["result"].toArray();
}

double Exporter_rig::query(const QString &expression)
{
    const QJsonArray result = results(expression);
    if (result.size() != 1)
        return std::numeric_limits<double>::quiet_NaN();
    return result[0].toObject()["value"].toArray()[1].toString().toDouble();
}

QString Exporter_rig::series(const char *name, int unit, const QString &more_labels) const
{
    return QStringLiteral("%1{port=\"%2\"%3}")
        .arg(QLatin1String(name), link(unit),
             more_labels.isEmpty() ? QString() : QLatin1Char(',') + more_labels);
}

double Exporter_rig::sample(const QByteArray &scraped, const char *name, int unit) const
{
    const QByteArray start = series(name, unit).toUtf8() + ' ';
    for (const QByteArray &line : scraped.split('\n')) {
        if (line.startsWith(start))
            return line.mid(start.size()).toDouble();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

bool Exporter_rig::quiesce(std::vector<qint64> *sent, std::vector<qint64> *counted)
{
    for (auto &unit : units)
        unit->silence(long_silence_ms);
    QByteArray scraped;
    const bool all_down = QTest::qWaitFor(
        [&] {
            scraped = scrape();
            for (int index = 0; index < unit_count(); ++index) {
                if (sample(scraped, "velmar_up", index) != 0)
                    return false;
            }
            return true;
        },
        wait_ms);
    sent->clear();
    counted->clear();
    for (int index = 0; index < unit_count(); ++index) {
        sent->push_back(unit(index).frames_sent());
        counted->push_back(std::llround(sample(scraped, "velmar_status_messages_total", index) +
                                        sample(scraped, "velmar_crc_mismatches_total", index)));
    }
    return all_down;
}

void Exporter_rig::resume()
{
    for (auto &unit : units)
        unit->silence(0);
}
