#include "simulator/sim_field.h"

#include "protocol/status_encoder.h"
#include "protocol/status_layout.h"
#include "protocol/status_words.h"
#include "protocol/unit_status.h"
#include "simulator/sim_settings.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QStringList>

#include <cmath>

namespace {

constexpr int byte_max = 255;
constexpr int int8_min = -128;
constexpr int int8_max = 127;
constexpr int nibble_max = 15;
constexpr int two_bit_max = 3;
constexpr int uint16_max = 65535;
constexpr double power_min_dbm = -3276.8;
constexpr double power_max_dbm = 3276.7;
constexpr int max_noise_bytes = 4096;
constexpr int max_ack_delay_ms = 60000;
constexpr int max_length_change = 255;
constexpr int default_short_cut = 1;
constexpr int default_long_extra = 2;

// ---- value parsers -------------------------------------------------------

bool parse_integer_text(const QString &text, long long *value)
{
    QString digits = text;
    bool negative = false;
    if (digits.startsWith(QLatin1Char('-'))) {
        negative = true;
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    } else if (digits.startsWith(QStringLiteral("0b"), Qt::CaseInsensitive)) {
        base = 2;
        digits.remove(0, 2);
    }
    if (digits.isEmpty() || digits.startsWith(QLatin1Char('-')) ||
        digits.startsWith(QLatin1Char('+')))
        return false;
    bool ok = false;
    const long long magnitude = digits.toLongLong(&ok, base);
    if (!ok)
        return false;
    *value = negative ? -magnitude : magnitude;
    return true;
}

Sim_field::Parser integer_in(int minimum, int maximum)
{
    return [minimum, maximum](const QString &text, double *value) {
        long long number = 0;
        if (!parse_integer_text(text, &number) || number < minimum || number > maximum)
            return false;
        *value = static_cast<double>(number);
        return true;
    };
}

Sim_field::Parser decimal_in(double minimum, double maximum)
{
    return [minimum, maximum](const QString &text, double *value) {
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (!ok || !std::isfinite(number) || number < minimum || number > maximum)
            return false;
        *value = number;
        return true;
    };
}

// A word of the list stands for its index; the index itself is taken too.
Sim_field::Parser word_or_index(const QStringList &words)
{
    return [words](const QString &text, double *value) {
        const int index = words.indexOf(text.toLower());
        if (index >= 0) {
            *value = index;
            return true;
        }
        return integer_in(0, words.size() - 1)(text, value);
    };
}

// An input's type; "mic" is still taken for the microphone, as it was once spelt here.
Sim_field::Parser input_type_value(const QStringList &words)
{
    return [words](const QString &text, double *value) {
        if (text.compare(QStringLiteral("mic"), Qt::CaseInsensitive) == 0) {
            *value = 0;
            return true;
        }
        return word_or_index(words)(text, value);
    };
}

Sim_field::Parser flag()
{
    static const QStringList off_words = {QStringLiteral("0"), QStringLiteral("off"),
                                          QStringLiteral("false"), QStringLiteral("no")};
    static const QStringList on_words = {QStringLiteral("1"), QStringLiteral("on"),
                                         QStringLiteral("true"), QStringLiteral("yes")};
    return [](const QString &text, double *value) {
        const QString word = text.toLower();
        if (off_words.contains(word) || on_words.contains(word)) {
            *value = on_words.contains(word) ? 1 : 0;
            return true;
        }
        return false;
    };
}

// "2.0" is major 2, minor 0, that is 0x20; anything else is a raw byte.
Sim_field::Parser version_value()
{
    return [](const QString &text, double *value) {
        const QStringList parts = text.split(QLatin1Char('.'));
        if (parts.size() == 2) {
            double major = 0;
            double minor = 0;
            if (!integer_in(0, nibble_max)(parts[0], &major) ||
                !integer_in(0, nibble_max)(parts[1], &minor))
                return false;
            *value = major * (nibble_max + 1) + minor;
            return true;
        }
        return integer_in(0, byte_max)(text, value);
    };
}

Sim_field::Parser rate_value()
{
    return [](const QString &text, double *value) {
        if (text.compare(QStringLiteral("max"), Qt::CaseInsensitive) == 0) {
            *value = Sim_settings::as_fast_as_possible;
            return true;
        }
        return integer_in(1, Sim_settings::max_paced_rate)(text, value);
    };
}

Sim_field::Parser length_change_value(int default_on)
{
    return [default_on](const QString &text, double *value) {
        double word = 0;
        if (integer_in(0, max_length_change)(text, value))
            return true;
        if (!flag()(text, &word))
            return false;
        *value = word != 0 ? default_on : 0;
        return true;
    };
}

// ---- value formatting ----------------------------------------------------

QString on_off(bool value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

QString zero_one(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString hex_byte(int value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

// ---- the table -----------------------------------------------------------

using Bool_member = bool Unit_status::*;

Sim_field make(const QString &name, const QString &value_help, const char *description,
               Sim_field::Parser parse, Sim_field::Setter set, Sim_field::Getter get)
{
    return Sim_field{name, name, value_help, description, parse, set, get};
}

Sim_field state_flag(const QString &name, Bool_member member, const char *description)
{
    return make(
        name, QStringLiteral("0|1"), description, flag(),
        [member](Unit_status &state, Sim_settings &, double value) { state.*member = value != 0; },
        [member](const Unit_status &state, const Sim_settings &) {
            return zero_one(state.*member);
        });
}

void add_general_fields(std::vector<Sim_field> &fields)
{
    fields.push_back(make(
        QStringLiteral("version"), QStringLiteral("1.0|1.1|2.0|BYTE"),
        QT_TRANSLATE_NOOP("Sim_field", "protocol version; any raw byte such as 0x12 or 0x30"),
        version_value(),
        [](Unit_status &state, Sim_settings &, double value) {
            state.version = static_cast<uint8_t>(value);
        },
        [](const Unit_status &state, const Sim_settings &) { return hex_byte(state.version); }));
    fields.push_back(state_flag(QStringLiteral("rx_fault"), &Unit_status::rx_fault,
                                QT_TRANSLATE_NOOP("Sim_field", "Rx fault indicator")));
    fields.push_back(state_flag(QStringLiteral("tx_fault"), &Unit_status::tx_fault,
                                QT_TRANSLATE_NOOP("Sim_field", "Tx fault indicator")));
    fields.push_back(state_flag(QStringLiteral("overheat"), &Unit_status::overheat,
                                QT_TRANSLATE_NOOP("Sim_field", "overheat indicator")));
    fields.push_back(make(
        QStringLiteral("lock"), QStringLiteral("0..15"),
        QT_TRANSLATE_NOOP("Sim_field", "the four lock bits as a mask, row 1 lowest (0b1011, 0xF)"),
        integer_in(0, nibble_max),
        [](Unit_status &state, Sim_settings &, double value) {
            for (int row = 0; row < Unit_status::lock_count; ++row)
                state.locks[row] = status::bit(static_cast<uint8_t>(value), row);
        },
        [](const Unit_status &state, const Sim_settings &) {
            QString bits;
            for (int row = Unit_status::lock_count - 1; row >= 0; --row)
                bits += zero_one(state.locks[row]);
            return QStringLiteral("0b") + bits;
        }));
    for (int row = 0; row < Unit_status::lock_count; ++row) {
        Sim_field field = make(
            QStringLiteral("lock%1").arg(Status_words::number(row)), QStringLiteral("0|1"),
            QT_TRANSLATE_NOOP("Sim_field", "lock bit of row N, 1..4"), flag(),
            [row](Unit_status &state, Sim_settings &, double value) {
                state.locks[row] = value != 0;
            },
            [row](const Unit_status &state, const Sim_settings &) {
                return zero_one(state.locks[row]);
            });
        field.help_name = QStringLiteral("lockN");
        fields.push_back(field);
    }
    fields.push_back(
        state_flag(QStringLiteral("link_valid"), &Unit_status::links_valid,
                   QT_TRANSLATE_NOOP("Sim_field", "the link bits are valid (from 1.1 on)")));
    fields.push_back(state_flag(QStringLiteral("link_f"), &Unit_status::link_f,
                                QT_TRANSLATE_NOOP("Sim_field", "link F up")));
    fields.push_back(state_flag(QStringLiteral("link_p1"), &Unit_status::link_p1,
                                QT_TRANSLATE_NOOP("Sim_field", "link P1 up")));
    fields.push_back(state_flag(QStringLiteral("link_p2"), &Unit_status::link_p2,
                                QT_TRANSLATE_NOOP("Sim_field", "link P2 up")));
}

template <std::size_t size> QStringList as_list(const std::array<QLatin1String, size> &words)
{
    QStringList list;
    for (const QLatin1String word : words)
        list.append(word);
    return list;
}

const QStringList &cage_type_words()
{
    static const QStringList words = as_list(Status_words::cage_type_words());
    return words;
}

const QStringList &direction_words()
{
    static const QStringList words = as_list(Status_words::direction_words());
    return words;
}

using Cage_setter = std::function<void(Unit_status::Cage &, double)>;
using Cage_getter = std::function<QString(const Unit_status::Cage &)>;

Sim_field cage_field(const QString &prefix, int cage, const QString &suffix,
                     const QString &value_help, const char *description, Sim_field::Parser parse,
                     Cage_setter set, Cage_getter get)
{
    Sim_field field = make(
        prefix + QLatin1Char('.') + suffix, value_help, description, parse,
        [cage, set](Unit_status &state, Sim_settings &, double value) {
            set(state.cages[cage], value);
        },
        [cage, get](const Unit_status &state, const Sim_settings &) {
            return get(state.cages[cage]);
        });
    field.help_name = QStringLiteral("CAGE.") + suffix;
    return field;
}

void add_channel_fields(std::vector<Sim_field> &fields, const QString &prefix, int cage,
                        int channel)
{
    const QString number = QString::number(Status_words::number(channel));
    Sim_field direction = cage_field(
        prefix, cage, QStringLiteral("dir") + number, direction_words().join(QLatin1Char('|')),
        QT_TRANSLATE_NOOP("Sim_field", "direction of optical channel N, 1..2"),
        word_or_index(direction_words()),
        [channel](Unit_status::Cage &c, double value) {
            c.channels[channel].direction = static_cast<Unit_status::Direction>(value);
        },
        [channel](const Unit_status::Cage &c) {
            return direction_words().at(static_cast<int>(c.channels[channel].direction));
        });
    direction.help_name = QStringLiteral("CAGE.dirN");
    fields.push_back(direction);

    Sim_field power = cage_field(
        prefix, cage, QStringLiteral("power") + number, QStringLiteral("DBM"),
        QT_TRANSLATE_NOOP("Sim_field", "optical power of channel N in dBm, one decimal"),
        decimal_in(power_min_dbm, power_max_dbm),
        [channel](Unit_status::Cage &c, double value) {
            c.channels[channel].power_tenths =
                static_cast<int16_t>(std::lround(value * Status_words::power_tenths_per_dbm));
        },
        [channel](const Unit_status::Cage &c) {
            return Status_words::power_text(c.channels[channel].power_tenths);
        });
    power.help_name = QStringLiteral("CAGE.powerN");
    fields.push_back(power);

    Sim_field wavelength = cage_field(
        prefix, cage, QStringLiteral("wl") + number, QStringLiteral("0..65535"),
        QT_TRANSLATE_NOOP("Sim_field", "wavelength of channel N in nm (sent from 1.1 on)"),
        integer_in(0, uint16_max),
        [channel](Unit_status::Cage &c, double value) {
            c.channels[channel].wavelength_nm = static_cast<uint16_t>(value);
        },
        [channel](const Unit_status::Cage &c) {
            return QString::number(c.channels[channel].wavelength_nm);
        });
    wavelength.help_name = QStringLiteral("CAGE.wlN");
    fields.push_back(wavelength);

    Sim_field channel_flag = cage_field(
        prefix, cage, QStringLiteral("flag") + number, QStringLiteral("0|1"),
        QT_TRANSLATE_NOOP("Sim_field", "flag of channel N (sent from 1.1 on)"), flag(),
        [channel](Unit_status::Cage &c, double value) { c.channels[channel].flag = value != 0; },
        [channel](const Unit_status::Cage &c) { return zero_one(c.channels[channel].flag); });
    channel_flag.help_name = QStringLiteral("CAGE.flagN");
    fields.push_back(channel_flag);
}

void add_cage_fields(std::vector<Sim_field> &fields)
{
    for (int cage = 0; cage < Unit_status::cage_count; ++cage) {
        const QString prefix = Status_words::cage_key(cage);
        fields.push_back(cage_field(
            prefix, cage, QStringLiteral("type"), cage_type_words().join(QLatin1Char('|')),
            QT_TRANSLATE_NOOP("Sim_field",
                              "module in CAGE: sfp1, sfp2 or sfp_eth (none: empty, no block)"),
            word_or_index(cage_type_words()),
            [](Unit_status::Cage &c, double value) {
                c.type = static_cast<Unit_status::Cage_type>(value);
            },
            [](const Unit_status::Cage &c) {
                return cage_type_words().at(static_cast<int>(c.type));
            }));
        fields.push_back(cage_field(
            prefix, cage, QStringLiteral("temp"), QStringLiteral("0..15"),
            QT_TRANSLATE_NOOP("Sim_field", "temperature code: 25 + 5 * code degrees C"),
            integer_in(0, nibble_max),
            [](Unit_status::Cage &c, double value) {
                c.temperature_c =
                    status::temperature_base + status::temperature_step * static_cast<int>(value);
            },
            [](const Unit_status::Cage &c) {
                return QString::number(Status_encoder::temperature_code(c.temperature_c));
            }));
        for (int channel = 0; channel < Unit_status::channel_count; ++channel)
            add_channel_fields(fields, prefix, cage, channel);
    }
}

// A Dante state reported as good (1) or bad (0).
template <typename Enum>
Sim_field dante_state(const QString &name, Enum Unit_status::Dante::*member, Enum good, Enum bad,
                      const QStringList &words, const QString &value_help, const char *description)
{
    return make(
        name, value_help, description, words.isEmpty() ? flag() : word_or_index(words),
        [member, good, bad](Unit_status &state, Sim_settings &, double value) {
            state.dante.*member = value != 0 ? good : bad;
        },
        [member, good, words](const Unit_status &state, const Sim_settings &) {
            const bool set = state.dante.*member == good;
            return words.isEmpty() ? zero_one(set) : words.at(set ? 1 : 0);
        });
}

void add_dante_fields(std::vector<Sim_field> &fields)
{
    using S = Unit_status;
    fields.push_back(make(
        QStringLiteral("dante.present"), QStringLiteral("0|1"),
        QT_TRANSLATE_NOOP("Sim_field", "Dante submodule fitted"), flag(),
        [](S &state, Sim_settings &, double value) { state.dante.present = value != 0; },
        [](const S &state, const Sim_settings &) { return zero_one(state.dante.present); }));
    fields.push_back(dante_state(QStringLiteral("dante.system"), &S::Dante::system,
                                 S::Dante_state::ok, S::Dante_state::fault, {},
                                 QStringLiteral("0|1"),
                                 QT_TRANSLATE_NOOP("Sim_field", "Dante system ok (0: error)")));
    fields.push_back(
        dante_state(QStringLiteral("dante.sync"), &S::Dante::sync, S::Dante_state::ok,
                    S::Dante_state::fault, {}, QStringLiteral("0|1"),
                    QT_TRANSLATE_NOOP("Sim_field", "Dante sync ok (0: not synchronised)")));
    fields.push_back(dante_state(QStringLiteral("dante.link"), &S::Dante::link, S::Dante_state::ok,
                                 S::Dante_state::fault, {}, QStringLiteral("0|1"),
                                 QT_TRANSLATE_NOOP("Sim_field", "Dante link ok (0: fault)")));
    static const QStringList mic_words = {Status_words::word(S::Mic_type::remote),
                                          Status_words::word(S::Mic_type::local)};
    fields.push_back(dante_state(QStringLiteral("dante.mic"), &S::Dante::mic, S::Mic_type::local,
                                 S::Mic_type::remote, mic_words, QStringLiteral("remote|local"),
                                 QT_TRANSLATE_NOOP("Sim_field", "microphone type")));
    static const QStringList input_words = {Status_words::word(S::Input_type::microphone),
                                            Status_words::word(S::Input_type::line)};
    for (int input = 0; input < S::input_count; ++input) {
        Sim_field field = make(
            QStringLiteral("dante.input%1").arg(Status_words::number(input)),
            input_words.join(QLatin1Char('|')),
            QT_TRANSLATE_NOOP("Sim_field", "type of audio input N, 1..2 (mic: microphone)"),
            input_type_value(input_words),
            [input](S &state, Sim_settings &, double value) {
                state.dante.inputs[input] =
                    value != 0 ? S::Input_type::line : S::Input_type::microphone;
            },
            [input](const S &state, const Sim_settings &) {
                return input_words.at(state.dante.inputs[input] == S::Input_type::line ? 1 : 0);
            });
        field.help_name = QStringLiteral("dante.inputN");
        fields.push_back(field);
    }
    fields.push_back(make(
        QStringLiteral("dante.invalid"), QStringLiteral("0|1"),
        QT_TRANSLATE_NOOP("Sim_field", "the submodule's message is invalid"), flag(),
        [](S &, Sim_settings &settings, double value) { settings.dante_invalid = value != 0; },
        [](const S &, const Sim_settings &settings) { return zero_one(settings.dante_invalid); }));
    for (int input = 0; input < S::input_count; ++input) {
        Sim_field field = make(
            QStringLiteral("dante.gain%1").arg(Status_words::number(input)),
            QStringLiteral("0..255"),
            QT_TRANSLATE_NOOP("Sim_field", "gain code of input N, 1..2: 23.0 + 0.75 * code dB"),
            integer_in(0, byte_max),
            [input](S &state, Sim_settings &, double value) {
                state.dante.gain_codes[input] = static_cast<uint8_t>(value);
            },
            [input](const S &state, const Sim_settings &) {
                return QString::number(state.dante.gain_codes[input]);
            });
        field.help_name = QStringLiteral("dante.gainN");
        fields.push_back(field);
    }
    fields.push_back(make(
        QStringLiteral("threshold"), QStringLiteral("-128..127"),
        QT_TRANSLATE_NOOP("Sim_field", "Rx-power fault threshold in dBm (sent from 2.0 on)"),
        integer_in(int8_min, int8_max),
        [](S &state, Sim_settings &, double value) {
            state.threshold_dbm = static_cast<int8_t>(value);
        },
        [](const S &state, const Sim_settings &) { return QString::number(state.threshold_dbm); }));
}

void add_line_settings(std::vector<Sim_field> &fields)
{
    fields.push_back(make(
        QStringLiteral("rate"), QStringLiteral("1..100000|max"),
        QT_TRANSLATE_NOOP("Sim_field", "status frames a second; max: as fast as the line takes"),
        rate_value(),
        [](Unit_status &, Sim_settings &settings, double value) {
            settings.rate = static_cast<int>(value);
        },
        [](const Unit_status &, const Sim_settings &settings) {
            return settings.rate == Sim_settings::as_fast_as_possible
                       ? QStringLiteral("max")
                       : QString::number(settings.rate);
        }));
    fields.push_back(make(
        QStringLiteral("ack"), QStringLiteral("on|off"),
        QT_TRANSLATE_NOOP("Sim_field", "acknowledge good control frames"), flag(),
        [](Unit_status &, Sim_settings &settings, double value) {
            settings.acknowledge = value != 0;
        },
        [](const Unit_status &, const Sim_settings &settings) {
            return on_off(settings.acknowledge);
        }));
    fields.push_back(make(
        QStringLiteral("apply"), QStringLiteral("on|off"),
        QT_TRANSLATE_NOOP("Sim_field",
                          "take the gains and threshold of good control frames; off: keep its "
                          "own values, acknowledged or not"),
        flag(),
        [](Unit_status &, Sim_settings &settings, double value) { settings.apply = value != 0; },
        [](const Unit_status &, const Sim_settings &settings) { return on_off(settings.apply); }));
    fields.push_back(make(
        QStringLiteral("ackdelay"), QStringLiteral("MS"),
        QT_TRANSLATE_NOOP("Sim_field",
                          "acknowledge in the first frame MS ms after the control frame"),
        integer_in(0, max_ack_delay_ms),
        [](Unit_status &, Sim_settings &settings, double value) {
            settings.ack_delay_ms = static_cast<int>(value);
        },
        [](const Unit_status &, const Sim_settings &settings) {
            return QString::number(settings.ack_delay_ms);
        }));
    fields.push_back(make(
        QStringLiteral("drift"), QStringLiteral("on|off"),
        QT_TRANSLATE_NOOP("Sim_field", "powers and temperatures wander slowly around their values"),
        flag(),
        [](Unit_status &, Sim_settings &settings, double value) { settings.drift = value != 0; },
        [](const Unit_status &, const Sim_settings &settings) { return on_off(settings.drift); }));
    fields.push_back(make(
        QStringLiteral("noise"), QStringLiteral("N"),
        QT_TRANSLATE_NOOP("Sim_field", "N random bytes (never \"P\") before every frame; 0: none"),
        integer_in(0, max_noise_bytes),
        [](Unit_status &, Sim_settings &settings, double value) {
            settings.noise_bytes = static_cast<int>(value);
        },
        [](const Unit_status &, const Sim_settings &settings) {
            return QString::number(settings.noise_bytes);
        }));
    fields.push_back(make(
        QStringLiteral("badcrc"), QStringLiteral("0..1"),
        QT_TRANSLATE_NOOP("Sim_field", "share of frames sent with a broken CRC (0.2: every fifth)"),
        decimal_in(0.0, 1.0),
        [](Unit_status &, Sim_settings &settings, double value) { settings.bad_crc_share = value; },
        [](const Unit_status &, const Sim_settings &settings) {
            return QString::number(settings.bad_crc_share);
        }));
    fields.push_back(make(
        QStringLiteral("short"), QStringLiteral("N|on|off"),
        QT_TRANSLATE_NOOP("Sim_field", "cut N bytes off every payload (on: 1); clears long"),
        length_change_value(default_short_cut),
        [](Unit_status &, Sim_settings &settings, double value) {
            // "short off" must not end a "long" that is in force.
            if (value != 0 || settings.payload_change < 0)
                settings.payload_change = -static_cast<int>(value);
        },
        [](const Unit_status &, const Sim_settings &settings) {
            return settings.payload_change < 0 ? QString::number(-settings.payload_change)
                                               : QStringLiteral("off");
        }));
    fields.push_back(make(
        QStringLiteral("long"), QStringLiteral("N|on|off"),
        QT_TRANSLATE_NOOP("Sim_field",
                          "append N zero bytes to every payload (on: 2); clears short"),
        length_change_value(default_long_extra),
        [](Unit_status &, Sim_settings &settings, double value) {
            if (value != 0 || settings.payload_change > 0)
                settings.payload_change = static_cast<int>(value);
        },
        [](const Unit_status &, const Sim_settings &settings) {
            return settings.payload_change > 0 ? QString::number(settings.payload_change)
                                               : QStringLiteral("off");
        }));
}

std::vector<Sim_field> make_table()
{
    std::vector<Sim_field> fields;
    add_general_fields(fields);
    add_cage_fields(fields);
    add_dante_fields(fields);
    add_line_settings(fields);
    return fields;
}

} // namespace

const std::vector<Sim_field> &Sim_field::all()
{
    static const std::vector<Sim_field> table = make_table();
    return table;
}

const Sim_field *Sim_field::find(const QString &name)
{
    const QString wanted = name.toLower();
    for (const Sim_field &field : all()) {
        if (field.name == wanted)
            return &field;
    }
    return nullptr;
}

QString Sim_field::translated_description() const
{
    return QCoreApplication::translate("Sim_field", description);
}
