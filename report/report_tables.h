#ifndef VELMAR_REPORT_REPORT_TABLES_H
#define VELMAR_REPORT_REPORT_TABLES_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

struct Report;

// A report for people as sections of lines and tables, in words: the text
// and the page are both written from it, so that they say the same.
class Report_tables
{
    Q_DECLARE_TR_FUNCTIONS(Report_tables)

public:
    struct Table
    {
        QString title;
        QStringList header;
        std::vector<QStringList> rows;
        QString note; // below the table: episodes not listed, ...
    };

    struct Section
    {
        QString id; // for the page's anchors and styles
        QString title;
        QStringList lines;
        std::vector<Table> tables;
    };

    static std::vector<Section> of(const Report &report);
    // "PASS", "FAIL", "NOT JUDGED", or empty when no check was asked for.
    static QString verdict_word(const Report &report);
};

#endif
