// The simulated unit's own logic: its command language, how it lays out
// status payloads per version, how it takes and acknowledges control frames,
// its fault injection, and the program around it.

#include "link/crc16.h"
#include "link/frame.h"
#include "link/frame_builder.h"
#include "link/frame_receiver.h"
#include "model/status_layout.h"
#include "tools/sim_cli.h"
#include "tools/sim_command.h"
#include "tools/sim_field.h"
#include "tools/status_encoder.h"
#include "tools/unit_engine.h"
#include "tools/unit_simulator.h"
#include "tools/value_drift.h"

#include <QtCore/QProcess>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <csignal>

namespace {

const QByteArray worked_control_frame = QByteArray::fromHex("52 50 04 20 20 20 E4 D4 86");

// A state with every field away from its default and every cage kind in use.
const QStringList full_state = {
    QStringLiteral("lock 0b1011"),       QStringLiteral("overheat 1"),
    QStringLiteral("tx_fault on"),       QStringLiteral("link_p1 0"),
    QStringLiteral("sfp1.type video"),   QStringLiteral("sfp1.temp 3"),
    QStringLiteral("sfp1.dir1 rx"),      QStringLiteral("sfp1.dir2 tx"),
    QStringLiteral("sfp1.power1 -20.0"), QStringLiteral("sfp1.power2 -2.5"),
    QStringLiteral("sfp1.wl1 1310"),     QStringLiteral("sfp1.wl2 1550"),
    QStringLiteral("sfp1.flag1 1"),      QStringLiteral("sfp1.flag2 0"),
    QStringLiteral("sfp2.type other"),   QStringLiteral("sfp2.temp 15"),
    QStringLiteral("sfp2.dir1 3"),       QStringLiteral("sfp2.dir2 none"),
    QStringLiteral("sfp2.power1 0.1"),   QStringLiteral("sfp2.power2 -0.1"),
    QStringLiteral("sfp2.wl1 850"),      QStringLiteral("sfp2.wl2 0"),
    QStringLiteral("sfp2.flag1 1"),      QStringLiteral("sfp2.flag2 1"),
    QStringLiteral("sfp_eth.type 2"),    QStringLiteral("sfp_eth.temp 0"),
    QStringLiteral("sfp_eth.dir1 tx"),   QStringLiteral("sfp_eth.dir2 rx"),
    QStringLiteral("sfp_eth.power1 -4"), QStringLiteral("sfp_eth.power2 -9.8"),
    QStringLiteral("sfp_eth.wl1 1310"),  QStringLiteral("sfp_eth.wl2 1550"),
    QStringLiteral("dante.sync 0"),      QStringLiteral("dante.mic local"),
    QStringLiteral("dante.input1 line"), QStringLiteral("dante.gain0 40"),
    QStringLiteral("dante.gain1 0"),     QStringLiteral("threshold -25"),
};

void run(const QStringList &commands, Unit_state &state, Sim_settings &settings)
{
    for (const QString &line : commands) {
        const Sim_command command = Sim_command::parse(line);
        QVERIFY2(command.is_valid(), qPrintable(line + QStringLiteral(": ") + command.error()));
        command.apply(state, settings);
    }
}

QString field_value(const QString &name, const Unit_state &state, const Sim_settings &settings)
{
    const Sim_field *field = Sim_field::find(name);
    return field != nullptr ? field->get(state, settings) : QStringLiteral("<no such field>");
}

bool frame_crc_matches(const QByteArray &frame)
{
    const int covered = frame.size() - static_cast<int>(frame::crc_size);
    const uint16_t computed =
        crc16(reinterpret_cast<const uint8_t *>(frame.constData()), static_cast<size_t>(covered));
    const uint16_t carried = static_cast<uint16_t>((static_cast<uint8_t>(frame[covered]) << 8) |
                                                   static_cast<uint8_t>(frame[covered + 1]));
    return computed == carried;
}

QByteArray payload_of(const QByteArray &frame)
{
    return frame.mid(static_cast<int>(frame::header_size),
                     static_cast<uint8_t>(frame[static_cast<int>(frame::length_offset)]));
}

bool carries_ack(const QByteArray &frame)
{
    return status::bit(
        static_cast<uint8_t>(payload_of(frame)[static_cast<int>(status::link_offset)]),
        status::ack_bit);
}

QByteArray control_frame(const QByteArray &payload)
{
    return Frame_builder::build_control(reinterpret_cast<const uint8_t *>(payload.constData()),
                                        static_cast<size_t>(payload.size()));
}

// The tool's end of the line: the status payloads with a good CRC, in order.
class Line_reader
{
public:
    explicit Line_reader(QSerialPort &port) : port(port) {}

