#include "exporter/metrics_text.h"

#include "protocol/protocol_version.h"
#include "protocol/status_judgement.h"
#include "protocol/status_words.h"
#include "record/status_fields.h"

#include <QtCore/QHash>
#include <QtCore/QLatin1String>
#include <QtCore/QLocale>
#include <QtCore/QStringList>

#include <array>

namespace {

using S = Unit_status;

enum Family
{
    up,
    port_open,
    protocol_version_info,
    rx_fault,
    tx_fault,
    overheat,
    lock,
    link_up,
    sfp_present,
    sfp_temperature,
    sfp_rx_power,
    sfp_tx_power,
    sfp_wavelength,
    dante_present,
    dante_ok,
    dante_gain,
    rx_power_threshold,
    status_messages,
    crc_mismatches,
    short_messages,
    silences,
    port_losses,
    last_status_timestamp,
    rx_power_below_threshold,
    pattern_matches,
    family_count
};

struct Family_text
{
    const char *name;
    const char *type;
    const char *help;
};

// Dashboards and alert rules are written against these names: a rename
// breaks every site's, and goes in the changelog.
constexpr std::array<Family_text, family_count> families{{
    {"velmar_up", "gauge",
     "1 while the unit's status messages arrive, 0 while it is silent or its port is lost."},
    {"velmar_port_open", "gauge", "1 while the serial port is open."},
    {"velmar_protocol_version_info", "gauge", "The protocol version the unit speaks, as a label."},
    {"velmar_rx_fault", "gauge", "1 while the unit reports an Rx fault."},
    {"velmar_tx_fault", "gauge", "1 while the unit reports a Tx fault."},
    {"velmar_overheat", "gauge", "1 while the unit reports overheating."},
    {"velmar_lock", "gauge", "1 while the input/output row is locked."},
    {"velmar_link_up", "gauge", "1 while the link is up."},
    {"velmar_sfp_present", "gauge", "1 while a module sits in the SFP cage."},
    {"velmar_sfp_temperature_celsius", "gauge", "Temperature of the module in the SFP cage."},
    {"velmar_sfp_rx_power_dbm", "gauge", "Optical power received on the channel of an SFP module."},
    {"velmar_sfp_tx_power_dbm", "gauge",
     "Optical power transmitted on the channel of an SFP module."},
    {"velmar_sfp_wavelength_meters", "gauge", "Wavelength of the channel of an SFP module."},
    {"velmar_dante_present", "gauge", "1 while the Dante audio submodule is present."},
    {"velmar_dante_ok", "gauge", "1 while the Dante submodule reports the state good."},
    {"velmar_dante_gain_db", "gauge", "Gain of the Dante input as set in the unit."},
    {"velmar_rx_power_threshold_dbm", "gauge",
     "The unit's Rx-power fault threshold: a received power below it is a fault."},
    {"velmar_status_messages_total", "counter", "Status messages decoded."},
    {"velmar_crc_mismatches_total", "counter", "Frames whose CRC did not match."},
    {"velmar_short_messages_total", "counter", "Status messages too short for their version."},
    {"velmar_silences_total", "counter",
     "Times the unit fell silent (a second without a status) while its port stayed open."},
    {"velmar_port_losses_total", "counter", "Times the serial port was lost."},
    {"velmar_last_status_timestamp_seconds", "gauge",
     "When the last status message was decoded, in seconds since the epoch."},
    {"velmar_rx_power_below_threshold", "gauge",
     "1 while the channel's received power is below the unit's own threshold, as the window "
     "and the report judge it."},
    {"velmar_pattern_matches", "gauge",
     "Ports that a port or unit line of the configuration matches now."},
}};

constexpr double ms_per_second = 1000.0;
// The record keeps nanometres, as data sheets state a wavelength; metrics
// are in base units.
constexpr double nm_per_metre = 1e9;
constexpr int timestamp_decimals = 3;

// Where a field of the record goes: the metric and the labels beside the port's.
struct Sample_place
{
    Family family = family_count;
    QByteArray labels;        // e.g. cage="sfp1",channel="2"
    double per_base_unit = 1; // how many of the record's units make the metric's one
};

QByteArray label(const char *name, const QString &value)
{
    return QByteArray(name) + "=\"" + Metrics_text::label_value(value) + '"';
}

QByteArray label(const char *name, int number)
{
    return label(name, QString::number(number));
}

QString joined(const QStringList &parts)
{
    return parts.join(QLatin1Char('.'));
}

QString number_text(int index)
{
    return QString::number(Status_words::number(index));
}

// The record's field names, spelled from the same words, mapped to metrics.
QHash<QString, Sample_place> make_places()
{
    QHash<QString, Sample_place> places;
    const auto place = [&places](const QStringList &path, Family family,
                                 const QByteArray &labels = QByteArray(),
                                 double per_base_unit = 1) {
        places.insert(joined(path), Sample_place{family, labels, per_base_unit});
    };
    place({QStringLiteral("rx_fault")}, rx_fault);
    place({QStringLiteral("tx_fault")}, tx_fault);
    place({QStringLiteral("overheat")}, overheat);
    for (int row = 0; row < S::lock_count; ++row)
        place({QStringLiteral("locks"), number_text(row)}, lock,
              label("row", Status_words::number(row)));
    for (int link = 0; link < S::link_count; ++link) {
        const QString key = Status_words::link_key(link);
        place({QStringLiteral("links"), key}, link_up, label("link", key));
    }
    for (int cage = 0; cage < S::cage_count; ++cage) {
        const QString key = Status_words::cage_key(cage);
        const QStringList at{QStringLiteral("cages"), key};
        place(at + QStringList{QStringLiteral("present")}, sfp_present, label("cage", key));
        place(at + QStringList{QStringLiteral("temperature_c")}, sfp_temperature,
              label("cage", key));
        for (int channel = 0; channel < S::channel_count; ++channel) {
            const QStringList channel_at =
                at + QStringList{QStringLiteral("channels"), number_text(channel)};
            const QByteArray labels =
                label("cage", key) + ',' + label("channel", Status_words::number(channel));
            place(channel_at + QStringList{QStringLiteral("rx_power_dbm")}, sfp_rx_power, labels);
            place(channel_at + QStringList{QStringLiteral("tx_power_dbm")}, sfp_tx_power, labels);
            place(channel_at + QStringList{QStringLiteral("wavelength_nm")}, sfp_wavelength, labels,
                  nm_per_metre);
        }
    }
    place({QStringLiteral("dante"), QStringLiteral("present")}, dante_present);
    for (int state = 0; state < S::dante_state_count; ++state) {
        const QString key = Status_words::dante_state_key(state);
        place({QStringLiteral("dante"), key + QLatin1String("_ok")}, dante_ok, label("state", key));
    }
    for (int input = 0; input < S::input_count; ++input)
        place({QStringLiteral("dante"), QStringLiteral("inputs"), number_text(input),
               QStringLiteral("gain_db")},
              dante_gain, label("input", Status_words::number(input)));
    place({QStringLiteral("threshold_dbm")}, rx_power_threshold);
    return places;
}

const QHash<QString, Sample_place> &places()
{
    static const QHash<QString, Sample_place> all = make_places();
    return all;
}

// A record literal as a sample value: true and false as 1 and 0, numbers as
// they are. Anything else (a quoted word) has no number to show.
bool sample_value(const QString &literal, QByteArray *value)
{
    if (literal == Status_fields::literal(true)) {
        *value = QByteArrayLiteral("1");
        return true;
    }
    if (literal == Status_fields::literal(false)) {
        *value = QByteArrayLiteral("0");
        return true;
    }
    bool number = false;
    literal.toDouble(&number);
    if (number)
        *value = literal.toLatin1();
    return number;
}

class Sample_lists
{
public:
    // Labels come in as name="value" pairs already escaped, the port's first.
    void add(Family family, const QByteArray &labels, const QByteArray &value)
    {
        QByteArray &list = lists[family];
        list += families[family].name;
        list += '{';
        list += labels;
        list += "} ";
        list += value;
        list += '\n';
    }

