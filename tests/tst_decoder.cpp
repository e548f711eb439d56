// Status payloads decoded into a real window's records. The records start from
// distinct values, so what a payload does not carry must come out unchanged, and
// a poisoned buffer gives a block read from the wrong place values no row expects.

#include "link/frame.h"
#include "model/status_layout.h"
#include "support/pty_window.h"
#include "support/status_payload.h"
#include "support/test_settings.h"

#include <QtTest/QtTest>

#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr uint8_t poison = 0xA5;
const QString invalid_dante = QStringLiteral("Invalid message from dante submodule");
const QString short_dropped = QStringLiteral("Short status message dropped");

QStringList events; // the decoder's signals and the debug lines, in order
QtMessageHandler previous_handler = nullptr;

void record_debug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        events << message;
    else
        previous_handler(type, context, message);
}

template <typename... T> QString join(T... values)
{
    return QStringList{QString::number(double(values))...}.join(QLatin1Char(' '));
}

// Cage i (k = 10, 20, 30) starts as a type 3 module with unassigned channels,
// temperature k+1, rx k+2 k+3, tx k+4 k+5, wavelengths k+6 k+7 and flags set.
void seed(Main_window_probe &p)
{
    for (int i = 0; i < 3; ++i) {
        Sfp_module &m = p.sfp(i);
        const int k = 10 * (i + 1);
        m.type = m.chanel_dir[0] = m.chanel_dir[1] = 3;
        m.present = m.chanel_flag[0] = m.chanel_flag[1] = 1;
        m.temperature = k + 1;
        for (int ch = 0; ch < 2; ++ch) {
            m.rx_pwr[ch] = k + 2 + ch;
            m.tx_pwr[ch] = k + 4 + ch;
            m.wavelength[ch] = uint16_t(k + 6 + ch);
        }
    }
    Dante_module &d = p.dante();
    d.present = d.system_state = d.link_state = d.input_type[0] = 1;
    d.sync_state = d.mic_type = d.input_type[1] = 2;
    d.cpu_gain[0] = 7;
    d.cpu_gain[1] = 9;
    p.parcer().cpu_rx_trshd = -5;
}

QString absent(int cage)
{
    const int k = 10 * (cage + 1);
    return "0 0 0 0 " + join(k + 1, k + 2, k + 3, k + 4, k + 5, k + 6, k + 7) + " 1 1";
}

// Per cage: type present dir1 dir2 temperature rx1 rx2 tx1 tx2 wl1 wl2 flag1 flag2;
// Dante: present system sync link mic input0 input1 gain0 gain1;
// then rx_fault tx_fault overheat lock1..4 link_valid link_f link_p1 link_p2 threshold.
QStringList state(Main_window_probe &p)
{
    QStringList out;
    for (int i = 0; i < 3; ++i) {
        const Sfp_module &m = p.sfp(i);
        out << join(m.type, m.present, m.chanel_dir[0], m.chanel_dir[1], m.temperature, m.rx_pwr[0],
                    m.rx_pwr[1], m.tx_pwr[0], m.tx_pwr[1], m.wavelength[0], m.wavelength[1],
                    m.chanel_flag[0], m.chanel_flag[1]);
    }
    const Dante_module &d = p.dante();
    out << join(d.present, d.system_state, d.sync_state, d.link_state, d.mic_type, d.input_type[0],
                d.input_type[1], d.cpu_gain[0], d.cpu_gain[1]);
    const Parcer &c = p.parcer();
    out << join(c.rx_fault, c.tx_fault, c.overheat, c.lock[0], c.lock[1], c.lock[2], c.lock[3],
                c.link_valid, c.link_f, c.link_p1, c.link_p2, c.cpu_rx_trshd);
    return out;
}

} // namespace

class Tst_decoder : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;