    QList<QByteArray> payloads;

    void read()
    {
        for (const char byte : port.readAll()) {
            if (receiver.push(static_cast<uint8_t>(byte)) == Frame_receiver::Event::crc_good)
                payloads.append(QByteArray(reinterpret_cast<const char *>(receiver.payload()),
                                           static_cast<int>(receiver.completed_length())));
        }
    }

private:
    QSerialPort &port;
    Frame_receiver receiver;
};

bool open_line(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    port.setBaudRate(QSerialPort::Baud115200);
    return port.open(QIODevice::ReadWrite);
}

} // namespace

class Tst_unit_sim : public QObject
{
    Q_OBJECT

private slots:
    void command_sets_field_data();
    void command_sets_field();
    void command_actions_data();
    void command_actions();
    void short_and_long_replace_each_other();
    void show_recreates_state();

    void encode_by_version_and_cages_data();
    void encode_by_version_and_cages();
    void payload_length_faults_data();
    void payload_length_faults();

    void control_frames_data();
    void control_frames();
    void acknowledgement_goes_into_next_frame_only();
    void acknowledgement_waits_for_delay();
    void two_control_frames_get_two_acknowledgements();
    void bad_crc_share_data();
    void bad_crc_share();
    void noise_never_hides_a_frame();
    void drift_stays_near_set_values();

    void options_data();
    void options();

    void simulator_on_pty_answers_the_tool();
    void simulator_silence_and_commands();

    void program_runs_until_terminated();
    void program_rejects_bad_start_data();
    void program_rejects_bad_start();
};

// ---- command language ------------------------------------------------------

void Tst_unit_sim::command_sets_field_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("raw version") << "set version 0x11" << true << "version"
                                 << "0x11";
    QTest::newRow("dotted version") << "version 1.0" << true << "version"
                                    << "0x10";
    QTest::newRow("odd raw version") << "version 48" << true << "version"
                                     << "0x30";
    QTest::newRow("version too big") << "version 256" << false << ""
                                     << "";
    QTest::newRow("minor too big") << "version 1.16" << false << ""
                                   << "";
    QTest::newRow("type by code") << "set sfp1.type 1" << true << "sfp1.type"
                                  << "video";
    QTest::newRow("any case") << "SET SFP2.Type Ethernet" << true << "sfp2.type"
                              << "ethernet";
    QTest::newRow("type out of range") << "set sfp_eth.type 4" << false << ""
                                       << "";
    QTest::newRow("direction word") << "set sfp1.dir1 rx" << true << "sfp1.dir1"
                                    << "rx";
    QTest::newRow("direction code") << "sfp_eth.dir2 3" << true << "sfp_eth.dir2"
                                    << "unassigned";
    QTest::newRow("power") << "set sfp1.power1 -12.3" << true << "sfp1.power1"
                           << "-12.3";
    QTest::newRow("power rounds to tenths") << "sfp2.power2 -0.06" << true << "sfp2.power2"
                                            << "-0.1";
    QTest::newRow("power not a number") << "sfp1.power1 low" << false << ""
                                        << "";
    QTest::newRow("lock mask binary") << "set lock 0b1011" << true << "lock"
                                      << "0b1011";
    QTest::newRow("lock mask clears row 3") << "set lock 0b1011" << true << "lock3"
                                            << "0";
    QTest::newRow("lock mask too wide") << "lock 16" << false << ""
                                        << "";
    QTest::newRow("one lock bit") << "lock2 off" << true << "lock"
                                  << "0b1101";
    QTest::newRow("gain code") << "set dante.gain0 40" << true << "dante.gain0"
                               << "40";
    QTest::newRow("gain code too big") << "dante.gain1 256" << false << ""
                                       << "";
    QTest::newRow("threshold") << "set threshold -25" << true << "threshold"
                               << "-25";
    QTest::newRow("threshold hex") << "threshold 0x7f" << true << "threshold"
                                   << "127";
    QTest::newRow("threshold too low") << "threshold -129" << false << ""
                                       << "";
    QTest::newRow("mic word") << "dante.mic local" << true << "dante.mic"
                              << "local";
    QTest::newRow("flag word") << "rx_fault yes" << true << "rx_fault"
                               << "1";
    QTest::newRow("flag nonsense") << "rx_fault maybe" << false << ""
                                   << "";
    QTest::newRow("rate") << "rate 50" << true << "rate"
                          << "50";
    QTest::newRow("rate max") << "rate max" << true << "rate"
                              << "max";
    QTest::newRow("rate zero") << "rate 0" << false << ""
                               << "";
    QTest::newRow("bad crc share") << "badcrc 0.2" << true << "badcrc"
                                   << "0.2";
    QTest::newRow("bad crc above one") << "badcrc 1.5" << false << ""
                                       << "";
    QTest::newRow("noise") << "noise 50" << true << "noise"
                           << "50";
    QTest::newRow("short on") << "short on" << true << "short"
                              << "1";
    QTest::newRow("no ack") << "ack off" << true << "ack"
                            << "off";
    QTest::newRow("unknown field") << "set sfp3.type 1" << false << ""
                                   << "";
    QTest::newRow("value missing") << "set version" << false << ""
                                   << "";
    QTest::newRow("two values") << "set version 1 2" << false << ""
                                << "";
    QTest::newRow("set alone") << "set" << false << ""
                               << "";
}

