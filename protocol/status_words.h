#ifndef VELMAR_PROTOCOL_STATUS_WORDS_H
#define VELMAR_PROTOCOL_STATUS_WORDS_H

#include "protocol/unit_status.h"

#include <QtCore/QLatin1String>
#include <QtCore/QString>

#include <array>

// The words a person or a program outside the tool sees for a unit's status:
// the keys of the cages, links and Dante states, the names of the enumerations,
// the units, and the numbering of rows, channels and inputs. Records, the
// command line, the simulator's commands and the exporter's labels all spell
// them from here, so that a script written against one reads the others.
class Status_words
{
public:
    // Rows, channels and inputs count from 1 wherever a person sees them;
    // inside the code they are indexes from 0.
    static constexpr int first_number = 1;
    static constexpr int number(int index) { return index + first_number; }
    static constexpr int index(int number) { return number - first_number; }

    // "sfp1", "sfp2", "sfp_eth"
    static QLatin1String cage_key(int cage);
    // "SFP 1", "SFP 2", "SFP Eth", as the window's groups are titled
    static QLatin1String cage_title(int cage);
    // "f", "p1", "p2", by Unit_status::Link
    static QLatin1String link_key(int link);
    // "system", "sync", "link", by Unit_status::Dante_state_kind
    static QLatin1String dante_state_key(int state);

    // "none", "video", "ethernet", "other"
    static QLatin1String word(Unit_status::Cage_type type);
    // "none", "rx", "tx", "unassigned"
    static QLatin1String word(Unit_status::Direction direction);
    // "remote", "local"; empty while not reported
    static QLatin1String word(Unit_status::Mic_type mic);
    // "microphone", "line"; empty while not reported
    static QLatin1String word(Unit_status::Input_type input);

    // The words of an enumeration in the order of its values, so that a
    // word's place is its value.
    static const std::array<QLatin1String, 4> &cage_type_words();
    static const std::array<QLatin1String, 4> &direction_words();

    // The reverse of the above: false for a word that is none of them.
    static bool cage_from_key(const QString &key, int *cage);
    static bool from_word(const QString &word, Unit_status::Cage_type *type);
    static bool from_word(const QString &word, Unit_status::Direction *direction);
    static bool from_word(const QString &word, Unit_status::Mic_type *mic);
    static bool from_word(const QString &word, Unit_status::Input_type *input);

    // Optical powers travel in tenths of a dBm and are shown with one
    // decimal; gains are shown with two, as their editors hold them.
    static constexpr int power_tenths_per_dbm = 10;
    static constexpr int power_decimals = 1;
    static constexpr int gain_decimals = 2;
    static constexpr double dbm(int power_tenths)
    {
        return static_cast<double>(power_tenths) / power_tenths_per_dbm;
    }
    // "-14.2"
    static QString power_text(int power_tenths);
    // "47.00"
    static QString gain_text(uint8_t code);

    // Units as they follow a number.
    static QLatin1String dbm() { return QLatin1String("dBm"); }
    static QLatin1String db() { return QLatin1String("dB"); }
    static QLatin1String nm() { return QLatin1String("nm"); }
    static QLatin1String celsius() { return QLatin1String("C"); }
};

#endif
