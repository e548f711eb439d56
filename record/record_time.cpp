#include "record/record_time.h"

#include <QtCore/QDateTime>

namespace {

constexpr qint64 ms_per_second = 1000;
constexpr qint64 seconds_per_day = 86400;
// 2026-12-06T15:53:27.123Z
constexpr int written_size = 24;

bool digits(const char *text, int count, int *value)
{
    int result = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
    }
    *value = result;
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (Howard Hinnant's algorithm).
qint64 days_from_civil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int year_of_era = year - era * 400;
    const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return qint64(era) * 146097 + day_of_era - 719468;
}

int days_in_month(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool parse_written(const char *t, qint64 *ms)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    const bool shaped = t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' &&
                        t[16] == ':' && t[19] == '.' && t[23] == 'Z';
    if (!shaped || !digits(t, 4, &year) || !digits(t + 5, 2, &month) || !digits(t + 8, 2, &day) ||
        !digits(t + 11, 2, &hour) || !digits(t + 14, 2, &minute) || !digits(t + 17, 2, &second) ||
        !digits(t + 20, 3, &milli))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    const qint64 seconds =
        days_from_civil(year, month, day) * seconds_per_day + hour * 3600 + minute * 60 + second;
    *ms = seconds * ms_per_second + milli;
    return true;
}

} // namespace

QString Record_time::text(qint64 ms_since_epoch)
{
    return QDateTime::fromMSecsSinceEpoch(ms_since_epoch, Qt::UTC).toString(Qt::ISODateWithMs);
}

bool Record_time::parse(const char *text, int size, qint64 *ms_since_epoch)
{
    if (size == written_size && parse_written(text, ms_since_epoch))
        return true;
    const QDateTime time =
        QDateTime::fromString(QString::fromLatin1(text, size), Qt::ISODateWithMs);
    // A time without a zone would be read as local time: not a record's.
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime)
        return false;
    *ms_since_epoch = time.toMSecsSinceEpoch();
    return true;
}
