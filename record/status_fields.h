#ifndef VELMAR_RECORD_STATUS_FIELDS_H
#define VELMAR_RECORD_STATUS_FIELDS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

class Unit_status;

// A decoded status as one ordered list of fields, the one table every record
// format is written from: JSON nests them by their paths, CSV makes a column
// of each, text prints them as name=value.
//
// A path's parts are object keys, or 1-based positions in an array ("locks",
// "2" is the lock of row 2). A value is a JSON literal: true, -14.2, "rx",
// null. What the unit did not report (a power of the other direction, the
// Dante block below 2.0) is null.
class Status_fields
{
public:
    struct Field
    {
        QStringList path;
        QString value;

        QString name() const { return path.join(QLatin1Char('.')); }
        bool operator==(const Field &other) const
        {
            return path == other.path && value == other.value;
        }
    };

    static std::vector<Field> of(const Unit_status &status);
    // Whether two statuses make the same record line apart from its time, in
    // every format: what a record does not show (the power of a channel of
    // no direction, the channel flags, ...) is no difference.
    static bool read_alike(const Unit_status &a, const Unit_status &b);
    // The names of every field a status can have, in order: the CSV header.
    static QStringList names();

    static QString literal(bool value);
    static QString literal(const QString &text);
    static const QString &null();
    // A string literal without its quotes (escapes left as they are); any
    // other literal as it is.
    static QString unquoted(const QString &literal);
};

#endif
