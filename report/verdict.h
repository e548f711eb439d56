#ifndef VELMAR_REPORT_VERDICT_H
#define VELMAR_REPORT_VERDICT_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

struct Report_summary;

// A burn-in's pass or fail over a record: the checks asked for (--fail-on),
// each failed by any occurrence of what it names. A record without a single
// status passes nothing: no data is not a pass.
class Verdict
{
    Q_DECLARE_TR_FUNCTIONS(Verdict)

public:
    enum class Check
    {
        below_threshold, // an Rx power below the unit's threshold
        fault,           // Rx fault, Tx fault or overheat
        lock,            // a lock row unlocked
        silence,         // the unit silent
        port_lost,       // the port lost, or unavailable at start
        crc,             // a frame with a bad CRC
    };

    struct Finding
    {
        Check check;
        bool failed = false;
        QString what; // what was found, for a person
    };

    // "below-threshold,fault,lock,silence,port-lost,crc", any subset in any
    // order; false with the reason for anything else.
    static bool parse(const QString &list, std::vector<Check> *checks, QString *error);
    static QString name(Check check);
    static QStringList all_names();

    static Verdict judge(const Report_summary &summary, const std::vector<Check> &checks);

    bool asked() const { return !findings.empty(); }
    bool passed() const;
    bool no_data = false;
    std::vector<Finding> findings;
};

#endif
