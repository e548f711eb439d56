#ifndef VELMAR_TESTS_FAKE_TERMINAL_SERVER_H
#define VELMAR_TESTS_FAKE_TERMINAL_SERVER_H

#include <QtCore/QByteArrayList>
#include <QtCore/QElapsedTimer>
#include <QtCore/QMetaType>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>

// A terminal server the test plays on a loopback port, for what a real one
// does not do on demand: refuse the COM-PORT-OPTION, answer another rate, or
// never answer. It reads the client's telnet by rules of its own, simpler
// than the client's, and answers as its script says.
class Fake_terminal_server : public QObject
{
    Q_OBJECT

public:
    struct Script
    {
        enum class Com_port
        {
            agree,
            refuse,
            ignore, // no telnet at all: a raw port taken for a telnet one
        };
        QByteArray greeting; // raw bytes sent as a client connects
        Com_port com_port = Com_port::agree;
        qint32 rate_answer = 0;   // 0: the rate asked for; -1: none
        int data_size_answer = 8; // -1: none; likewise below
        bool answer_parity_stop_purge = true;
        int control_answer = -1;    // none, as ser2net on a pseudo-terminal
        bool close_at_once = false; // accepts, then closes
        QByteArray data;            // the line's bytes, sent once the rate is set
    };

    explicit Fake_terminal_server(const Script &script);
    ~Fake_terminal_server() override;

    // Listening on a port of its own; with a full backlog, a server that
    // takes no connection: the client's attempt hangs.
    bool listen(bool full_backlog = false);
    QString url() const;
    int connections() const { return arrivals_ms.size(); }
    // When each connection came, in ms since the server was made.
    QList<qint64> arrivals_ms;
    // Closes the client's connection, as a server that goes away cleanly.
    void drop_client();

    // What the client sent on the last connection: each negotiation as
    // its verb and option, each COM-PORT-OPTION request as its command and
    // value, and its data unescaped.
    QByteArrayList negotiations;
    QByteArrayList requests;
    QByteArray data;

private:
    void on_connection();
    void on_bytes();
    void take(uint8_t byte);
    void answer_request(const QByteArray &request);

    const Script script;
    QTcpServer server;
    QTcpSocket *client = nullptr;
    QElapsedTimer clock;
    int backlog_socket = -1;
    int filler_socket = -1;
    quint16 listen_port = 0;
    // The reader's place: 0 data, 1 after IAC, 2 after a verb, 3 in a
    // subnegotiation, 4 after IAC in one.
    int state = 0;
    uint8_t verb = 0;
    QByteArray sub;
};

Q_DECLARE_METATYPE(Fake_terminal_server::Script)

#endif