private Q_SLOTS:
    void initTestCase()
    {
        isolate_settings();
        previous_handler = qInstallMessageHandler(record_debug);
    }
    void cleanupTestCase() { qInstallMessageHandler(previous_handler); }

    void init()
    {
        clear_saved_settings();
        select_no_port();
        w = std::make_unique<Probed_window>();
        QCOMPARE(w->probe.ui().label_SerialPort_Ok->text(), QStringLiteral("--"));
        seed(w->probe);
        Parcer *p = &w->probe.parcer();
        // Announced at once, before SFP 1's seeded type 3 is overwritten.
        connect(p, &Parcer::ack_recieved, &w->window,
                [this] { events << (w->probe.sfp(0).type == 3 ? "ack" : "ack after the cages"); });
        QSpinBox *box = w->probe.ui().box_current_trshd;
        connect(p, &Parcer::rx_power_trshd_recieved, box, [box](int dbm) {
            events << QStringLiteral("threshold %1 shown %2").arg(dbm).arg(box->value());
        });
        connect(p, &Parcer::update_data_ready, &w->window, [] { events << "redraw"; });
        events.clear();
    }
    void cleanup() { w.reset(); }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("emitted");

        const auto row = [](const char *name, const char *payload, const QStringList &expected,
                            const QStringList &emitted) {
            QTest::newRow(name) << QByteArray::fromHex(payload) << expected << emitted;
        };
        const QString dante = QStringLiteral("1 1 2 1 2 1 2 7 9"); // as seeded
        const QStringList no_cage{absent(0), absent(1), absent(2)};
        const QString ack = QStringLiteral("ack"), redraw = QStringLiteral("redraw");
        row("0x10, cages 0x21", "10451121 93FF38007B 6FFFF6FED4",
            {"1 1 1 2 40 -20 13 14 12.3 0 0 0 0", absent(1), "2 1 2 1 100 32 -30 -1 35 0 0 0 0",
             dante, "1 0 0 1 0 1 0 1 1 0 0 -5"},
            {ack, redraw});
        row("0x0F as 0x10, bits 6-7 no cage", "0F0000C2 51FFFB0000",
            {"2 1 1 1 30 -0.5 0 14 15 0 0 0 0", absent(1), absent(2), dante,
             "0 0 0 0 0 0 0 1 0 0 0 -5"},
            {redraw});
        for (const char *payload :
             {"11000704 27FFC9123405D2010201", "1F000704 27FFC9123405D2010201"})
            row(payload, payload,
                {absent(0), "1 1 2 0 60 22 23 -5.5 25 1490 258 1 0", absent(2), dante,
                 "0 0 0 0 0 0 0 0 1 1 1 -5"},
                {redraw});
        row("0x20, no cage", "203A0200 2B053FE4",
            no_cage + QStringList{"1 2 1 2 1 2 1 5 63", "0 1 1 0 1 0 1 0 0 1 0 -28"},
            {"threshold -28 shown -28", redraw});
        row("0x30 as 0x20", "30001C00 2B053FE4",
            no_cage + QStringList{"1 2 1 2 1 2 1 5 63", "0 0 0 0 0 0 0 1 0 0 1 -28"},
            {ack, "threshold -28 shown -28", redraw});
        row("0x20, three cages, 38 bytes",
            "20FFE939 D0FF380064051E060EFE AF000AFFFF04F6123401 44123480 00FFFF000003 7F2A1500",
            {"1 1 1 3 25 -20 13 14 15 1310 1550 0 1", "2 1 2 2 100 22 23 1 -0.1 1270 4660 1 0",
             "3 1 0 1 45 32 -3276.8 34 35 65535 0 1 1", "1 2 2 2 2 2 2 42 21",
             "1 1 1 1 1 1 1 1 1 0 0 0"},
            {"threshold 0 shown 0", redraw});
        row("Dante absent: states cleared, gains kept", "20000800 7E112280",
            no_cage + QStringList{"0 0 0 0 0 0 0 7 9", "0 0 0 0 0 0 0 1 0 0 0 -128"},
            {"threshold -128 shown -35", redraw});
        row("Dante 0x81", "20001000 810C0DE4",
            no_cage + QStringList{"1 1 1 1 1 1 1 12 13", "0 0 0 0 0 0 0 0 0 0 0 -28"},
            {ack, invalid_dante, "threshold -28 shown -28", redraw});
        row("Dante 0x80", "20000000 800C0D7F",
            no_cage + QStringList{"0 0 0 0 0 0 0 7 9", "0 0 0 0 0 0 0 0 0 0 0 127"},
            {invalid_dante, "threshold 127 shown 0", redraw});
    }

    void decode()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, emitted);

        std::array<uint8_t, frame::max_payload> buffer;
        buffer.fill(poison);
        std::copy(payload.cbegin(), payload.cend(), buffer.begin());
        w->probe.parcer().parcing_data(buffer.data());

        QCOMPARE(state(w->probe), expected);
        QCOMPARE(int(w->probe.parcer().protocol_version), int(buffer[0]));
        QCOMPARE(events, emitted);
    }

    void short_payload_rule()
    {
        // version, cage bits, the size that payload calls for
        const int sizes[][3] = {{0x10, 0x00, 4},  {0x10, 0x30, 9},  {0x10, 0x3F, 19},
                                {0x0F, 0x01, 9},  {0x11, 0x08, 14}, {0x11, 0x21, 24},
                                {0x11, 0xC0, 4},  {0x1F, 0x39, 34}, {0x20, 0x00, 8},
                                {0x20, 0x0C, 18}, {0x20, 0x33, 28}, {0xFF, 0x3F, 38}};
        std::array<uint8_t, frame::max_payload> buffer;
        buffer.fill(poison);
        for (const auto &s : sizes) {
            buffer[0] = uint8_t(s[0]);
            buffer[3] = uint8_t(s[1]);
            QString got; // one digit per length, 0 to 44
            for (int length = 0; length <= int(buffer.size()); ++length)
                got += status::payload_is_complete(buffer.data(), std::size_t(length)) ? '1' : '0';
            QCOMPARE(got, QString(s[2], '0') + QString(int(buffer.size()) + 1 - s[2], '1'));
        }
    }

    void short_frame_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("emitted");

        // Ack bit and fault flags set: each would change something if decoded.
        const QByteArray three_cages = QByteArray::fromHex("207F1F3F") + QByteArray(30, '\0');
        const QStringList dropped{short_dropped};
        QTest::newRow("3 bytes") << QByteArray::fromHex("207F1F") << dropped;
        QTest::newRow("0x20 no cage, threshold missing")
            << QByteArray::fromHex("207F1F00 010203") << dropped;
        QTest::newRow("0x11 two cages, one block")
            << QByteArray::fromHex("117F1F05") + QByteArray(10, '\x03') << dropped;
        QTest::newRow("0x20 three cages, no Dante") << three_cages << dropped;
        QTest::newRow("0x20 three cages, exact")
            << three_cages + QByteArray::fromHex("000000E4")
            << QStringList{"ack", "threshold -28 shown -28", "redraw"};
        QTest::newRow("0x11 no cage, 6 bytes extra")
            << QByteArray::fromHex("117F1F00 010203040506") << QStringList{"ack", "redraw"};
    }

    void short_frame()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, emitted);

        // A full frame first leaves its bytes in the receive buffer, where a
        // short payload's missing tail would be read from.
        QByteArray earlier(int(frame::max_payload), '\x11');
        earlier.replace(0, 4, QByteArray::fromHex("20000000"));
        w->probe.feed(status_frame(earlier));
        seed(w->probe);
        const QStringList before = state(w->probe);
        w->probe.rx_byte_count() = 0;
        w->probe.crc_ok() = false;
        events.clear();

        w->probe.feed(status_frame(payload));

        QCOMPARE(events, emitted);
        QVERIFY(w->probe.crc_ok());
        QVERIFY(w->probe.rx_byte_count() > 0);
        const bool dropped = emitted.contains(short_dropped);
        QCOMPARE(state(w->probe) == before, dropped);
        QCOMPARE(int(w->probe.parcer().protocol_version), dropped ? 0x20 : int(payload.at(0)));
    }
};

QTEST_MAIN(Tst_decoder)
#include "tst_decoder.moc"
