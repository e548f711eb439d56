#include "record/status_fields.h"

#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"
#include "protocol/status_words.h"
#include "protocol/unit_status.h"

namespace {

using S = Unit_status;

constexpr ushort first_printable = 0x20;

// Collects fields under a path prefix that grows and shrinks as the status
// is walked.
class Field_list
{
public:
    void enter(const QString &part) { prefix.append(part); }
    void enter(int index) { prefix.append(QString::number(Status_words::number(index))); }
    void leave() { prefix.removeLast(); }
    void add(const QString &key, const QString &value)
    {
        fields.push_back({prefix + QStringList{key}, value});
    }

    std::vector<Status_fields::Field> fields;

private:
    QStringList prefix;
};

QString number(int value)
{
    return QString::number(value);
}

// A Dante state as a yes/no question, null while the submodule reports nothing.
QString ok_or_null(S::Dante_state state)
{
    return state == S::Dante_state::not_reported
               ? Status_fields::null()
               : Status_fields::literal(state == S::Dante_state::ok);
}

void add_channel(Field_list &list, const S::Cage &cage, const S::Channel &channel)
{
    const QString power = Status_words::power_text(channel.power_tenths);
    list.add(QStringLiteral("direction"),
             Status_fields::literal(Status_words::word(channel.direction)));
    list.add(QStringLiteral("rx_power_dbm"),
             channel.direction == S::Direction::rx ? power : Status_fields::null());
    list.add(QStringLiteral("tx_power_dbm"),
             channel.direction == S::Direction::tx ? power : Status_fields::null());
    list.add(QStringLiteral("wavelength_nm"),
             cage.present() ? number(channel.wavelength_nm) : Status_fields::null());
}

void add_cage(Field_list &list, const S::Cage &cage)
{
    list.add(QStringLiteral("type"), Status_fields::literal(Status_words::word(cage.type)));
    list.add(QStringLiteral("present"), Status_fields::literal(cage.present()));
    list.add(QStringLiteral("temperature_c"),
             cage.present() ? number(cage.temperature_c) : Status_fields::null());
    list.enter(QStringLiteral("channels"));
    for (int index = 0; index < S::channel_count; ++index) {
        list.enter(index);
        add_channel(list, cage, cage.channels[index]);
        list.leave();
    }
    list.leave();
}

// A word, or null while the submodule reports nothing.
template <typename Enum> QString word_or_null(Enum value)
{
    const QLatin1String word = Status_words::word(value);
    return word.isEmpty() ? Status_fields::null() : Status_fields::literal(word);
}

void add_dante(Field_list &list, const S::Dante &dante)
{
    list.add(QStringLiteral("present"), Status_fields::literal(dante.present));
    for (int state = 0; state < S::dante_state_count; ++state)
        list.add(QString(Status_words::dante_state_key(state)) + QLatin1String("_ok"),
                 ok_or_null(dante.state(state)));
    list.add(QStringLiteral("mic"), word_or_null(dante.mic));
    list.enter(QStringLiteral("inputs"));
    for (int index = 0; index < S::input_count; ++index) {
        list.enter(index);
        list.add(QStringLiteral("type"), word_or_null(dante.inputs[index]));
        // Until the unit reports them, the gains are the tool's assumption, not the unit's.
        list.add(QStringLiteral("gain_db"), dante.gains_reported
                                                ? Status_words::gain_text(dante.gain_codes[index])
                                                : Status_fields::null());
        list.leave();
    }
    list.leave();
}

} // namespace

std::vector<Status_fields::Field> Status_fields::of(const Unit_status &status)
{
    Field_list list;
    list.add(QStringLiteral("version"), literal(Protocol_version::text(status.version)));
    list.add(QStringLiteral("rx_fault"), literal(status.rx_fault));
    list.add(QStringLiteral("tx_fault"), literal(status.tx_fault));
    list.add(QStringLiteral("overheat"), literal(status.overheat));
    list.enter(QStringLiteral("locks"));
    for (int row = 0; row < S::lock_count; ++row)
        list.add(number(Status_words::number(row)), literal(status.locks[row]));
    list.leave();
    list.enter(QStringLiteral("links"));
    list.add(QStringLiteral("valid"), literal(status.links_valid));
    for (int link = 0; link < S::link_count; ++link)
        list.add(Status_words::link_key(link), literal(status.link_up(link)));
    list.leave();
    list.enter(QStringLiteral("cages"));
    for (int cage = 0; cage < S::cage_count; ++cage) {
        list.enter(Status_words::cage_key(cage));
        add_cage(list, status.cages[cage]);
        list.leave();
    }
    list.leave();
    // The Dante block and the threshold are reported from 2.0 on only.
    const bool dante_reported = Protocol_version::takes_threshold(status.version);
    if (dante_reported) {
        list.enter(QStringLiteral("dante"));
        add_dante(list, status.dante);
        list.leave();
    } else {
        list.add(QStringLiteral("dante"), null());
    }
    list.add(QStringLiteral("threshold_dbm"),
             dante_reported ? number(status.threshold_dbm) : null());
    return list.fields;
}

bool Status_fields::read_alike(const Unit_status &a, const Unit_status &b)
{
    return a == b || of(a) == of(b);
}

QStringList Status_fields::names()
{
    // Which fields there are depends on the version only.
    static const QStringList all = [] {
        Unit_status full;
        full.version = Protocol_version::v2_0;
        QStringList names;
        for (const Field &field : of(full))
            names.append(field.name());
        return names;
    }();
    return all;
}

QString Status_fields::literal(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString Status_fields::literal(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(QLatin1Char('"'));
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted.append(QLatin1Char('\\')).append(c);
        else if (c.unicode() < first_printable)
            quoted.append(QStringLiteral("\\u%1").arg(static_cast<uint>(c.unicode()), 4, 16,
                                                      QLatin1Char('0')));
        else
            quoted.append(c);
    }
    quoted.append(QLatin1Char('"'));
    return quoted;
}

QString Status_fields::unquoted(const QString &literal)
{
    if (!literal.startsWith(QLatin1Char('"')))
        return literal;
    return literal.mid(1, literal.size() - 2);
}

const QString &Status_fields::null()
{
    static const QString text = QStringLiteral("null");
    return text;
}