void Tst_unit_sim::command_sets_field()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    const Sim_command command = Sim_command::parse(line);
    QCOMPARE(command.is_valid(), valid);
    Unit_state state;
    Sim_settings settings;
    const QStringList before = Sim_command::describe(state, settings);
    command.apply(state, settings);
    if (!valid) {
        QVERIFY(!command.error().isEmpty());
        QVERIFY(!command.error().contains(QLatin1Char('\n')));
        QCOMPARE(Sim_command::describe(state, settings), before);
        return;
    }
    QCOMPARE(command.action(), Sim_command::Action::assign);
    QCOMPARE(field_value(field, state, settings), expected);
}

void Tst_unit_sim::command_actions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("silence_ms");

    const auto action = [](Sim_command::Action value) { return static_cast<int>(value); };
    QTest::newRow("silence") << "silence 3000" << true << action(Sim_command::Action::silence)
                             << 3000;
    QTest::newRow("silence without time") << "silence" << false << 0 << 0;
    QTest::newRow("silence negative") << "silence -5" << false << 0 << 0;
    QTest::newRow("show") << "show" << true << action(Sim_command::Action::show) << 0;
    QTest::newRow("show with value") << "show all" << false << 0 << 0;
    QTest::newRow("help") << "  help  " << true << action(Sim_command::Action::help) << 0;
    QTest::newRow("reset") << "reset" << true << action(Sim_command::Action::reset) << 0;
    QTest::newRow("quit") << "QUIT" << true << action(Sim_command::Action::quit) << 0;
    QTest::newRow("blank") << "   " << true << action(Sim_command::Action::nothing) << 0;
    QTest::newRow("comment") << "# a note" << true << action(Sim_command::Action::nothing) << 0;
    QTest::newRow("unknown word") << "frobnicate" << false << 0 << 0;
}

void Tst_unit_sim::command_actions()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(int, action);
    QFETCH(int, silence_ms);

    const Sim_command command = Sim_command::parse(line);
    QCOMPARE(command.is_valid(), valid);
    if (!valid)
        return;
    QCOMPARE(static_cast<int>(command.action()), action);
    QCOMPARE(command.silence_ms(), silence_ms);
}

void Tst_unit_sim::short_and_long_replace_each_other()
{
    Unit_state state;
    Sim_settings settings;
    run({QStringLiteral("long 4"), QStringLiteral("short off")}, state, settings);
    QCOMPARE(settings.payload_change, 4);
    run({QStringLiteral("short 2")}, state, settings);
    QCOMPARE(settings.payload_change, -2);
    run({QStringLiteral("long off")}, state, settings);
    QCOMPARE(settings.payload_change, -2);
    run({QStringLiteral("short off")}, state, settings);
    QCOMPARE(settings.payload_change, 0);
}

void Tst_unit_sim::show_recreates_state()
{
    Unit_state changed;
    Sim_settings changed_settings;
    run(full_state, changed, changed_settings);
    run({QStringLiteral("version 0x12"), QStringLiteral("rate max"), QStringLiteral("long 3"),
         QStringLiteral("badcrc 0.25"), QStringLiteral("ackdelay 300"),
         QStringLiteral("drift off")},
        changed, changed_settings);

    Unit_state replayed;
    Sim_settings replayed_settings;
    run(Sim_command::describe(changed, changed_settings), replayed, replayed_settings);
    QCOMPARE(Status_encoder::encode(replayed, false).toHex(' '),
             Status_encoder::encode(changed, false).toHex(' '));
    QCOMPARE(Sim_command::describe(replayed, replayed_settings),
             Sim_command::describe(changed, changed_settings));
}

// ---- status payloads -------------------------------------------------------

