#ifndef VELMAR_TESTS_FAKE_TERMINAL_SERVER_H
#define VELMAR_TESTS_FAKE_TERMINAL_SERVER_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QMetaType>
#include <QtCore/QVector>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>

// A terminal server the test plays on a loopback port, for what a real one
// does not do on demand: refuse the COM-PORT-OPTION, answer another rate,
// or never answer. It greets each client with bytes of its own, then
// answers each request it finds in what the client sent, once, as the
// script says; it understands nothing else.
class Fake_terminal_server : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        QByteArray request; // once the client has sent these bytes...
        QByteArray reply;   // ...these go back
    };
    using Script = QList<Answer>;

    Fake_terminal_server(const QByteArray &greeting, const Script &script);
    ~Fake_terminal_server() override;

    // Listening on a port of its own; with a full backlog, a server that
    // takes no connection: the client's attempt hangs.
    bool listen(bool full_backlog = false);
    QString url() const;
    // Closes the client's connection, as a server that goes away cleanly,
    // and every connection at once from then on; or takes them again.
    void drop_clients(bool drop = true);

    QByteArray received;       // what the client sent on the last connection, as it came
    QList<qint64> arrivals_ms; // when each connection came, since the server was made

private:
    void on_connection();
    void on_bytes();

    const QByteArray greeting;
    const Script script;
    QVector<bool> answered;
    QTcpServer server;
    QTcpSocket *client = nullptr;
    QElapsedTimer clock;
    bool dropping = false;
    int backlog_socket = -1;
    int filler_socket = -1;
    quint16 listen_port = 0;
};

#endif