    QByteArray text() const
    {
        QByteArray text;
        for (int family = 0; family < family_count; ++family) {
            if (lists[family].isEmpty())
                continue;
            const Family_text &names = families[family];
            text += QByteArray("# HELP ") + names.name + ' ' + names.help + '\n';
            text += QByteArray("# TYPE ") + names.name + ' ' + names.type + '\n';
            text += lists[family];
        }
        return text;
    }

private:
    std::array<QByteArray, family_count> lists;
};

QByteArray flag(bool value)
{
    return value ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
}

QByteArray with(const QByteArray &port_labels, const QByteArray &more)
{
    return more.isEmpty() ? port_labels : port_labels + ',' + more;
}

// The judgement itself, not a comparison left to the alert rule: the rule,
// the window and the report then cannot disagree about a power equal to the
// threshold. Only an Rx channel of a unit that reports its threshold has one.
void add_below_threshold(Sample_lists &lists, const QByteArray &port_labels,
                         const Unit_status &status)
{
    for (int cage = 0; cage < S::cage_count; ++cage) {
        for (int channel = 0; channel < S::channel_count; ++channel) {
            const Status_judgement::Finding below = Status_judgement::rx_below(status, cage, channel);
            if (!Status_judgement::receives(status, cage, channel) ||
                below == Status_judgement::Finding::not_judged)
                continue;
            const QByteArray labels = label("cage", QString(Status_words::cage_key(cage))) + ',' +
                                      label("channel", Status_words::number(channel));
            lists.add(rx_power_below_threshold, with(port_labels, labels),
                      flag(below == Status_judgement::Finding::shown));
        }
    }
}

void add_status(Sample_lists &lists, const QByteArray &port_labels, const Unit_status &status)
{
    lists.add(protocol_version_info,
              with(port_labels, label("version", Protocol_version::text(status.version))),
              QByteArrayLiteral("1"));
    const auto fields = Status_fields::of(status);
    QByteArray value;
    for (const Status_fields::Field &field : fields) {
        const auto place = places().constFind(field.name());
        if (place == places().constEnd() || field.value == Status_fields::null())
            continue;
        if (!sample_value(field.value, &value))
            continue;
        if (place->per_base_unit != 1)
            value = QString::number(value.toDouble() / place->per_base_unit, 'g',
                                    QLocale::FloatingPointShortest)
                        .toLatin1();
        lists.add(place->family, with(port_labels, place->labels), value);
    }
    add_below_threshold(lists, port_labels, status);
}

void add_reading(Sample_lists &lists, const Unit_reading &reading)
{
    QByteArray port_labels = label("port", reading.port);
    if (!reading.unit.isEmpty())
        port_labels += ',' + label("unit", reading.unit);
    lists.add(up, port_labels, flag(reading.up()));
    lists.add(port_open, port_labels, flag(reading.port_open));
    if (reading.status)
        add_status(lists, port_labels, *reading.status);
    lists.add(status_messages, port_labels, QByteArray::number(reading.status_messages));
    lists.add(crc_mismatches, port_labels, QByteArray::number(reading.crc_mismatches));
    lists.add(short_messages, port_labels, QByteArray::number(reading.short_messages));
    lists.add(silences, port_labels, QByteArray::number(reading.silences));
    lists.add(port_losses, port_labels, QByteArray::number(reading.port_losses));
    if (reading.last_status_ms != Unit_reading::never)
        lists.add(
            last_status_timestamp, port_labels,
            QByteArray::number(reading.last_status_ms / ms_per_second, 'f', timestamp_decimals));
}

} // namespace

QByteArray Metrics_text::render(const std::vector<Unit_reading> &readings,
                                const std::vector<Pattern_count> &patterns)
{
    Sample_lists lists;
    for (const Unit_reading &reading : readings)
        add_reading(lists, reading);
    for (const Pattern_count &pattern : patterns)
        lists.add(pattern_matches, label("pattern", pattern.pattern),
                  QByteArray::number(pattern.matches));
    return lists.text();
}

QByteArray Metrics_text::label_value(const QString &text)
{
    QByteArray escaped;
    const QByteArray utf8 = text.toUtf8();
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\' || c == '"')
            escaped.append('\\').append(c);
        else if (c == '\n')
            escaped.append("\\n");
        else
            escaped.append(c);
    }
    return escaped;
}