void Tst_unit_sim::encode_by_version_and_cages_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<QByteArray>("expected");

    // Fixed part: version, 0x3B (locks 1,2,4, overheat, Tx fault), link byte
    // (F, P2, valid, and ack as 0x10), cage types SFP 1 video, SFP 2 other,
    // SFP Eth Ethernet (0x2D).
    const QByteArray sfp1_long = "93 FF38 FFE7 051E 060E 01";
    const QByteArray sfp2_long = "3F 0001 FFFF 0352 0000 03";
    const QByteArray eth_long = "60 FFD8 FF9E 051E 060E 00";
    const QByteArray dante = "5B 28 00 E7";

    QTest::newRow("2.0, three cages: Dante at 34..36, threshold at 37")
        << QStringList{QStringLiteral("version 2.0")} << true
        << QByteArray::fromHex("20 3B 1D 2D " + sfp1_long + sfp2_long + eth_long + dante);
    QTest::newRow("1.1, three cages: long blocks, no Dante")
        << QStringList{QStringLiteral("version 1.1")} << false
        << QByteArray::fromHex("11 3B 0D 2D " + sfp1_long + sfp2_long + eth_long);
    QTest::newRow("1.0, three cages: short blocks")
        << QStringList{QStringLiteral("version 1.0")} << true
        << QByteArray::fromHex("10 3B 1D 2D 93 FF38 FFE7 3F 0001 FFFF 60 FFD8 FF9E");
    QTest::newRow("1.0, SFP 1 and SFP Eth: Eth's block moves up")
        << QStringList{QStringLiteral("version 1.0"), QStringLiteral("sfp2.type none")} << false
        << QByteArray::fromHex("10 3B 0D 21 93 FF38 FFE7 60 FFD8 FF9E");
    QTest::newRow("2.0, no cages: Dante at 4..6, threshold at 7")
        << QStringList{QStringLiteral("sfp1.type 0"), QStringLiteral("sfp2.type 0"),
                       QStringLiteral("sfp_eth.type 0")}
        << false << QByteArray::fromHex("20 3B 0D 00 " + dante);
    QTest::newRow("2.0, only SFP 2")
        << QStringList{QStringLiteral("sfp1.type none"), QStringLiteral("sfp_eth.type none")}
        << false << QByteArray::fromHex("20 3B 0D 0C " + sfp2_long + dante);
    QTest::newRow("raw 0x30 lays out as 2.0, Dante absent and invalid")
        << QStringList{QStringLiteral("version 0x30"), QStringLiteral("sfp1.type none"),
                       QStringLiteral("sfp2.type none"), QStringLiteral("dante.present 0"),
                       QStringLiteral("dante.invalid 1")}
        << false << QByteArray::fromHex("30 3B 0D 20 " + eth_long + "DA 28 00 E7");
    QTest::newRow("raw 0x12 lays out as 1.1")
        << QStringList{QStringLiteral("version 0x12"), QStringLiteral("sfp2.type none"),
                       QStringLiteral("sfp_eth.type none")}
        << false << QByteArray::fromHex("12 3B 0D 01 " + sfp1_long);
}

void Tst_unit_sim::encode_by_version_and_cages()
{
    QFETCH(QStringList, commands);
    QFETCH(bool, ack);
    QFETCH(QByteArray, expected);

    Unit_state state;
    Sim_settings settings;
    run(full_state + commands, state, settings);
    const QByteArray payload = Status_encoder::encode(state, ack);
    QCOMPARE(payload.toHex(' '), expected.toHex(' '));
    QCOMPARE(Status_encoder::payload_size(state), static_cast<size_t>(expected.size()));
    // The decoder's own idea of the size must agree with what is sent.
    QCOMPARE(status::expected_payload_size(reinterpret_cast<const uint8_t *>(payload.constData())),
             static_cast<size_t>(expected.size()));
}

void Tst_unit_sim::payload_length_faults_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("expected_size");

    QTest::newRow("one byte short") << "short on" << 37;
    QTest::newRow("threshold and Dante cut") << "short 4" << 34;
    QTest::newRow("cut to nothing") << "short 200" << 0;
    QTest::newRow("two bytes over") << "long on" << 40;
    QTest::newRow("past the receiver's buffer") << "long 10" << 48;
    QTest::newRow("no more than a length byte says") << "long 255" << 255;
}

void Tst_unit_sim::payload_length_faults()
{
    QFETCH(QString, command);
    QFETCH(int, expected_size);

    Unit_engine engine;
    engine.settings().drift = false;
    run(full_state, engine.state(), engine.settings());
    const QByteArray whole = Status_encoder::encode(engine.state(), false);
    QCOMPARE(whole.size(), 38);
    run({command}, engine.state(), engine.settings());

    const QByteArray frame = engine.next_transmission(0);
    QVERIFY(frame_crc_matches(frame));
    const QByteArray payload = payload_of(frame);
    QCOMPARE(payload.size(), expected_size);
    const int common = std::min(payload.size(), whole.size());
    QCOMPARE(payload.left(common), whole.left(common));
    QCOMPARE(payload.mid(common), QByteArray(payload.size() - common, '\0'));
    if (expected_size >= static_cast<int>(status::fixed_part_size))
        QCOMPARE(status::payload_is_complete(reinterpret_cast<const uint8_t *>(payload.constData()),
                                             static_cast<size_t>(payload.size())),
                 expected_size >= whole.size());
}

