#include "support/unit_status_text.h"

#include "protocol/unit_status.h"

#include <QtTest/QtTest>

namespace {

QString numbers(std::initializer_list<int> values)
{
    QStringList words;
    for (const int value : values)
        words << QString::number(value);
    return words.join(QLatin1Char(' '));
}

template <typename Enum> int code(Enum value)
{
    return static_cast<int>(value);
}

} // namespace

QStringList status_lines(const Unit_status &status)
{
    QStringList lines;
    for (const Unit_status::Cage &cage : status.cages) {
        const auto &ch = cage.channels;
        lines << numbers({code(cage.type), code(ch[0].direction), code(ch[1].direction),
                          cage.temperature_c, ch[0].power_tenths, ch[1].power_tenths,
                          ch[0].wavelength_nm, ch[1].wavelength_nm, ch[0].flag, ch[1].flag});
    }
    const Unit_status::Dante &d = status.dante;
    lines << numbers({d.present, code(d.system), code(d.sync), code(d.link), code(d.mic),
                      code(d.inputs[0]), code(d.inputs[1]), d.gain_codes[0], d.gain_codes[1]});
    const auto &locks = status.locks;
    lines << QStringLiteral("0x%1 ").arg(status.version, 2, 16, QLatin1Char('0')) +
                 numbers({status.rx_fault, status.tx_fault, status.overheat, locks[0], locks[1],
                          locks[2], locks[3], status.links_valid, status.link_f, status.link_p1,
                          status.link_p2, status.threshold_dbm});
    return lines;
}

char *toString(const Unit_status &status)
{
    return QTest::toString(status_lines(status).join(QStringLiteral(" | ")));
}
