#include "record/event_fields.h"

#include "protocol/control_payload.h"
#include "protocol/gain_law.h"
#include "protocol/status_words.h"
#include "record/record_start.h"
#include "record/record_time.h"

Event_fields::Fields Event_fields::of(const Record_start &start)
{
    return {
        {{QStringLiteral("program")}, Status_fields::literal(start.program)},
        {{QStringLiteral("program_version")}, Status_fields::literal(start.program_version)},
        {{QStringLiteral("port")}, Status_fields::literal(start.port)},
        {{QStringLiteral("baud_rate")}, QString::number(start.baud_rate)},
        {{QStringLiteral("record_version")}, QString::number(start.format_version)},
    };
}

Event_fields::Fields Event_fields::since(qint64 since_ms)
{
    return {{{QStringLiteral("since")},
             since_ms == no_time ? Status_fields::null()
                                 : Status_fields::literal(Record_time::text(since_ms))}};
}

Event_fields::Fields Event_fields::end(Record_end why)
{
    return {{{QStringLiteral("reason")}, Status_fields::literal(record_end_word(why))}};
}

Event_fields::Fields Event_fields::of(const Control_payload &sent)
{
    Fields fields;
    for (int input = 0; input < Unit_status::input_count; ++input) {
        const QString number = QString::number(Status_words::number(input));
        fields.push_back(
            {{QStringLiteral("dante"), QStringLiteral("inputs"), number, QStringLiteral("gain_db")},
             Status_words::gain_text(sent.gain_codes[input])});
    }
    fields.push_back({{QStringLiteral("threshold_dbm")}, QString::number(sent.threshold_dbm)});
    return fields;
}
