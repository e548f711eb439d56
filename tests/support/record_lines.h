#ifndef VELMAR_TESTS_RECORD_LINES_H
#define VELMAR_TESTS_RECORD_LINES_H

#include <QtCore/QJsonValue>
#include <QtCore/QString>
#include <QtCore/QStringList>

// Reading the lines of a record as a script or a spreadsheet would.

// The cells of one CSV row, quotes taken off.
QStringList csv_cells(const QString &row);

// The value at a dotted path of a JSON record ("cages.sfp1.channels.1.direction",
// positions in arrays counting from 1); undefined where there is none.
QJsonValue json_at(QJsonValue value, const QStringList &path);
// A JSON literal (true, -14.2, "rx", null) as a value.
QJsonValue json_literal(const QString &literal);
// The dotted path of every value in a JSON object that is not an object or array.
QStringList json_leaf_names(const QJsonValue &value, const QString &prefix = QString());

// The "event" of each JSON record line, in order.
QStringList record_events(const QStringList &json_lines);

#endif
