// The control frames the window sends, read off the far end of a
// pseudo-terminal as the unit would see them: Default Set, the threshold
// editor, the refresh and what an announced connection puts into it.

#include "app/mainwindow.h"
#include "link/frame_builder.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtCore/QElapsedTimer>
#include <QtTest/QtTest>

#include <cstdint>
#include <memory>

#ifdef VELMAR_HAVE_UNIT_SIM

#include "tools/pty_device.h"

namespace {

constexpr int frame_size = 9;
constexpr int wire_timeout_ms = 3000;
// How long the line has to stay quiet before "nothing was sent" is believed.
constexpr int quiet_ms = 300;

QByteArray from_payload(const QByteArray &payload)
{
    return Frame_builder::build_control(reinterpret_cast<const uint8_t *>(payload.constData()),
                                        static_cast<std::size_t>(payload.size()));
}

// A control frame around the given payload, written as hex.
QByteArray control(const char *payload_hex)
{
    return from_payload(QByteArray::fromHex(payload_hex));
}

QByteArray status(const QByteArray &payload)
{
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                       static_cast<std::size_t>(payload.size()));
}

// A 1.1 unit without cages that acknowledges: touches neither gains nor threshold.
QByteArray acknowledgement()
{
    return status(QByteArray::fromHex("110F1800"));
}

// A 2.0 unit without cages reporting the given gains and threshold.
QByteArray unit_status(int gain_0, int gain_1, int threshold)
{
    QByteArray payload = QByteArray::fromHex("200F0800"
                                             "7F");
    payload.append(char(gain_0)).append(char(gain_1)).append(char(threshold));
    return status(payload);
}

uint8_t code_of(double db)
{
    return uint8_t(qRound((db - 23.0) / 0.75));
}

enum class Then
{
    apply,
    gain_change,
    nothing
};

} // namespace

Q_DECLARE_METATYPE(Then)

