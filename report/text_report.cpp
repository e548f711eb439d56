#include "report/text_report.h"

#include "console/terminal_text.h"
#include "report/report.h"
#include "report/report_tables.h"

#include <algorithm>

namespace {

const QString indent = QStringLiteral("  ");
const QString column_gap = QStringLiteral("  ");

// A report is read on a terminal: what a record or the command line put in
// it (a port, a file name) must not act on the screen, nor break a line.
QString shown(const QString &text)
{
    return Terminal_text::escaped(text);
}

QStringList shown(QStringList cells)
{
    for (QString &cell : cells)
        cell = shown(cell);
    return cells;
}

void write_table(const Report_tables::Table &source, QString &out)
{
    Report_tables::Table table = source;
    table.title = shown(table.title);
    table.header = shown(table.header);
    for (QStringList &row : table.rows)
        row = shown(row);
    table.note = shown(table.note);
    if (!table.title.isEmpty())
        out += indent + table.title + QLatin1Char('\n');
    if (table.rows.empty())
        return;
    std::vector<int> widths(static_cast<std::size_t>(table.header.size()), 0);
    const auto measure = [&widths](const QStringList &cells) {
        for (int i = 0; i < cells.size() && i < static_cast<int>(widths.size()); ++i)
            widths[static_cast<std::size_t>(i)] =
                std::max(widths[static_cast<std::size_t>(i)], static_cast<int>(cells[i].size()));
    };
    measure(table.header);
    for (const QStringList &row : table.rows)
        measure(row);
    const auto line = [&](const QStringList &cells) {
        QString text = indent + indent;
        for (int i = 0; i < cells.size(); ++i) {
            const bool last = i == cells.size() - 1;
            text += last ? cells[i] : cells[i].leftJustified(widths[static_cast<std::size_t>(i)]);
            if (!last)
                text += column_gap;
        }
        out += text + QLatin1Char('\n');
    };
    line(table.header);
    for (const QStringList &row : table.rows)
        line(row);
    if (!table.note.isEmpty())
        out += indent + indent + table.note + QLatin1Char('\n');
}

} // namespace

QByteArray Text_report::write(const Report &report)
{
    QString out;
    for (const Report_tables::Section &section : Report_tables::of(report)) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        const QString title = shown(section.title);
        out += title + QLatin1Char('\n') + QString(title.size(), QLatin1Char('=')) +
               QLatin1Char('\n');
        for (const QString &line : section.lines)
            out += indent + shown(line) + QLatin1Char('\n');
        for (const Report_tables::Table &table : section.tables)
            write_table(table, out);
    }
    return out.toUtf8();
}
