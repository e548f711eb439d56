#include "record/record_end.h"

QString record_end_word(Record_end end)
{
    switch (end) {
    case Record_end::done:
        return QStringLiteral("done");
    case Record_end::signal:
        return QStringLiteral("signal");
    case Record_end::closed:
        return QStringLiteral("closed");
    case Record_end::port_lost:
        return QStringLiteral("port_lost");
    case Record_end::no_status:
        return QStringLiteral("no_status");
    }
    return QString();
}
