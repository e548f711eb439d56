#include "record/record_format.h"

#include "record/csv_record_format.h"
#include "record/json_record_format.h"
#include "record/text_record_format.h"

std::unique_ptr<Record_format> Record_format::make(Kind kind)
{
    switch (kind) {
    case Kind::json:
        return std::make_unique<Json_record_format>();
    case Kind::csv:
        return std::make_unique<Csv_record_format>();
    case Kind::text:
        return std::make_unique<Text_record_format>();
    }
    return nullptr;
}

bool Record_format::kind_from_name(const QString &name, Kind *kind)
{
    const struct
    {
        const char *name;
        Kind kind;
    } kinds[] = {{"json", Kind::json}, {"csv", Kind::csv}, {"text", Kind::text}};
    for (const auto &entry : kinds) {
        if (name == QLatin1String(entry.name)) {
            *kind = entry.kind;
            return true;
        }
    }
    return false;
}

Record_format::~Record_format() = default;

QString Record_format::header() const
{
    return QString();
}

QString Record_format::time_text(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}
