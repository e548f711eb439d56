#include "exporter/exporter_config.h"

#include "session/port_url.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

namespace {

const QRegularExpression &unit_key()
{
    static const QRegularExpression key(QStringLiteral("^unit\\s+([A-Za-z0-9_.:-]+)$"));
    return key;
}

} // namespace

bool Exporter_config::parse(const QString &text, Exporter_config *config, QString *error)
{
    Exporter_config parsed;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int at = 0; at < lines.size(); ++at) {
        const QString line = lines[at].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        QString reason;
        if (equals < 0)
            reason = tr("expected NAME = VALUE, got '%1'").arg(line);
        else
            parsed.read_line(line.left(equals).trimmed(), line.mid(equals + 1).trimmed(), &reason);
        if (!reason.isEmpty()) {
            *error = tr("line %1: %2").arg(at + 1).arg(reason);
            return false;
        }
    }
    *config = parsed;
    return true;
}

bool Exporter_config::read_line(const QString &key, const QString &value, QString *error)
{
    if (value.isEmpty()) {
        *error = tr("'%1' has no value").arg(key);
        return false;
    }
    if (key == QLatin1String("listen")) {
        Listen_address address;
        if (!Listen_address::parse(value, &address, error))
            return false;
        listen = address;
        return true;
    }
    if (key == QLatin1String("baud")) {
        qint32 rate = 0;
        if (!parse_baud(value, &rate)) {
            *error = tr("baud: expected a positive number, got '%1'").arg(value);
            return false;
        }
        baud_rate = rate;
        return true;
    }
    const QRegularExpressionMatch unit = unit_key().match(key);
    if (key == QLatin1String("port") || unit.hasMatch()) {
        *error = Port_url::error_in(value);
        if (!error->isEmpty())
            return false;
    }
    if (key == QLatin1String("port")) {
        ports.emplace_back(value);
        return true;
    }
    if (unit.hasMatch()) {
        ports.emplace_back(value, unit.captured(1));
        return true;
    }
    *error = tr("unknown setting '%1' (listen, baud, port and unit NAME are known; a unit's name "
                "is letters, digits and _ . : -)")
                 .arg(key);
    return false;
}

bool Exporter_config::parse_baud(const QString &text, qint32 *baud_rate)
{
    bool ok = false;
    const qint32 rate = text.toInt(&ok);
    if (!ok || rate <= 0)
        return false;
    *baud_rate = rate;
    return true;
}