// ---- control frames and acknowledgement ------------------------------------

void Tst_unit_sim::control_frames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("reports");
    QTest::addColumn<bool>("crc_ok");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<int>("gain_0");
    QTest::addColumn<int>("gain_1");
    QTest::addColumn<int>("threshold");

    const QByteArray swapped = QByteArray::fromHex("52 50 04 20 20 20 E4 86 D4");

    // The engine starts at gains 10/20 and threshold -20 dBm.
    QTest::newRow("worked example") << worked_control_frame << 1 << true << true << 32 << 32 << -28;
    QTest::newRow("CRC bytes swapped") << swapped << 1 << false << false << 10 << 20 << -20;
    QTest::newRow("behind noise and a failed pair")
        << QByteArray::fromHex("00 52 41 FF") + control_frame(QByteArray::fromHex("20 0C 14 E7"))
        << 1 << true << true << 12 << 20 << -25;
    QTest::newRow("threshold outside the tool's range is taken")
        << control_frame(QByteArray::fromHex("20 3F 00 D8")) << 1 << true << true << 63 << 0 << -40;
    QTest::newRow("good CRC, three bytes")
        << control_frame(QByteArray::fromHex("20 01 02")) << 1 << true << false << 10 << 20 << -20;
    QTest::newRow("good CRC, wrong marker") << control_frame(QByteArray::fromHex("21 01 02 E7"))
                                            << 1 << true << false << 10 << 20 << -20;
    QTest::newRow("a status frame is not for the unit")
        << Frame_builder::build_status(reinterpret_cast<const uint8_t *>("\x20\x01\x02\xE7"), 4)
        << 0 << false << false << 10 << 20 << -20;
}

void Tst_unit_sim::control_frames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, reports);
    QFETCH(bool, crc_ok);
    QFETCH(bool, applied);
    QFETCH(int, gain_0);
    QFETCH(int, gain_1);
    QFETCH(int, threshold);

    Unit_engine engine;
    engine.settings().drift = false;
    run({QStringLiteral("dante.gain0 10"), QStringLiteral("dante.gain1 20"),
         QStringLiteral("threshold -20")},
        engine.state(), engine.settings());

    // Split in two to show the receiver keeps its place between reads.
    const int half = bytes.size() / 2;
    auto got = engine.receive(bytes.left(half), 0);
    const auto rest = engine.receive(bytes.mid(half), 0);
    got.insert(got.end(), rest.begin(), rest.end());

    QCOMPARE(int(got.size()), reports);
    if (reports > 0) {
        QCOMPARE(got.front().crc_ok, crc_ok);
        QCOMPARE(got.front().applied, applied);
    }
    QCOMPARE(int(engine.state().gain_code[0]), gain_0);
    QCOMPARE(int(engine.state().gain_code[1]), gain_1);
    QCOMPARE(int(engine.state().rx_threshold_dbm), threshold);
    QCOMPARE(engine.pending_acknowledgements(), applied ? 1 : 0);
    QCOMPARE(carries_ack(engine.next_transmission(0)), applied);
}

void Tst_unit_sim::acknowledgement_goes_into_next_frame_only()
{
    Unit_engine engine;
    engine.settings().drift = false;
    QVERIFY(!carries_ack(engine.next_transmission(0)));
    const auto reports = engine.receive(worked_control_frame, 10);
    QCOMPARE(reports.size(), size_t{1});
    QCOMPARE(Unit_engine::describe(reports.front()),
             QStringLiteral("control frame: gain 0 47.00 dB (code 32), gain 1 47.00 dB (code "
                            "32), threshold -28 dBm, CRC ok"));

    const QByteArray acknowledging = engine.next_transmission(20);
    QVERIFY(frame_crc_matches(acknowledging));
    QVERIFY(carries_ack(acknowledging));
    QVERIFY(!carries_ack(engine.next_transmission(30)));

    engine.settings().acknowledge = false;
    engine.receive(control_frame(QByteArray::fromHex("20 00 3F F6")), 40);
    QCOMPARE(int(engine.state().gain_code[1]), 63);
    QVERIFY(!carries_ack(engine.next_transmission(50)));
}