class Control_test : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Pty_device> unit;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Main_window_probe> probe;

    // What the unit received within the timeout, once `bytes` have come.
    QByteArray wire(int bytes, int timeout_ms = wire_timeout_ms)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < bytes && clock.elapsed() < timeout_ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            got += unit->read_available(10);
        }
        return got;
    }

    QByteArray next_frame() { return wire(frame_size); }
    QByteArray quiet_line() { return wire(1, quiet_ms); }

    void unit_sends(const QByteArray &bytes)
    {
        const int32_t before = probe->rx_byte_count();
        QVERIFY(unit->write_all(bytes));
        QTRY_VERIFY_WITH_TIMEOUT(probe->rx_byte_count() != before, wire_timeout_ms);
    }

    // Sets a gain box without sending: the unit is taken to report that gain.
    void preset_box(int index, double db, uint8_t unit_code)
    {
        Dante_module &dante = probe->dante();
        dante.cpu_gain[index] = code_of(db);
        (index == 0 ? probe->ui().box_gain_0 : probe->ui().box_gain_1)->setValue(db);
        dante.cpu_gain[index] = unit_code;
    }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void init()
    {
        clear_saved_settings();
        unit = std::make_unique<Pty_device>();
        QVERIFY2(unit->open(), qPrintable(unit->error_string()));
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<Main_window_probe>(*window);
        probe->watchdog_timer().stop();
        // Qt does not list pseudo-terminals; offer the unit's line as the only port.
        QComboBox *ports = probe->ui().comboBox_SerialPort;
        ports->clear();
        ports->addItem(unit->slave_path());
        QCOMPARE(probe->ui().label_SerialPort_Ok->text(), QStringLiteral("Ok"));
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
        unit.reset();
    }

    void default_set_data()
    {
        QTest::addColumn<double>("box_0");
        QTest::addColumn<double>("box_1");
        QTest::addColumn<int>("unit_0");
        QTest::addColumn<int>("unit_1");
        QTest::addColumn<int>("rx_trshd");
        QTest::addColumn<QList<QByteArray>>("frames");

        QTest::newRow("both at 47.0")
            << 47.0 << 47.0 << 32 << 32 << 0
            << QList<QByteArray>{QByteArray::fromHex("525004202020E4D486")};
        QTest::newRow("box 0 at 50.0, unit at 36/32")
            << 50.0 << 47.0 << 36 << 32 << -20
            << QList<QByteArray>{control("202020EC"), control("202020E4")};
        QTest::newRow("box 1 at 50.0, unit at 32/36")
            << 47.0 << 50.0 << 32 << 36 << -20
            << QList<QByteArray>{control("202020EC"), control("202020E4")};
        QTest::newRow("both at 50.0, unit at 36/36")
            << 50.0 << 50.0 << 36 << 36 << -20
            << QList<QByteArray>{control("202024EC"), control("202020EC"), control("202020E4")};
        QTest::newRow("both changed, unit already at 32/32")
            << 50.0 << 50.0 << 32 << 32 << -5 << QList<QByteArray>{control("202020E4")};
        QTest::newRow("boxes unchanged, unit elsewhere")
            << 47.0 << 47.0 << 36 << 20 << -20 << QList<QByteArray>{control("202020E4")};
    }

    void default_set()
    {
        QFETCH(double, box_0);
        QFETCH(double, box_1);
        QFETCH(int, unit_0);
        QFETCH(int, unit_1);
        QFETCH(int, rx_trshd);
        QFETCH(QList<QByteArray>, frames);

        preset_box(0, box_0, uint8_t(unit_0));
        preset_box(1, box_1, uint8_t(unit_1));
        probe->rx_trshd() = int8_t(rx_trshd);
        QCOMPARE(quiet_line(), QByteArray());

        probe->ui().button_default_set->click();

        QCOMPARE(probe->serial_port().queued_count(), frames.size() - 1);
        for (int i = 0; i < frames.size(); ++i) {
            if (i > 0)
                unit_sends(acknowledgement());
            QCOMPARE(next_frame().toHex(' '), frames[i].toHex(' '));
        }
        unit_sends(acknowledgement());
        QCOMPARE(quiet_line(), QByteArray());

        QCOMPARE(probe->ui().box_gain_0->value(), 47.0);
        QCOMPARE(probe->ui().box_gain_1->value(), 47.0);
        QCOMPARE(probe->ui().box_new_trshd->value(), -28);
        QCOMPARE(probe->rx_trshd(), int8_t(-28));
    }

    void threshold_entry_data()
    {
        QTest::addColumn<int>("rx_trshd");
        QTest::addColumn<int>("entered");
        QTest::addColumn<Then>("then");
        QTest::addColumn<QByteArray>("frame"); // empty: nothing goes out
        QTest::addColumn<int>("rx_trshd_after");

        QTest::newRow("-30 applied") << -20 << -30 << Then::apply << control("202020E2") << -30;
        QTest::newRow("-35 applied") << 0 << -35 << Then::apply << control("202020DD") << -35;
        QTest::newRow("0 applied") << -20 << 0 << Then::apply << control("20202000") << 0;
        QTest::newRow("-30 entered only") << -20 << -30 << Then::nothing << QByteArray() << -20;
        QTest::newRow("-30 entered, gain changed")
            << -20 << -30 << Then::gain_change << control("202120EC") << -20;
    }

    void threshold_entry()
    {
        QFETCH(int, rx_trshd);
        QFETCH(int, entered);
        QFETCH(Then, then);
        QFETCH(QByteArray, frame);
        QFETCH(int, rx_trshd_after);

        Ui::MainWindow &ui = probe->ui();
        probe->rx_trshd() = int8_t(rx_trshd);
        ui.box_new_trshd->setValue(entered);
        if (then == Then::apply) {
            ui.button_trshd_apply->setEnabled(true); // as a tick from a 2.0 unit leaves it
            ui.button_trshd_apply->click();
        } else if (then == Then::gain_change) {
            ui.box_gain_0->setValue(47.75);
        }

        if (frame.isEmpty())
            QCOMPARE(quiet_line(), QByteArray());
        else
            QCOMPARE(next_frame().toHex(' '), frame.toHex(' '));
        QCOMPARE(probe->rx_trshd(), int8_t(rx_trshd_after));
    }

    void refresh_waits_for_an_idle_channel_data()
    {
        QTest::addColumn<int>("outstanding"); // frames handed to the queue before the refresh

        QTest::newRow("idle") << 0;
        QTest::newRow("one in flight") << 1;
        QTest::newRow("one in flight, one queued") << 2;
    }

    void refresh_waits_for_an_idle_channel()
    {
        QFETCH(int, outstanding);

        probe->rx_trshd() = -28;
        const QByteArray expected = control("202020E4");
        for (int i = 0; i < outstanding; ++i)
            probe->packet_send();
        if (outstanding > 0)
            QCOMPARE(next_frame(), expected);

        probe->monotone_send();

        if (outstanding == 0) {
            QCOMPARE(next_frame(), expected);
            return;
        }
        QCOMPARE(quiet_line(), QByteArray());
        QCOMPARE(probe->serial_port().queued_count(), outstanding - 1);
        // Dropped, not delayed: acknowledging brings only what was queued.
        unit_sends(acknowledgement());
        QCOMPARE(wire(2 * frame_size, quiet_ms + 200), outstanding == 2 ? expected : QByteArray());
    }

    void announced_connection_repeats_the_units_values_data()
    {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("gain_0");
        QTest::addColumn<int>("gain_1");
        QTest::addColumn<QByteArray>("at_announcement"); // empty: nothing
        QTest::addColumn<QByteArray>("refresh");
        QTest::addColumn<int>("box_shows");

        QTest::newRow("-25, 10, 20")
            << -25 << 10 << 20 << QByteArray() << control("200A14E7") << -25;
        QTest::newRow("-40 goes back unchanged")
            << -40 << 32 << 32 << QByteArray() << control("202020D8") << -35;
        QTest::newRow("+5 goes back unchanged")
            << 5 << 63 << 0 << QByteArray() << control("203F0005") << 0;
        // A code the gain box cannot show is sent back as 63, carrying the
        // threshold the announcement has already taken.
        QTest::newRow("gain 64") << -25 << 64 << 32 << control("203F20E7") << control("203F20E7")
                                 << -25;
    }

    void announced_connection_repeats_the_units_values()
    {
        QFETCH(int, threshold);
        QFETCH(int, gain_0);
        QFETCH(int, gain_1);
        QFETCH(QByteArray, at_announcement);
        QFETCH(QByteArray, refresh);
        QFETCH(int, box_shows);

        unit_sends(unit_status(gain_0, gain_1, threshold));
        QSignalSpy announced(window.get(), &MainWindow::new_connection_is_set);
        probe->tick();
        QCOMPARE(announced.count(), 1);
        QCOMPARE(probe->ui().box_new_trshd->value(), box_shows);
        QCOMPARE(probe->rx_trshd(), int8_t(threshold));

        if (at_announcement.isEmpty()) {
            QCOMPARE(quiet_line(), QByteArray());
        } else {
            QCOMPARE(next_frame().toHex(' '), at_announcement.toHex(' '));
            unit_sends(acknowledgement());
        }

        probe->monotone_send();
        QCOMPARE(next_frame().toHex(' '), refresh.toHex(' '));
    }
};

#else

class Control_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void control_frames_on_the_line()
    {
        QSKIP("built without the tools: no pseudo-terminal to read the line from");
    }
};

#endif

QTEST_MAIN(Control_test)
#include "tst_control.moc"
