#include "support/record_lines.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

QStringList csv_cells(const QString &row)
{
    QStringList cells{QString()};
    bool quoted = false;
    for (int i = 0; i < row.size(); ++i) {
        const QChar c = row.at(i);
        const bool doubled = i + 1 < row.size() && row.at(i + 1) == QLatin1Char('"');
        if (c == QLatin1Char('"') && quoted && doubled)
            cells.last().append(row.at(++i));
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c == QLatin1Char(',') && !quoted)
            cells.append(QString());
        else
            cells.last().append(c);
    }
    return cells;
}

QJsonValue json_at(QJsonValue value, const QStringList &path)
{
    for (const QString &part : path) {
        bool position = false;
        const int number = part.toInt(&position);
        value = position ? value.toArray().at(number - 1) : value.toObject().value(part);
    }
    return value;
}

QJsonValue json_literal(const QString &literal)
{
    const QByteArray array = '[' + literal.toUtf8() + ']';
    return QJsonDocument::fromJson(array).array().at(0);
}

QStringList json_leaf_names(const QJsonValue &value, const QString &prefix)
{
    const QString dot = prefix.isEmpty() ? prefix : prefix + QLatin1Char('.');
    QStringList names;
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            names += json_leaf_names(it.value(), dot + it.key());
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (int i = 0; i < array.size(); ++i)
            names += json_leaf_names(array.at(i), dot + QString::number(i + 1));
    } else {
        names.append(prefix);
    }
    return names;
}

QStringList record_events(const QStringList &json_lines)
{
    QStringList events;
    for (const QString &line : json_lines)
        events.append(QJsonDocument::fromJson(line.toUtf8())
                          .object()
                          .value(QStringLiteral("event"))
                          .toString());
    return events;
}
