#include "exporter_rig.h"

#include <QtCore/QDir>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QTcpServer>
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

Exporter_rig::~Exporter_rig() = default;

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

quint16 Exporter_rig::free_port()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

bool Exporter_rig::start_exporter(const QStringList &watched)
{
    port = free_port();
    exporter = std::make_unique<Child_process>(QStringLiteral(VELMAR_EXPORTER_PATH));
    exporter->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    exporter->start(
        QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)} +
        (watched.isEmpty()
             ? QStringList{QStringLiteral("--port"), dir.path() + QStringLiteral("/by-id/usb-*")}
             : watched));
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

double Exporter_rig::sample(const QByteArray &scraped, const char *name, int unit,
                            const QString &more_labels) const
{
    QString start =
        QLatin1String(name) + QStringLiteral("{port=\"") + link(unit) + QLatin1Char('"');
    if (!more_labels.isEmpty())
        start += QLatin1Char(',') + more_labels;
    start += QStringLiteral("} ");
    const QStringList lines = QString::fromUtf8(scraped).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
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
