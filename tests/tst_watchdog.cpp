// The once-a-second link watchdog: what a tick with and without frames does
// to the window, when a connection is announced and when the refresh timer
// runs. Ticks are driven by hand; the window's own watchdog timer is stopped.

#include "app/mainwindow.h"
#include "link/frame_builder.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtCore/QMap>
#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <cstdint>
#include <memory>

namespace {

const QString green = QStringLiteral("color: green");
const QString red = QStringLiteral("color: red");
const QString black = QStringLiteral("color: black");
const QString grey = QStringLiteral("color: grey");
const QString sentinel = QStringLiteral("color: blue");

constexpr uint8_t v1_1 = 0x11;
constexpr uint8_t v2_0 = 0x20;
constexpr int refresh_ms = 2000;

// A healthy unit with all three cages and the Dante submodule fitted, so that
// every label of the window has something to show.
QByteArray status_frame(uint8_t version, uint8_t gain_0 = 32, uint8_t gain_1 = 32,
                        int8_t threshold = -28)
{
    const int block_size = version < v1_1 ? 5 : 10;
    QByteArray payload = QByteArray::fromHex("000F0F29"); // locked, links up, 3 cages
    payload[0] = char(version);
    for (int cage = 0; cage < 3; ++cage) {
        QByteArray block(block_size, '\0');
        block[0] = char(0x90 | cage); // ch 1 Rx, ch 2 Tx, temperature code
        block[1] = char(0xFF);        // -20.0 dBm received
        block[2] = char(0x38);
        if (block_size > 5) {
            block[5] = char(0x05); // 1310 nm
            block[6] = char(0x1E);
        }
        payload.append(block);
    }
    if (version >= v2_0) {
        payload.append(char(0x7F)); // present, everything ok
        payload.append(char(gain_0)).append(char(gain_1)).append(char(threshold));
    }
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                       static_cast<std::size_t>(payload.size()));
}

QByteArray with_bad_crc(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x01);
    return frame;
}

using Shown = QPair<QString, QString>;

QMap<QString, Shown> every_label(MainWindow &window)
{
    QMap<QString, Shown> result;
    const auto labels = window.findChildren<QLabel *>();
    for (const QLabel *label : labels)
        result.insert(label->objectName(), {label->text(), label->styleSheet()});
    return result;
}

// Records, in order, which of the watched widgets changed its enabled state.
class Enable_recorder : public QObject
{
public:
    QStringList changes;

    void watch(QWidget *widget) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            changes.append(watched->objectName());
        return false;
    }
};

} // namespace

