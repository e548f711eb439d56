#include "protocol/frame.h"
#include "protocol/frame_receiver.h"
#include "protocol/status_layout.h"
#include "simulator/healthy_unit.h"
#include "simulator/pty_device.h"
#include "simulator/sim_command.h"
#include "simulator/sim_field.h"
#include "simulator/unit_engine.h"
#include "simulator/unit_simulator.h"
#include "support/pty_line.h"
#include "support/status_payload.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const QByteArray worked_example = QByteArray::fromHex("52 50 04 20 20 20 E4 D4 86");
const QStringList full_state =
    QStringLiteral(
        "lock 0b1011;overheat 1;tx_fault on;link_p1 0;sfp1.type video;sfp1.temp 3;sfp1.dir1 rx;"
        "sfp1.dir2 tx;sfp1.power1 -20.0;sfp1.power2 -2.5;sfp1.wl1 1310;sfp1.wl2 1550;sfp1.flag1 1;"
        "sfp1.flag2 0;sfp2.type other;sfp2.temp 15;sfp2.dir1 3;sfp2.dir2 none;sfp2.power1 0.1;"
        "sfp2.power2 -0.1;sfp2.wl1 850;sfp2.wl2 0;sfp2.flag1 1;sfp2.flag2 1;sfp_eth.type 2;"
        "sfp_eth.temp 0;sfp_eth.dir1 tx;sfp_eth.dir2 rx;sfp_eth.power1 -4;sfp_eth.power2 -9.8;"
        "sfp_eth.wl1 1310;sfp_eth.wl2 1550;dante.sync 0;dante.mic local;dante.input2 line;"
        "dante.gain1 40;dante.gain2 0;threshold -25;drift off")
        .split(QLatin1Char(';'));

// "line => field=value" or "line => action"; a line alone is rejected.
const QStringList command_rows =
    QStringLiteral(
        "set version 0x11 => version=0x11;version 1.0 => version=0x10;version 48 => version=0x30;"
        "set sfp1.type 1 => sfp1.type=video;SET SFP2.Type Ethernet => sfp2.type=ethernet;"
        "sfp_eth.dir2 3 => sfp_eth.dir2=unassigned;set sfp1.power1 -12.3 => sfp1.power1=-12.3;"
        "sfp2.power2 -0.06 => sfp2.power2=-0.1;set lock 0b1011 => lock3=0;"
        "lock2 off => lock=0b1101;threshold 0x7f => threshold=127;"
        "dante.gain1 40 => dante.gain1=40;dante.mic local => dante.mic=local;"
        "dante.input1 mic => dante.input1=microphone;dante.input2 line => dante.input1=microphone;"
        "rx_fault yes => rx_fault=1;rate max => rate=max;badcrc 0.2 => badcrc=0.2;"
        "ack off => ack=off;silence 3000 => silence 3000;UNPLUG 200 => unplug 200;show => show;"
        "  help   => help;reset => reset;QUIT => quit;    => nothing;# a note => nothing;"
        "lock 0b0111   # row 4 loses its lock => lock4=0;version 256;version 1.16;"
        "set sfp_eth.type 4;sfp1.power1 low;lock 16;dante.gain1 256;dante.gain0 1;"
        "dante.input3 line;threshold -129;rx_fault maybe;rate 0;badcrc 1.5;set sfp3.type 1;"
        "set version;set version 1 2;silence;silence -5;show all;frobnicate")
        .split(QLatin1Char(';'));

void run(const QStringList &commands, Unit_status &state, Sim_settings &settings)
{
    for (const QString &line : commands) {
        const Sim_command command = Sim_command::parse(line);
        QVERIFY2(command.is_valid(), qPrintable(line + QStringLiteral(": ") + command.error()));
        command.apply(state, settings);
    }
}

constexpr int line_timeout_ms = 5000;
constexpr int refused = -1;
constexpr int quiet_ms = 500;
// A coarse timer may fire up to 5 % early.
constexpr double earliest_share = 0.9;

