#include "record/csv_record_format.h"

#include "record/status_fields.h"

#include <QtCore/QHash>

namespace {

const QLatin1Char separator(',');

} // namespace

QString Csv_record_format::header() const
{
    QStringList columns{QStringLiteral("time"), QStringLiteral("event")};
    columns += Status_fields::names();
    columns.append(QStringLiteral("detail"));
    return columns.join(separator);
}

QString Csv_record_format::status_line(const QDateTime &time, const Unit_status &status) const
{
    return event_fields_line(time, Record_event::status, Status_fields::of(status));
}

// Fields with a column of their own fill it (the gains and threshold sent);
// the others (a start's program, a silence's since) go to the detail as
// name=value, as the text format writes them.
QString Csv_record_format::event_fields_line(const QDateTime &time, Record_event event,
                                             const std::vector<Status_fields::Field> &fields) const
{
    const QStringList &names = Status_fields::names();
    QHash<QString, QString> values;
    QStringList detail;
    for (const Status_fields::Field &field : fields) {
        const QString name = field.name();
        if (names.contains(name))
            values.insert(name, field.value);
        else if (field.value != Status_fields::null())
            detail.append(name + QLatin1Char('=') + Status_fields::unquoted(field.value));
    }
    QStringList cells{time_text(time), record_event_name(event)};
    for (const QString &name : names)
        cells.append(cell_of_literal(values.value(name, Status_fields::null())));
    cells.append(cell(detail.join(QLatin1Char(' '))));
    return cells.join(separator);
}

QString Csv_record_format::event_line(const QDateTime &time, Record_event event,
                                      const QString &detail) const
{
    QStringList cells{time_text(time), record_event_name(event)};
    for (int column = 0; column < Status_fields::names().size(); ++column)
        cells.append(QString());
    cells.append(cell(detail));
    return cells.join(separator);
}

// Quoted only when it has to be, as spreadsheets write it.
QString Csv_record_format::cell(const QString &text)
{
    if (!text.contains(separator) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A JSON literal as a cell: null is empty, a string loses its quotes.
QString Csv_record_format::cell_of_literal(const QString &literal)
{
    if (literal == Status_fields::null())
        return QString();
    if (literal.startsWith(QLatin1Char('"')))
        return cell(literal.mid(1, literal.size() - 2));
    return literal;
}
