#include "record/json_record_format.h"

#include "record/status_fields.h"

#include <vector>

namespace {

// Writes fields in order, opening and closing objects and arrays as their
// paths go; a part that is a number makes its container an array.
class Nesting_writer
{
public:
    explicit Nesting_writer(QString &out) : out(out) {}

    void write(const Status_fields::Field &field)
    {
        const QStringList &path = field.path;
        const int parents = path.size() - 1;
        int common = 0;
        while (common < static_cast<int>(open.size()) && common < parents &&
               open[common].key == path[common])
            ++common;
        while (static_cast<int>(open.size()) > common)
            close_one();
        for (int depth = common; depth < parents; ++depth) {
            const bool array = is_position(path[depth + 1]);
            write_key(path[depth]);
            out.append(array ? QLatin1Char('[') : QLatin1Char('{'));
            open.push_back({path[depth], array, false});
        }
        write_key(path.last());
        out.append(field.value);
    }

    void finish()
    {
        while (!open.empty())
            close_one();
    }

private:
    struct Container
    {
        QString key;
        bool array;
        bool has_items;
    };

    static bool is_position(const QString &part)
    {
        bool number = false;
        part.toInt(&number);
        return number;
    }

    // The root object already holds "time" and "event".
    void write_key(const QString &key)
    {
        const bool in_array = !open.empty() && open.back().array;
        const bool first = !open.empty() && !open.back().has_items;
        if (!first)
            out.append(QLatin1Char(','));
        if (!open.empty())
            open.back().has_items = true;
        if (!in_array)
            out.append(Status_fields::literal(key)).append(QLatin1Char(':'));
    }

    void close_one()
    {
        out.append(open.back().array ? QLatin1Char(']') : QLatin1Char('}'));
        open.pop_back();
    }

    QString &out;
    std::vector<Container> open;
};

} // namespace

QString Json_record_format::opening(const QDateTime &time, Record_event event)
{
    return QStringLiteral("{\"time\":\"%1\",\"event\":\"%2\"")
        .arg(time_text(time), record_event_name(event));
}

QString Json_record_format::status_line(const QDateTime &time, const Unit_status &status) const
{
    QString line = opening(time, Record_event::status);
    Nesting_writer writer(line);
    for (const Status_fields::Field &field : Status_fields::of(status))
        writer.write(field);
    writer.finish();
    line.append(QLatin1Char('}'));
    return line;
}

QString Json_record_format::event_fields_line(const QDateTime &time, Record_event event,
                                              const std::vector<Status_fields::Field> &fields) const
{
    QString line = opening(time, event);
    Nesting_writer writer(line);
    for (const Status_fields::Field &field : fields)
        writer.write(field);
    writer.finish();
    line.append(QLatin1Char('}'));
    return line;
}

QString Json_record_format::event_line(const QDateTime &time, Record_event event,
                                       const QString &detail) const
{
    QString line = opening(time, event);
    if (!detail.isEmpty())
        line.append(QStringLiteral(",\"detail\":")).append(Status_fields::literal(detail));
    line.append(QLatin1Char('}'));
    return line;
}
