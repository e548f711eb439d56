#ifndef VELMAR_TESTS_CHILD_PROCESS_H
#define VELMAR_TESTS_CHILD_PROCESS_H

#include <QtCore/QByteArray>
#include <QtCore/QProcess>
#include <QtCore/QStringList>

// One of the project's programs run as a child. It is waited for with this
// process's event loop running, so that a simulated unit living on that loop
// keeps talking to it.
class Child_process : public QProcess
{
public:
    static constexpr int default_timeout_ms = 30000;

    explicit Child_process(const QString &program);
    ~Child_process() override;

    void start(const QStringList &arguments);
    // False when it is still running after timeout_ms.
    bool wait_for_exit(int timeout_ms = default_timeout_ms);
    // -1 unless it ran and exited normally.
    int exit_code() const;

    // Standard output and standard error so far, as complete lines.
    QStringList output_lines();
    QStringList error_lines();

private:
    QByteArray output;
    QByteArray errors;
};

#endif
