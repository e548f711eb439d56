#include "link/frame.h"
#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>

QStringList events; // the decoder's signals and the log lines, in order
QtMessageHandler previous_handler = nullptr;

template <typename... T> QString join(T... values)
{
    return QStringList{QString::number(double(values))...}.join(QLatin1Char(' '));
}

// Distinct starting values: what a payload does not carry must come out unchanged.
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
    std::tie(d.cpu_gain[0], d.cpu_gain[1], p.parcer().cpu_rx_trshd) = std::make_tuple(7, 9, -5);
}

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

class Tst_decoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        previous_handler = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                events << message;
                previous_handler(type, context, message);
            });
    }
    void cleanupTestCase() { qInstallMessageHandler(previous_handler); }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("expected"); // "-": an absent cage, as seeded; none: dropped
        QTest::addColumn<QString>("emitted");
        const auto row = [](const char *name, const QByteArray &payload, const char *expected,
                            const char *emitted) {
            QTest::newRow(name) << QByteArray::fromHex(payload) << expected << emitted;
        };
        row("0x10, cages 0x21", "10451121 93FF38007B 6FFFF6FED4",
            "1 1 1 2 40 -20 13 14 12.3 0 0 0 0|-|2 1 2 1 100 32 -30 -1 35 0 0 0 0|"
            "1 1 2 1 2 1 2 7 9|1 0 0 1 0 1 0 1 1 0 0 -5",
            "ack|redraw");
        row("0x0F as 0x10, bits 6-7 no cage", "0F0000C2 51FFFB0000",
            "2 1 1 1 30 -0.5 0 14 15 0 0 0 0|-|-|1 1 2 1 2 1 2 7 9|0 0 0 0 0 0 0 1 0 0 0 -5",
            "redraw");
        for (const char *payload :
             {"11000704 27FFC9123405D2010201", "1F000704 27FFC9123405D2010201"})
            row(payload, payload,
                "-|1 1 2 0 60 22 23 -5.5 25 1490 258 1 0|-|1 1 2 1 2 1 2 7 9|"
                "0 0 0 0 0 0 0 0 1 1 1 -5",
                "redraw");
        row("0x20, no cage", "203A0200 2B053FE4",
            "-|-|-|1 2 1 2 1 2 1 5 63|0 1 1 0 1 0 1 0 0 1 0 -28", "threshold -28 shown -28|redraw");
        row("0x30", "30001C00 2B053FE4", "-|-|-|1 2 1 2 1 2 1 5 63|0 0 0 0 0 0 0 1 0 0 1 -28",
            "ack|threshold -28 shown -28|redraw");
        row("0x20, three cages, 38 bytes",
            "20FFE939 D0FF380064051E060EFE AF000AFFFF04F6123401 44123480 00FFFF000003 7F2A1500",
            "1 1 1 3 25 -20 13 14 15 1310 1550 0 1|2 1 2 2 100 22 23 1 -0.1 1270 4660 1 0|"
            "3 1 0 1 45 32 -3276.8 34 35 65535 0 1 1|1 2 2 2 2 2 2 42 21|1 1 1 1 1 1 1 1 1 0 0 0",
            "threshold 0 shown 0|redraw");
        row("Dante 0x7E", "20000800 7E112280", "-|-|-|0 0 0 0 0 0 0 7 9|0 0 0 0 0 0 0 1 0 0 0 -128",
            "threshold -128 shown -35|redraw");
        row("0x81", "20001000 810C0DE4", "-|-|-|1 1 1 1 1 1 1 12 13|0 0 0 0 0 0 0 0 0 0 0 -28",
            "ack|Invalid message from dante submodule|threshold -28 shown -28|redraw");
        const char *dropped = "Short status message dropped";
        // Too short for their version and cages; the ack bit and fault flags would show if decoded.
        row("3 bytes", "207F1F", "", dropped);
        row("0x20 no cage, threshold missing", "207F1F00 010203", "", dropped);
        row("0x11 two cages, one block", "117F1F05 03030303030303030303", "", dropped);
        row("0x20 three cages, no Dante", "207F1F3F" + QByteArray(60, '0'), "", dropped);
        row("0x11 no cage, 6 bytes extra", "117F1F00 010203040506",
            "-|-|-|1 1 2 1 2 1 2 7 9|1 1 1 1 1 1 1 1 1 1 1 -5", "ack|redraw");
    }

    void decode()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, expected);
        QFETCH(QString, emitted);
        Window_under_test w;
        Main_window_probe &probe = w.probe; // poison that no row may read:
        probe.feed(status_frame(QByteArray::fromHex("20000000") +
                                QByteArray(int(frame::max_payload) - 4, char(0xA5))));
        seed(probe);
        const QStringList before = state(probe);
        QStringList want = expected.isEmpty() ? before : expected.split('|');
        for (int cage = 0; cage < 3; ++cage)
            if (want[cage] == "-")
                want[cage] = "0 0 0 0 " + before[cage].section(' ', 4);
        probe.rx_byte_count() = 0;
        probe.crc_ok() = false;
        // Announced at once, before SFP 1's seeded type 3 is overwritten.
        connect(&probe.parcer(), &Parcer::ack_recieved, &w.window,
                [&probe] { events << (probe.sfp(0).type == 3 ? "ack" : "ack after the cages"); });
        QSpinBox *box = probe.ui().box_current_trshd;
        connect(&probe.parcer(), &Parcer::rx_power_trshd_recieved, box, [box](int dbm) {
            events << QStringLiteral("threshold %1 shown %2").arg(dbm).arg(box->value());
        });
        connect(&probe.parcer(), &Parcer::update_data_ready, &w.window, [] { events << "redraw"; });
        events.clear();

        probe.feed(status_frame(payload));
        QCOMPARE(events.join('|'), emitted);
        QCOMPARE(state(probe), want);
        QVERIFY(probe.crc_ok()); // and it counts for the watchdog
        QVERIFY(probe.rx_byte_count() > 0);
    }
};

QTEST_MAIN(Tst_decoder)
#include "tst_decoder.moc"