void Tst_unit_sim::acknowledgement_waits_for_delay()
{
    Unit_engine engine;
    engine.settings().drift = false;
    engine.settings().ack_delay_ms = 300;
    engine.receive(worked_control_frame, 1000);
    QVERIFY(!carries_ack(engine.next_transmission(1000)));
    QVERIFY(!carries_ack(engine.next_transmission(1299)));
    QVERIFY(carries_ack(engine.next_transmission(1300)));
    QVERIFY(!carries_ack(engine.next_transmission(1400)));
}

void Tst_unit_sim::two_control_frames_get_two_acknowledgements()
{
    Unit_engine engine;
    engine.receive(worked_control_frame + worked_control_frame, 0);
    QVERIFY(carries_ack(engine.next_transmission(1)));
    QVERIFY(carries_ack(engine.next_transmission(2)));
    QVERIFY(!carries_ack(engine.next_transmission(3)));
}

// ---- fault injection -------------------------------------------------------

void Tst_unit_sim::bad_crc_share_data()
{
    QTest::addColumn<double>("share");
    QTest::addColumn<QString>("pattern"); // x: broken CRC, one letter per frame

    QTest::newRow("none") << 0.0 << "..........";
    QTest::newRow("every fifth") << 0.2 << "....x....x";
    QTest::newRow("every third") << 1.0 / 3 << "..x..x..x.";
    QTest::newRow("half") << 0.5 << ".x.x.x.x.x";
    QTest::newRow("all") << 1.0 << "xxxxxxxxxx";
}

void Tst_unit_sim::bad_crc_share()
{
    QFETCH(double, share);
    QFETCH(QString, pattern);

    Unit_engine engine;
    engine.settings().bad_crc_share = share;
    QString seen;
    for (int i = 0; i < pattern.size(); ++i) {
        const QByteArray frame = engine.next_transmission(i * 100);
        QCOMPARE(frame, engine.last_frame());
        seen += frame_crc_matches(frame) ? QLatin1Char('.') : QLatin1Char('x');
    }
    QCOMPARE(seen, pattern);
}

void Tst_unit_sim::noise_never_hides_a_frame()
{
    Unit_engine engine;
    engine.seed(7);
    engine.settings().noise_bytes = 50;
    Frame_receiver tool_side;
    int good = 0;
    const int frames = 200;
    for (int i = 0; i < frames; ++i) {
        const QByteArray bytes = engine.next_transmission(i * 100);
        QCOMPARE(bytes.size(), 50 + engine.last_frame().size());
        QVERIFY(bytes.endsWith(engine.last_frame()));
        for (const char byte : bytes) {
            const auto event = tool_side.push(static_cast<uint8_t>(byte));
            QVERIFY(event != Frame_receiver::Event::crc_bad);
            good += event == Frame_receiver::Event::crc_good ? 1 : 0;
        }
    }
    QCOMPARE(good, frames);
}

void Tst_unit_sim::drift_stays_near_set_values()
{
    const Unit_state set;
    QSet<int> powers_seen;
    QSet<int> temperatures_seen;
    for (qint64 ms = 0; ms <= 240000; ms += 500) {
        const Unit_state drifted = Value_drift::apply(set, ms);
        for (int cage = 0; cage < Unit_state::cage_count; ++cage) {
            const auto &from = set.cages[cage];
            const auto &to = drifted.cages[cage];
            for (int channel = 0; channel < Unit_state::channel_count; ++channel)
                QVERIFY(std::abs(to.power_tenths[channel] - from.power_tenths[channel]) <=
                        Value_drift::power_swing_tenths);
            QVERIFY(to.temperature_code >= from.temperature_code);
            QVERIFY(to.temperature_code <= from.temperature_code + Value_drift::temperature_swing);
        }
        powers_seen.insert(drifted.cages[Unit_state::sfp_1].power_tenths[0]);
        temperatures_seen.insert(drifted.cages[Unit_state::sfp_1].temperature_code);
        QCOMPARE(drifted.gain_code, set.gain_code);
    }
    QVERIFY(powers_seen.size() > 5);
    QCOMPARE(temperatures_seen.size(), 2);

    Unit_state hot;
    hot.cages[Unit_state::sfp_2].temperature_code = 15;
    for (qint64 ms = 0; ms <= 120000; ms += 1000)
        QCOMPARE(int(Value_drift::apply(hot, ms).cages[Unit_state::sfp_2].temperature_code), 15);
}

// ---- command line ----------------------------------------------------------

