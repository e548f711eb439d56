#include "protocol/status_words.h"

#include "protocol/gain_law.h"

#include <algorithm>

namespace {

using S = Unit_status;

const std::array<QLatin1String, S::cage_count> cage_keys{
    {QLatin1String("sfp1"), QLatin1String("sfp2"), QLatin1String("sfp_eth")}};
const std::array<QLatin1String, S::cage_count> cage_titles{
    {QLatin1String("SFP 1"), QLatin1String("SFP 2"), QLatin1String("SFP Eth")}};
const std::array<QLatin1String, S::link_count> link_keys{
    {QLatin1String("f"), QLatin1String("p1"), QLatin1String("p2")}};
const std::array<QLatin1String, S::dante_state_count> dante_state_keys{
    {QLatin1String("system"), QLatin1String("sync"), QLatin1String("link")}};

const std::array<QLatin1String, 4> cage_types{{QLatin1String("none"), QLatin1String("video"),
                                               QLatin1String("ethernet"), QLatin1String("other")}};
const std::array<QLatin1String, 4> directions{
    {QLatin1String("none"), QLatin1String("rx"), QLatin1String("tx"), QLatin1String("unassigned")}};
// Index 0 is "not reported", which has no word.
const std::array<QLatin1String, 3> mic_types{
    {QLatin1String(), QLatin1String("remote"), QLatin1String("local")}};
const std::array<QLatin1String, 3> input_types{
    {QLatin1String(), QLatin1String("microphone"), QLatin1String("line")}};

template <std::size_t size>
QLatin1String at(const std::array<QLatin1String, size> &words, int index)
{
    return index >= 0 && index < static_cast<int>(size) ? words[static_cast<std::size_t>(index)]
                                                        : QLatin1String();
}

// The place of a word in its list, or -1; the empty "not reported" never matches.
template <std::size_t size>
int place(const std::array<QLatin1String, size> &words, const QString &word)
{
    if (word.isEmpty())
        return -1;
    const auto found = std::find(words.begin(), words.end(), word);
    return found == words.end() ? -1 : static_cast<int>(found - words.begin());
}

template <typename Enum, std::size_t size>
bool enum_from(const std::array<QLatin1String, size> &words, const QString &word, Enum *value)
{
    const int index = place(words, word);
    if (index < 0)
        return false;
    *value = static_cast<Enum>(index);
    return true;
}

} // namespace

QLatin1String Status_words::cage_key(int cage)
{
    return at(cage_keys, cage);
}

QLatin1String Status_words::cage_title(int cage)
{
    return at(cage_titles, cage);
}

QLatin1String Status_words::link_key(int link)
{
    return at(link_keys, link);
}

QLatin1String Status_words::dante_state_key(int state)
{
    return at(dante_state_keys, state);
}

QLatin1String Status_words::word(Unit_status::Cage_type type)
{
    return at(cage_types, static_cast<int>(type));
}

QLatin1String Status_words::word(Unit_status::Direction direction)
{
    return at(directions, static_cast<int>(direction));
}

QLatin1String Status_words::word(Unit_status::Mic_type mic)
{
    return at(mic_types, static_cast<int>(mic));
}

QLatin1String Status_words::word(Unit_status::Input_type input)
{
    return at(input_types, static_cast<int>(input));
}

const std::array<QLatin1String, 4> &Status_words::cage_type_words()
{
    return cage_types;
}

const std::array<QLatin1String, 4> &Status_words::direction_words()
{
    return directions;
}

bool Status_words::cage_from_key(const QString &key, int *cage)
{
    const int index = place(cage_keys, key);
    if (index < 0)
        return false;
    *cage = index;
    return true;
}

bool Status_words::from_word(const QString &word, Unit_status::Cage_type *type)
{
    return enum_from(cage_types, word, type);
}

bool Status_words::from_word(const QString &word, Unit_status::Direction *direction)
{
    return enum_from(directions, word, direction);
}

bool Status_words::from_word(const QString &word, Unit_status::Mic_type *mic)
{
    return enum_from(mic_types, word, mic);
}

bool Status_words::from_word(const QString &word, Unit_status::Input_type *input)
{
    return enum_from(input_types, word, input);
}

QString Status_words::power_text(int power_tenths)
{
    return QString::number(dbm(power_tenths), 'f', power_decimals);
}

QString Status_words::gain_text(uint8_t code)
{
    return QString::number(Gain_law::to_db(code), 'f', gain_decimals);
}
