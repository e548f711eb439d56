#include "report/text_report.h"

#include "report/report.h"
#include "report/report_tables.h"

#include <algorithm>

namespace {

const QString indent = QStringLiteral("  ");
const QString column_gap = QStringLiteral("  ");

void write_table(const Report_tables::Table &table, QString &out)
{
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
        out += section.title + QLatin1Char('\n') + QString(section.title.size(), QLatin1Char('=')) +
               QLatin1Char('\n');
        for (const QString &line : section.lines)
            out += indent + line + QLatin1Char('\n');
        for (const Report_tables::Table &table : section.tables)
            write_table(table, out);
    }
    return out.toUtf8();
}
