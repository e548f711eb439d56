#ifndef VELMAR_SIMULATOR_STDIN_READER_H
#define VELMAR_SIMULATOR_STDIN_READER_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>

class QSocketNotifier;

// Reads standard input on the event loop and hands it on line by line. The
// end of the input only ends the reading: a simulator started with its input
// closed or redirected from a file goes on running.
class Stdin_reader : public QObject
{
    Q_OBJECT

public:
    explicit Stdin_reader(QObject *parent = nullptr);

    bool at_end() const { return finished; }

signals:
    void line_read(const QString &line);

private:
    static constexpr int chunk_size = 4096;

    void on_readable();
    void emit_complete_lines();
    void finish();

    QSocketNotifier *notifier = nullptr;
    QByteArray buffer;
    bool finished = false;
};

#endif
