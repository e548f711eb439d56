#ifndef VELMAR_REPORT_VERDICT_H
#define VELMAR_REPORT_VERDICT_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

struct Report_summary;

// A burn-in's pass or fail over a record: the checks asked for (--fail-on),
// each failed by any status that shows what it names, however briefly. A
// check that statuses did not say enough to judge (no threshold below 2.0,
// link states not valid, no Dante submodule) is not judged: that is no
// pass either, and a record without a single status passes nothing.
class Verdict
{
    Q_DECLARE_TR_FUNCTIONS(Verdict)

public:
    enum class Check
    {
        below_threshold, // an Rx power below the unit's threshold
        fault,           // Rx fault, Tx fault or overheat
        lock,            // a lock row unlocked
        link,            // a link down while the link states are valid
        dante,           // a Dante state not good while the submodule is fitted
        silence,         // the unit silent
        port_lost,       // the port lost, or unavailable at start
        crc,             // a frame with a bad CRC
    };

    // In the order of weight: the verdict of several checks is the heaviest.
    enum class Result
    {
        passed,
        not_judged,
        failed,
    };

    struct Finding
    {
        Check check;
        Result result = Result::passed;
        QString what; // what was found, for a person
    };

    // Each item a comma-separated list of check names, as --fail-on is given
    // once or repeated: together they ask for every check any of them
    // names. False with the reason, naming the valid names, for anything else.
    static bool parse(const QStringList &lists, std::vector<Check> *checks, QString *error);
    static QString name(Check check);
    static QStringList all_names();
    // "pass", "FAIL", "not judged"
    static QString result_word(Result result);
    // "passed", "failed", "not_judged", for the JSON
    static QString result_key(Result result);

    static Verdict judge(const Report_summary &summary, const std::vector<Check> &checks);

    bool asked() const { return !findings.empty(); }
    Result result() const;
    bool passed() const { return result() == Result::passed; }
    bool no_data = false;
    std::vector<Finding> findings;
};

#endif