class Watchdog_test : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Main_window_probe> probe;
    std::unique_ptr<QSignalSpy> announcements;

    void tick_with(const QByteArray &chunk)
    {
        probe->feed(chunk);
        probe->tick();
    }

    QLabel *label(const QString &name) { return window->findChild<QLabel *>(name); }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void init()
    {
        clear_saved_settings();
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<Main_window_probe>(*window);
        probe->watchdog_timer().stop();
        probe->ui().comboBox_SerialPort->clear();
        announcements =
            std::make_unique<QSignalSpy>(window.get(), &MainWindow::new_connection_is_set);
    }

    void cleanup()
    {
        announcements.reset();
        probe.reset();
        window.reset();
    }

    void no_data_state_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");  // null: the text stays
        QTest::addColumn<QString>("sheet"); // null: the style sheet stays

        const auto rows = [](const QStringList &names, const QString &text, const QString &sheet) {
            for (const QString &name : names)
                QTest::newRow(qPrintable(name)) << name << text << sheet;
        };
        const QString dash = QStringLiteral("--");
        const QString unchanged;

        rows({"label_receiving_status"}, QStringLiteral("Fault"), red);
        rows({"label_rx_fault", "label_tx_fault", "label_overheat"}, dash, black);
        rows({"label_sfp1_present", "label_sfp2_present", "label_sfp_eth_present"}, dash, black);
        rows({"label_link_p1", "label_link_p2", "label_link_f"}, dash, black);
        rows({"label_in_out_1", "label_in_out_2", "label_in_out_3", "label_in_out_4"},
             QStringLiteral("---:"), black);
        rows({"label_lock_1", "label_lock_2", "label_lock_3", "label_lock_4"}, dash, black);
        rows({"label_sfp1_type", "label_sfp2_type", "label_sfp_eth_type"}, dash, black);
        rows({"label_sfp1_rx_pwr_1", "label_sfp1_rx_pwr_2", "label_sfp2_rx_pwr_1",
              "label_sfp2_rx_pwr_2", "label_sfp_eth_rx_pwr_1", "label_sfp_eth_rx_pwr_2"},
             dash, black);
        rows({"label_sfp1_chanel_1", "label_sfp1_chanel_2", "label_sfp2_chanel_1",
              "label_sfp2_chanel_2", "label_sfp_eth_chanel_1", "label_sfp_eth_chanel_2"},
             dash, unchanged);
        rows({"label_sfp1_tx_pwr_1", "label_sfp1_tx_pwr_2", "label_sfp2_tx_pwr_1",
              "label_sfp2_tx_pwr_2", "label_sfp_eth_tx_pwr_1", "label_sfp_eth_tx_pwr_2"},
             dash, unchanged);
        rows({"label_sfp1_temp", "label_sfp2_temp", "label_sfp_eth_temp"}, dash, unchanged);
        rows({"label_sfp1_wl1", "label_sfp1_wl2", "label_sfp2_wl1", "label_sfp2_wl2",
              "label_sfp_eth_wl1", "label_sfp_eth_wl2"},
             dash, unchanged);
        rows({"label_crc_ctrl", "label_protocol_ver"}, dash, black);
        rows({"label_system", "label_sync", "label_dante_link", "label_input_0", "label_input_1",
              "label_mic_type"},
             dash, grey);
        // Captions and the port label are not status: the watchdog leaves them.
        rows({"label_sfp1_ch1_text", "label_sfp2_rxpwr1_text", "label_sfp_eth_temp_text",
              "label_sfp1_wl2_text", "label_SerialPort_Ok"},
             unchanged, unchanged);
    }

    void no_data_state()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, sheet);

        tick_with(status_frame(v2_0));
        QLabel *target = label(name);
        QVERIFY2(target, qPrintable(name));
        if (!text.isNull())
            target->setText(QStringLiteral("?"));
        const QString text_before = target->text();
        target->setStyleSheet(sentinel);

        probe->tick(); // nothing arrived in this second

        QCOMPARE(target->text(), text.isNull() ? text_before : text);
        QCOMPARE(target->styleSheet(), sheet.isNull() ? sentinel : sheet);
    }

    void no_data_disables_the_controls_in_order()
    {
        Ui::MainWindow &ui = probe->ui();
        tick_with(status_frame(v2_0)); // Dante present and 2.0: all four enabled
        QWidget *const controls[] = {ui.box_gain_0, ui.box_gain_1, ui.button_reading_gain,
                                     ui.button_trshd_apply};
        Enable_recorder recorder;
        for (QWidget *control : controls) {
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
            recorder.watch(control);
        }

        probe->tick();

        QCOMPARE(recorder.changes, (QStringList{"box_gain_0", "box_gain_1", "button_reading_gain",
                                                "button_trshd_apply"}));
        for (QWidget *control : controls)
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(ui.button_default_set->isEnabled());
        QVERIFY(ui.box_new_trshd->isEnabled());
        QVERIFY(ui.comboBox_SerialPort->isEnabled());
    }

    void frame_activity_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("announced");

        const QByteArray good = status_frame(v2_0);
        const QString ok = QStringLiteral("Ok");
        const QString fault = QStringLiteral("Fault");

        QTest::newRow("nothing") << QByteArray() << fault << 0;
        QTest::newRow("noise without sync") << QByteArray("0123456789ABCDEF") << fault << 0;
        QTest::newRow("frame cut short") << good.left(good.size() - 1) << fault << 0;
        QTest::newRow("sync and length only") << good.left(3) << fault << 0;
        QTest::newRow("good frame") << good << ok << 1;
        QTest::newRow("noise, then good frame") << QByteArray("xyz") + good << ok << 1;
        QTest::newRow("bad CRC") << with_bad_crc(good) << ok << 0;
        QTest::newRow("good, then bad CRC") << good + with_bad_crc(good) << ok << 0;
        QTest::newRow("bad CRC, then good") << with_bad_crc(good) + good << ok << 1;
    }

    void frame_activity()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QString, status);
        QFETCH(int, announced);

        tick_with(chunk);

        QCOMPARE(label("label_receiving_status")->text(), status);
        QCOMPARE(label("label_receiving_status")->styleSheet(), status == "Ok" ? green : red);
        QCOMPARE(announcements->count(), announced);
        QCOMPARE(probe->monotone_timer().isActive(), announced > 0);
        QCOMPARE(probe->rx_byte_count(), 0);
    }

    void tick_table_data()
    {
        QTest::addColumn<bool>("announced_before");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("crc_ok");
        QTest::addColumn<bool>("apply_enabled");
        QTest::addColumn<bool>("announces");
        QTest::addColumn<bool>("announced_after");

        QTest::newRow("new, 1.1") << false << 17 << true << false << false << false;
        QTest::newRow("new, 31") << false << 31 << true << false << false << false;
        QTest::newRow("new, 32") << false << 32 << true << true << true << true;
        QTest::newRow("new, 255") << false << 255 << true << true << true << true;
        QTest::newRow("new, 32, bad CRC") << false << 32 << false << true << false << false;
        QTest::newRow("new, 17, bad CRC") << false << 17 << false << false << false << false;
        QTest::newRow("up, 32") << true << 32 << true << true << false << true;
        QTest::newRow("up, 32, bad CRC") << true << 32 << false << true << false << false;
        QTest::newRow("up, 31") << true << 31 << true << false << false << false;
        QTest::newRow("up, 17, bad CRC") << true << 17 << false << false << false << false;
    }

    void tick_table()
    {
        QFETCH(bool, announced_before);
        QFETCH(int, version);
        QFETCH(bool, crc_ok);
        QFETCH(bool, apply_enabled);
        QFETCH(bool, announces);
        QFETCH(bool, announced_after);

        if (announced_before) {
            tick_with(status_frame(v2_0));
            QCOMPARE(announcements->count(), 1);
            announcements->clear();
        }
        QPushButton *apply = probe->ui().button_trshd_apply;
        apply->setEnabled(!apply_enabled); // the tick has to set it either way

        probe->parcer().protocol_version = uint8_t(version);
        probe->crc_ok() = crc_ok;
        probe->rx_byte_count() = 1;
        probe->tick();

        QCOMPARE(label("label_receiving_status")->text(), QStringLiteral("Ok"));
        QCOMPARE(label("label_receiving_status")->styleSheet(), green);
        QCOMPARE(apply->isEnabled(), apply_enabled);
        QCOMPARE(announcements->count(), announces ? 1 : 0);
        QCOMPARE(probe->monotone_timer().isActive(), announced_after);
        QCOMPARE(probe->connection_announced(), announced_after);
        QCOMPARE(probe->rx_byte_count(), 0);
        if (announced_after)
            QCOMPARE(probe->monotone_timer().interval(), refresh_ms);
    }

    void steady_stream_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("announcements");

        QTest::newRow("1.1") << int(v1_1) << 0;
        QTest::newRow("2.0") << int(v2_0) << 1;
        QTest::newRow("3.0") << 0x30 << 1;
    }

    void steady_stream()
    {
        QFETCH(int, version);
        QFETCH(int, announcements);

        QTimer &refresh = probe->monotone_timer();
        refresh.setInterval(1);
        tick_with(status_frame(uint8_t(version)) + status_frame(uint8_t(version)));
        QCOMPARE(this->announcements->count(), announcements);
        QCOMPARE(refresh.isActive(), announcements > 0);
        if (refresh.isActive()) {
            QCOMPARE(refresh.interval(), refresh_ms);
            // An interval no tick would set reveals any restart of the timer.
            refresh.setInterval(refresh_ms + 1);
        }

        for (int second = 0; second < 4; ++second)
            tick_with(status_frame(uint8_t(version)));

        QCOMPARE(this->announcements->count(), announcements);
        QCOMPARE(refresh.isActive(), announcements > 0);
        if (refresh.isActive())
            QCOMPARE(refresh.interval(), refresh_ms + 1);
        QCOMPARE(probe->ui().button_trshd_apply->isEnabled(), version >= v2_0);
        QCOMPARE(label("label_receiving_status")->text(), QStringLiteral("Ok"));
    }

    void silence_then_resume_announces_again()
    {
        tick_with(status_frame(v2_0));
        QCOMPARE(announcements->count(), 1);

        probe->tick();
        probe->tick();
        QCOMPARE(label("label_receiving_status")->text(), QStringLiteral("Fault"));
        QVERIFY(!probe->monotone_timer().isActive());
        QVERIFY(!probe->connection_announced());
        QCOMPARE(announcements->count(), 1);

        tick_with(status_frame(v2_0));
        QCOMPARE(announcements->count(), 2);
        QVERIFY(probe->monotone_timer().isActive());
        QCOMPARE(probe->monotone_timer().interval(), refresh_ms);
        QCOMPARE(label("label_receiving_status")->text(), QStringLiteral("Ok"));
        QCOMPARE(label("label_protocol_ver")->text(), QStringLiteral("2.0, Ok"));
    }

    void bad_crc_while_announced_blanks_nothing()
    {
        tick_with(status_frame(v2_0));
        QVERIFY(probe->monotone_timer().isActive());
        const auto before = every_label(*window);

        tick_with(status_frame(v2_0) + with_bad_crc(status_frame(v2_0)));

        QVERIFY(!probe->monotone_timer().isActive());
        QVERIFY(!probe->connection_announced());
        QCOMPARE(every_label(*window), before); // "Ok" stays, nothing is blanked
        QVERIFY(probe->ui().button_trshd_apply->isEnabled());

        tick_with(status_frame(v2_0));
        QCOMPARE(announcements->count(), 2);
        QVERIFY(probe->monotone_timer().isActive());
    }

    void announcement_takes_the_threshold_before_the_gains()
    {
        Ui::MainWindow &ui = probe->ui();
        QList<double> gain_when_threshold_set;
        QList<int> threshold_when_gain_set;
        connect(ui.box_new_trshd, QOverload<int>::of(&QSpinBox::valueChanged), this,
                [&] { gain_when_threshold_set.append(ui.box_gain_0->value()); });
        connect(ui.box_gain_0, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [&] { threshold_when_gain_set.append(probe->rx_trshd()); });

        tick_with(status_frame(v2_0, 40, 24, -25));

        QCOMPARE(announcements->count(), 1);
        QCOMPARE(gain_when_threshold_set, QList<double>{47.0});
        QCOMPARE(threshold_when_gain_set, QList<int>{-25});
        QCOMPARE(probe->rx_trshd(), int8_t(-25));
        QCOMPARE(ui.box_new_trshd->value(), -25);
        QCOMPARE(ui.box_gain_0->value(), 53.0);
        QCOMPARE(ui.box_gain_1->value(), 41.0);
        // The editors now agree with the unit, so the announcement sent nothing.
        QVERIFY(!probe->serial_port().is_waiting_for_ack());
        QCOMPARE(probe->serial_port().queued_count(), 0);
    }
};

QTEST_MAIN(Watchdog_test)
#include "tst_watchdog.moc"
