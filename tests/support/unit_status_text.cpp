#include "support/unit_status_text.h"

#include "protocol/status_words.h"
#include "protocol/unit_status.h"

#include <QtTest/QtTest>

QStringList named_fields(const Unit_status &status)
{
    using S = Unit_status;
    static const QStringList dante_states{"not_reported", "fault", "ok"};
    QStringList fields{QStringLiteral("version=0x%1").arg(status.version, 2, 16, QLatin1Char('0')),
                       QStringLiteral("rx_fault=%1").arg(status.rx_fault),
                       QStringLiteral("tx_fault=%1").arg(status.tx_fault),
                       QStringLiteral("overheat=%1").arg(status.overheat),
                       QStringLiteral("link_valid=%1").arg(status.links_valid)};
    for (int row = 0; row < S::lock_count; ++row)
        fields << QStringLiteral("lock%1=%2").arg(Status_words::number(row)).arg(status.locks[row]);
    for (int link = 0; link < S::link_count; ++link)
        fields << QStringLiteral("link_%1=%2")
                      .arg(Status_words::link_key(link))
                      .arg(status.link_up(link));
    for (int index = 0; index < S::cage_count; ++index) {
        const S::Cage &cage = status.cages[index];
        const QString key = Status_words::cage_key(index) + QLatin1Char('.');
        fields << key + "type=" + Status_words::word(cage.type)
               << key + "temp_c=" + QString::number(cage.temperature_c);
        for (int channel = 0; channel < S::channel_count; ++channel) {
            const S::Channel &ch = cage.channels[channel];
            const QString n = QString::number(Status_words::number(channel));
            fields << key + "dir" + n + '=' + Status_words::word(ch.direction)
                   << key + "power" + n + '=' + QString::number(ch.power_tenths / 10.0, 'f', 1)
                   << key + "wl" + n + '=' + QString::number(ch.wavelength_nm)
                   << key + "flag" + n + '=' + QString::number(ch.flag);
        }
    }
    const S::Dante &dante = status.dante;
    fields << QStringLiteral("dante.present=%1").arg(dante.present)
           << "dante.mic=" + Status_words::word(dante.mic)
           << QStringLiteral("dante.gains_reported=%1").arg(dante.gains_reported);
    for (int state = 0; state < S::dante_state_count; ++state)
        fields << "dante." + Status_words::dante_state_key(state) + '=' +
                      dante_states.value(int(dante.state(state)));
    for (int input = 0; input < S::input_count; ++input) {
        const QString n = QString::number(Status_words::number(input));
        fields << "dante.input" + n + '=' + Status_words::word(dante.inputs[input])
               << "dante.gain" + n + '=' + QString::number(dante.gain_codes[input]);
    }
    return fields << QStringLiteral("threshold=%1").arg(status.threshold_dbm);
}

QStringList changed_fields(const Unit_status &base, const Unit_status &changed)
{
    const QStringList before = named_fields(base);
    QStringList differing;
    for (const QString &field : named_fields(changed))
        if (!before.contains(field))
            differing << field;
    return differing;
}

char *toString(const Unit_status &status)
{
    return QTest::toString(named_fields(status).join(QLatin1Char(' ')));
}