void Tst_unit_sim::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("baud");

    const int run = static_cast<int>(Sim_cli::Outcome::run);
    const int error = static_cast<int>(Sim_cli::Outcome::error);
    const int help = static_cast<int>(Sim_cli::Outcome::help);
    const QString pty;

    QTest::newRow("defaults") << QStringList{} << run << QStringList{} << pty
                              << int(Sim_cli::default_baud);
    QTest::newRow("shortcuts") << QStringList{"--version", "1.1",         "--rate", "max",
                                              "--no-ack",  "--ack-delay", "250"}
                               << run
                               << QStringList{"version 1.1", "rate max", "ackdelay 250", "ack off"}
                               << pty << int(Sim_cli::default_baud);
    QTest::newRow("--set after the shortcuts, in order")
        << QStringList{"--set", "sfp1.type 1", "--bad-crc", "0.2", "--set", "lock 0b1011"} << run
        << QStringList{"badcrc 0.2", "sfp1.type 1", "lock 0b1011"} << pty
        << int(Sim_cli::default_baud);
    QTest::newRow("device") << QStringList{"--device", "/dev/ttyUSB1", "--baud", "9600"} << run
                            << QStringList{} << "/dev/ttyUSB1" << 9600;
    QTest::newRow("help") << QStringList{"-h"} << help << QStringList{} << pty << 0;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << error << QStringList{} << pty << 0;
    QTest::newRow("bad shortcut value")
        << QStringList{"--rate", "0"} << error << QStringList{} << pty << 0;
    QTest::newRow("bad --set") << QStringList{"--set", "sfp1.type 9"} << error << QStringList{}
                               << pty << 0;
    QTest::newRow("baud without device")
        << QStringList{"--baud", "9600"} << error << QStringList{} << pty << 0;
    QTest::newRow("baud not a number")
        << QStringList{"--device", "x", "--baud", "fast"} << error << QStringList{} << pty << 0;
    QTest::newRow("missing value") << QStringList{"--noise"} << error << QStringList{} << pty << 0;
    QTest::newRow("stray argument")
        << QStringList{"/dev/ttyS0"} << error << QStringList{} << pty << 0;
}

void Tst_unit_sim::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QStringList, commands);
    QFETCH(QString, device);
    QFETCH(int, baud);

    const Sim_cli cli = Sim_cli::parse(QStringList{QStringLiteral("velmar-unit-sim")} + arguments);
    QCOMPARE(static_cast<int>(cli.outcome), outcome);
    if (cli.outcome == Sim_cli::Outcome::error) {
        QVERIFY(!cli.error.isEmpty());
        QVERIFY(!cli.error.contains(QLatin1Char('\n')));
        return;
    }
    if (cli.outcome != Sim_cli::Outcome::run)
        return;
    QCOMPARE(cli.commands, commands);
    QCOMPARE(cli.device, device);
    QCOMPARE(int(cli.baud), baud);
}

// ---- the simulator on a line -----------------------------------------------

void Tst_unit_sim::simulator_on_pty_answers_the_tool()
{
    Unit_simulator unit;
    unit.settings().drift = false;
    unit.settings().rate = 50;
    QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));

    QSerialPort port;
    QVERIFY2(open_line(port, unit.slave_path()), qPrintable(port.errorString()));
    Line_reader reader(port);
    QObject::connect(&port, &QSerialPort::readyRead, [&reader]() { reader.read(); });
    QTRY_VERIFY_WITH_TIMEOUT(reader.payloads.size() >= 3, 5000);
    for (const QByteArray &payload : reader.payloads)
        QVERIFY(!status::bit(static_cast<uint8_t>(payload[2]), status::ack_bit));

    QSignalSpy controls(&unit, &Unit_simulator::control_frame_received);
    QSignalSpy lines(&unit, &Unit_simulator::log_line);
    QByteArray bad = control_frame(QByteArray::fromHex("20 01 02 E2"));
    bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 0xFF);
    port.write(bad + control_frame(QByteArray::fromHex("20 0A 14 E7")));
    QTRY_COMPARE_WITH_TIMEOUT(controls.count(), 2, 5000);
    QCOMPARE(controls.at(0).at(3).toBool(), false);
    QCOMPARE(controls.at(1), (QList<QVariant>{10, 20, -25, true}));
    QCOMPARE(lines.count(), 2);
    QCOMPARE(unit.control_frames_received(), qint64{2});
    QCOMPARE(unit.control_frames_rejected(), qint64{1});

    // Exactly one acknowledgement, for the good frame, and the unit now reports
    // what the frame set.
    reader.payloads.clear();
    QTRY_VERIFY_WITH_TIMEOUT(reader.payloads.size() >= 5, 5000);
    int acks = 0;
    for (const QByteArray &payload : reader.payloads)
        acks += status::bit(static_cast<uint8_t>(payload[2]), status::ack_bit) ? 1 : 0;
    QCOMPARE(acks, 1);
    const QByteArray last = reader.payloads.last();
    QCOMPARE(last.right(4), QByteArray::fromHex("0F 0A 14 E7"));
    QVERIFY(unit.frames_sent() >= reader.payloads.size());
}