// The tool's end of a line, as a plain descriptor.
class Line_end
{
public:
    explicit Line_end(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0)
            line.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
    }

    // What the other end did within the time, the event loop running (the
    // simulated unit lives on it): 'h' hung up, 'f' sent a frame's first
    // bytes, '-' nothing.
    char heard(int timeout_ms = line_timeout_ms) const
    {
        const int fd = line.handle();
        pollfd waiter{fd, POLLIN, 0};
        QDeadlineTimer deadline(timeout_ms);
        while (fd >= 0 && ::poll(&waiter, 1, 0) == 0 && !deadline.hasExpired())
            QTest::qWait(5);
        if (waiter.revents & POLLHUP)
            return 'h';
        char bytes[2] = {};
        const bool frame = (waiter.revents & POLLIN) && ::read(fd, bytes, sizeof bytes) == 2 &&
                           bytes[0] == 'P' && bytes[1] == 'R';
        return frame ? 'f' : '-';
    }

private:
    QFile line; // the descriptor, closed with it
};

} // namespace

// The simulated unit: its command language, what it sends and reads, and
// its line taken away and given back.
class Tst_unit_sim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("result"); // field=value, an action, or empty: rejected
        for (const QString &row : command_rows)
            QTest::newRow(qPrintable(row)) << row.section(" => ", 0, 0) << row.section(" => ", 1);
    }

    void commands()
    {
        QFETCH(QString, line);
        QFETCH(QString, result);
        const QStringList actions{"nothing", "assign", "silence", "unplug",
                                  "show",    "reset",  "help",    "quit"};
        const Sim_command command = Sim_command::parse(line);
        Unit_status state = healthy_unit();
        Sim_settings settings;
        command.apply(state, settings);
        QCOMPARE(command.is_valid(), !result.isEmpty());
        const QString field = result.section(QLatin1Char('='), 0, 0);
        if (!command.is_valid())
            QVERIFY(!command.error().isEmpty() && !command.error().contains(QLatin1Char('\n')));
        else if (command.action() == Sim_command::Action::assign && Sim_field::find(field))
            QCOMPARE(field + '=' + Sim_field::find(field)->get(state, settings), result);
        else if (const int ms = command.silence_ms())
            QCOMPARE(actions.value(int(command.action())) + QString(" %1").arg(ms), result);
        else
            QCOMPARE(actions.value(int(command.action())), result);
    }

    void status_payloads_data()
    {
        QTest::addColumn<QStringList>("commands"); // after full_state
        QTest::addColumn<QByteArray>("payload");

        const QByteArray sfp1 = "93 FF38 FFE7 051E 060E 01", sfp2 = "3F 0001 FFFF 0352 0000 03";
        const QByteArray eth = "60 FFD8 FF9E 051E 060E 00", dante = "5B 28 00 E7";
        const QByteArray full = QByteArray::fromHex("20 3B 0D 2D " + sfp1 + sfp2 + eth + dante);
        const auto row = [](const char *name, const QStringList &commands, const QByteArray &hex) {
            QTest::newRow(name) << commands << QByteArray::fromHex(hex);
        };
        // Line behaviours change no first payload, but `show` has to recreate them too.
        row("2.0, three cages", {"rate max", "badcrc 0.25", "ackdelay 300"}, full.toHex());
        row("1.1, no Dante", {"version 1.1"}, "11 3B 0D 2D " + sfp1 + sfp2 + eth);
        row("1.0, short blocks", {"version 1.0"},
            "10 3B 0D 2D 93 FF38 FFE7 3F 0001 FFFF 60 FFD8 FF9E");
        row("1.0, SFP Eth's block moves up", {"version 1.0", "sfp2.type none"},
            "10 3B 0D 21 93 FF38 FFE7 60 FFD8 FF9E");
        row("0x30 as 2.0, Dante absent and invalid",
            {"version 0x30", "sfp1.type 0", "sfp2.type 0", "dante.present 0", "dante.invalid 1"},
            "30 3B 0D 20 " + eth + "DA 28 00 E7");
        row("cut to nothing", {"short 200"}, "");
        row("past the receiver's buffer", {"long 10"}, (full + QByteArray(10, 0)).toHex());
        row("short replaces long", {"long 4", "short 2"}, full.chopped(2).toHex());
    }

    void status_payloads()
    {
        QFETCH(QStringList, commands);
        QFETCH(QByteArray, payload);
        Unit_engine engine, replayed;
        run(full_state + commands, engine.state(), engine.settings());
        const QByteArray frame = engine.next_transmission(0);
        QCOMPARE(frame.toHex(' '), status_frame(payload).toHex(' ')); // good CRC whatever the size
        const QStringList shown = Sim_command::describe(engine.state(), engine.settings());
        run(shown, replayed.state(), replayed.settings());
        QCOMPARE(replayed.next_transmission(0).toHex(' '), frame.toHex(' '));
        QCOMPARE(Sim_command::describe(replayed.state(), replayed.settings()), shown);
    }

    void control_frames_and_transmissions_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QByteArray>("received"); // at 0 ms, by a unit at 10, 20, -20 dBm
        QTest::addColumn<QString>("reports");     // 'a' applied, 'i' ignored, 'x' bad CRC
        QTest::addColumn<QString>("state");       // the unit's gains and threshold afterwards
        QTest::addColumn<QString>("frames");      // every 100 ms: '.' plain, 'a' acked, 'x' bad CRC
        const auto row = [](const char *name, const QStringList &commands,
                            const QByteArray &received, const char *reports, const char *state,
                            const QString &frames) {
            QTest::newRow(name) << commands << received << QString(reports) << QString(state)
                                << frames;
        };
        const auto control = [](const char *h) { return control_frame(QByteArray::fromHex(h)); };
        const char *untouched = "dante.gain1=10 dante.gain2=20 threshold=-20";
        const char *worked_state = "dante.gain1=32 dante.gain2=32 threshold=-28";
        row("worked example", {}, worked_example, "a", worked_state, "a....");
        row("two, two acks", {}, worked_example + worked_example, "aa", worked_state, "aa...");
        row("ack after a delay", {"ackdelay 300"}, worked_example, "a", worked_state, "...a.");
        row("no acks, still applied", {"ack off"}, worked_example, "a", worked_state, ".....");
        row("CRC swapped", {}, QByteArray::fromHex("525004202020E486D4"), "x", untouched, "..");
        row("threshold out of the tool's range", {}, control("203F00D8"), "a",
            "dante.gain1=63 dante.gain2=0 threshold=-40", "a.");
        row("three bytes, five, wrong marker, a status frame", {},
            control("200102") + control("200102E700") + control("210102E7") +
                status_frame(QByteArray::fromHex("200102E7")),
            "iii", untouched, "..");
        row("a fifth with a bad CRC", {"badcrc 0.2"}, {}, "", untouched, "....x....x");
        row("all, an ack among them", {"badcrc 1"}, worked_example, "a", worked_state, "xxxxx");
        row("noise hides no frame", {"noise 50"}, {}, "", untouched, QString(200, '.'));
    }

    void control_frames_and_transmissions()
    {
        QFETCH(QStringList, commands);
        QFETCH(QByteArray, received);
        QFETCH(QString, reports);
        QFETCH(QString, state);
        QFETCH(QString, frames);
        Unit_engine engine;
        engine.seed(7);
        run(QStringList{"dante.gain1 10", "dante.gain2 20", "threshold -20"} + commands,
            engine.state(), engine.settings());
        // In two reads: the receiver keeps its place between them.
        auto got = engine.receive(received.left(received.size() / 2), 0);
        const auto rest = engine.receive(received.mid(received.size() / 2), 0);
        got.insert(got.end(), rest.begin(), rest.end());
        QString verdicts;
        for (const Unit_engine::Control_report &report : got)
            verdicts += !report.crc_ok ? 'x' : report.applied ? 'a' : 'i';
        QCOMPARE(verdicts, reports);
        QStringList now; // the fields the row names, as the simulator's `show` gives them
        for (const QString &field : state.split(' '))
            now << field.section('=', 0, 0) + '=' +
                       Sim_field::find(field.section('=', 0, 0))
                           ->get(engine.state(), engine.settings());
        QCOMPARE(now.join(' '), state);
        using E = Frame_receiver::Event;
        Frame_receiver tool_side;
        QString seen;
        for (int i = 0; i < frames.size(); ++i) {
            const QByteArray bytes = engine.next_transmission(i * 100);
            QCOMPARE(bytes.size(), engine.settings().noise_bytes + engine.last_frame().size());
            const bool ack = status::bit(
                uint8_t(engine.last_frame()[int(frame::header_size + status::link_offset)]),
                status::ack_bit);
            QString found; // the tool must find exactly this one frame
            for (const char byte : bytes) {
                const auto event = tool_side.push(uint8_t(byte));
                found += event == E::crc_bad ? "x" : event != E::crc_good ? "" : ack ? "a" : ".";
            }
            QCOMPARE(found.size(), 1);
            seen += found;
        }
        QCOMPARE(seen, frames);
    }

    void unplug_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("on_device");
        QTest::addColumn<int>("replug_ms"); // or refused
        QTest::addColumn<bool>("silent");   // from before the start: through the unplug too
        QTest::newRow("a pseudo-terminal, 300 ms") << "unplug 300" << false << 300 << false;
        QTest::newRow("a pseudo-terminal, at once, silent") << "unplug 0" << false << 0 << true;
        QTest::newRow("a real device") << "unplug 300" << true << refused << false;
        QTest::newRow("not a number") << "unplug soon" << false << refused << false;
    }

    void unplug()
    {
        QFETCH(QString, command);
        QFETCH(bool, on_device);
        QFETCH(int, replug_ms);
        QFETCH(bool, silent);
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Pty_device device; // its slave stands in for a real serial device
        Unit_simulator unit;
        unit.settings().rate = 50;
        if (on_device) {
            QVERIFY(device.open());
            QVERIFY2(unit.start_on_device(device.slave_path(), 115200),
                     qPrintable(unit.error_string()));
        } else {
            unit.set_link_path(link);
            QVERIFY(!silent || unit.execute(QStringLiteral("silence 600000")));
            QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
            QCOMPARE(QFileInfo(link).symLinkTarget(), unit.slave_path());
        }
        const QString before = unit.slave_path();
        const Line_end tool(on_device ? QString() : before); // a device is heard on its master
        QSignalSpy replugged(&unit, &Unit_simulator::line_replugged);
        QElapsedTimer clock;
        clock.start();
        QString reply;
        QCOMPARE(unit.execute(command, &reply), replug_ms != refused);

        if (replug_ms == refused) {
            QVERIFY(!reply.isEmpty() && !reply.contains(QLatin1Char('\n')));
            QCOMPARE(unit.slave_path(), before);
            if (on_device)
                QVERIFY(collect(device, 1).startsWith("PR"));
            else
                QCOMPARE(QString(QChar(tool.heard())) + QFileInfo(link).symLinkTarget(),
                         'f' + before);
            QVERIFY(replugged.isEmpty());
            return;
        }
        QCOMPARE(tool.heard(), 'h');
        QVERIFY(!unit.is_running());
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink()); // the link went too
        QVERIFY(replugged.wait(line_timeout_ms));
        QVERIFY(clock.elapsed() >= earliest_share * replug_ms);
        QCOMPARE(replugged.first().first().toString(), unit.slave_path());
        QCOMPARE(QFileInfo(link).symLinkTarget(), unit.slave_path());
        const Line_end replugged_tool(link);
        if (silent) { // however the line is opened meanwhile
            QCOMPARE(replugged_tool.heard(quiet_ms), '-');
            QVERIFY(unit.execute(QStringLiteral("silence 0")));
        }
        QCOMPARE(replugged_tool.heard(), 'f');
    }
};

QTEST_GUILESS_MAIN(Tst_unit_sim)
#include "tst_unit_sim.moc"
