#include "simulator/sim_command.h"

#include "simulator/sim_field.h"

#include <QtCore/QRegularExpression>

#include <algorithm>

namespace {

const QString &set_word()
{
    static const QString word = QStringLiteral("set");
    return word;
}

} // namespace

Sim_command Sim_command::parse(const QString &line)
{
    // "#" starts a comment, on a line of its own or after a command; no
    // value contains one.
    const QString trimmed = line.section(QLatin1Char('#'), 0, 0).trimmed();
    if (trimmed.isEmpty())
        return Sim_command();

    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words = trimmed.split(blanks);
    const QString verb = words.first().toLower();
    if (verb == QLatin1String("silence"))
        return parse_duration(Action::silence, words);
    if (verb == QLatin1String("unplug"))
        return parse_duration(Action::unplug, words);
    if (verb == QLatin1String("show"))
        return parse_bare(Action::show, words);
    if (verb == QLatin1String("line"))
        return parse_bare(Action::line, words);
    if (verb == QLatin1String("reset"))
        return parse_bare(Action::reset, words);
    if (verb == QLatin1String("help"))
        return parse_bare(Action::help, words);
    if (verb == QLatin1String("quit"))
        return parse_bare(Action::quit, words);
    if (verb == set_word())
        words.removeFirst();
    return parse_assignment(words);
}

QString Sim_command::unknown_name(const QString &name)
{
    // The inputs were once numbered from 0 here; dante.gain1 now means the
    // first input, so a 0 is answered rather than quietly mistaken.
    static const QRegularExpression zero_based(QStringLiteral("^dante\\.(gain|input)0$"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (zero_based.match(name).hasMatch())
        return tr("unknown field '%1': the inputs are numbered 1 and 2").arg(name);
    return tr("unknown command or field '%1' (try help)").arg(name);
}

Sim_command Sim_command::invalid(const QString &error)
{
    Sim_command command;
    command.error_text = error;
    return command;
}

Sim_command Sim_command::parse_assignment(const QStringList &words)
{
    if (words.isEmpty())
        return invalid(tr("set: expected a name and a value"));
    const Sim_field *target = Sim_field::find(words.first());
    if (target == nullptr)
        return invalid(unknown_name(words.first()));
    if (words.size() != 2)
        return invalid(tr("%1: expected one value, %2").arg(target->name, target->value_help));

    Sim_command command;
    if (!target->parse(words[1], &command.value))
        return invalid(
            tr("%1: bad value '%2', expected %3").arg(target->name, words[1], target->value_help));
    command.what = Action::assign;
    command.field = target;
    return command;
}

Sim_command Sim_command::parse_duration(Action action, const QStringList &words)
{
    bool ok = words.size() == 2;
    const int ms = ok ? words[1].toInt(&ok) : 0;
    if (!ok || ms < 0 || ms > max_silence_ms)
        return invalid(tr("%1: expected a time in ms, 0..%2")
                           .arg(words.first().toLower())
                           .arg(max_silence_ms));
    Sim_command command;
    command.what = action;
    command.silence_duration = ms;
    return command;
}

Sim_command Sim_command::parse_bare(Action action, const QStringList &words)
{
    if (words.size() != 1)
        return invalid(tr("%1: takes no value").arg(words.first().toLower()));
    Sim_command command;
    command.what = action;
    return command;
}

void Sim_command::apply(Unit_status &state, Sim_settings &settings) const
{
    if (what == Action::assign && field != nullptr)
        field->set(state, settings, value);
}

QString Sim_command::help_text()
{
    QStringList listed;
    QList<QPair<QString, QString>> rows;
    for (const Sim_field &field : Sim_field::all()) {
        if (listed.contains(field.help_name))
            continue;
        listed.append(field.help_name);
        rows.append({field.help_name + QLatin1Char(' ') + field.value_help,
                     field.translated_description()});
    }
    rows.append({QStringLiteral("silence MS"), tr("send nothing for MS milliseconds")});
    rows.append({QStringLiteral("unplug MS"),
                 tr("take the line away for MS milliseconds, then offer a new one")});
    rows.append({QStringLiteral("show"), tr("print the current state as commands")});
    rows.append(
        {QStringLiteral("line"), tr("print the line's rate and format as the other end set them")});
    rows.append({QStringLiteral("reset"), tr("back to the healthy 2.0 unit")});
    rows.append({QStringLiteral("help"), tr("this list")});
    rows.append({QStringLiteral("quit"), tr("stop the simulator")});

    int width = 0;
    for (const auto &row : rows)
        width = std::max(width, static_cast<int>(row.first.size()));
    QString text = tr("Commands, one a line ([set] NAME VALUE; numbers may be 0x.. or 0b..):\n");
    for (const auto &row : rows)
        text += QStringLiteral("  %1  %2\n").arg(row.first, -width).arg(row.second);
    return text;
}

QStringList Sim_command::describe(const Unit_status &state, const Sim_settings &settings)
{
    QStringList lines;
    for (const Sim_field &field : Sim_field::all())
        lines.append(field.name + QLatin1Char(' ') + field.get(state, settings));
    return lines;
}