void Tst_unit_sim::simulator_silence_and_commands()
{
    Unit_simulator unit;
    unit.settings().drift = false;
    unit.settings().rate = 50;
    QVERIFY(unit.start_on_pty());
    QSignalSpy frames(&unit, &Unit_simulator::status_frame_sent);
    QVERIFY(frames.wait(5000));

    QString reply;
    QVERIFY(!unit.execute(QStringLiteral("sfp_eth.type purple"), &reply));
    QVERIFY(reply.contains(QStringLiteral("sfp_eth.type")));
    QVERIFY(unit.execute(QStringLiteral("sfp_eth.type video"), &reply));
    QVERIFY(reply.isEmpty());
    frames.clear();
    QVERIFY(frames.wait(5000));
    QCOMPARE(payload_of(frames.last().at(0).toByteArray()).size(), 38);

    QVERIFY(unit.execute(QStringLiteral("silence 1500")));
    QVERIFY(unit.is_silent());
    frames.clear();
    QTest::qWait(300);
    QCOMPARE(frames.count(), 0);
    QVERIFY(frames.wait(5000));
    QVERIFY(!unit.is_silent());

    // With the line flooded nobody reads the pty here, so it fills and the
    // simulator must wait for room instead of spinning or losing its loop.
    const qint64 before = unit.frames_sent();
    QVERIFY(unit.execute(QStringLiteral("rate max")));
    QTRY_VERIFY_WITH_TIMEOUT(unit.frames_sent() - before > 60, 5000);
    QVERIFY(unit.execute(QStringLiteral("show"), &reply));
    QVERIFY(reply.contains(QStringLiteral("rate max")));
    QVERIFY(reply.contains(QStringLiteral("sfp_eth.type video")));

    QSignalSpy quit(&unit, &Unit_simulator::quit_requested);
    QVERIFY(unit.execute(QStringLiteral("quit")));
    QCOMPARE(quit.count(), 1);
    unit.stop();
    QVERIFY(!unit.is_running());
}

// ---- the program -----------------------------------------------------------

void Tst_unit_sim::program_runs_until_terminated()
{
    QProcess program;
    program.start(QStringLiteral(VELMAR_UNIT_SIM_PATH),
                  {QStringLiteral("--rate"), QStringLiteral("50")});
    QVERIFY2(program.waitForStarted(5000), qPrintable(program.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 5000);
    const QString path = QString::fromLocal8Bit(program.readLine()).trimmed();
    QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));

    QSerialPort port;
    QVERIFY2(open_line(port, path), qPrintable(port.errorString()));
    Line_reader reader(port);
    QObject::connect(&port, &QSerialPort::readyRead, [&reader]() { reader.read(); });
    QTRY_VERIFY_WITH_TIMEOUT(!reader.payloads.isEmpty(), 5000);
    QCOMPARE(reader.payloads.first().size(), 28); // 2.0, SFP 1 and SFP 2

    // The end of its input is not the end of the unit; a command before it is run.
    program.write("sfp_eth.type other\n");
    program.closeWriteChannel();
    reader.payloads.clear();
    QTRY_VERIFY_WITH_TIMEOUT(reader.payloads.size() >= 10 && reader.payloads.last().size() == 38,
                             5000);
    QCOMPARE(program.state(), QProcess::Running);

    port.write(worked_control_frame);
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += program.readAllStandardOutput()).contains("CRC ok"), 5000);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    output += program.readAllStandardOutput();
    const QList<QByteArray> output_lines = output.trimmed().split('\n');
    QVERIFY2(output_lines.last().contains("status frames sent: ") &&
                 output_lines.last().contains("control frames received: 1 "),
             output_lines.last().constData());
    QVERIFY(program.readAllStandardError().isEmpty());
}

void Tst_unit_sim::program_rejects_bad_start_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("bad command") << QStringList{"--set", "lock 99"};
    QTest::newRow("device that is not there")
        << QStringList{"--device", "/nonexistent/ttyVELMAR", "--baud", "115200"};
}

void Tst_unit_sim::program_rejects_bad_start()
{
    QFETCH(QStringList, arguments);

    QProcess program;
    program.start(QStringLiteral(VELMAR_UNIT_SIM_PATH), arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY(program.exitCode() != 0);
    QVERIFY(program.readAllStandardOutput().isEmpty());
    const QByteArray error = program.readAllStandardError();
    QCOMPARE(error.count('\n'), 1);
    QVERIFY(error.startsWith("velmar-unit-sim: "));
}

QTEST_GUILESS_MAIN(Tst_unit_sim)

#include "tst_unit_sim.moc"
