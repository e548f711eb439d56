// How the window turns one decoded status message into words and colours:
// fault indicators, in/out rows, links, CRC control and the protocol version.
// Every case is driven through the receiver with a real status frame, so the
// decoder and the redraw run as they do on the line.

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
// A sheet no rule of the window ever sets: survives only if nothing touches it.
const QString sentinel = QStringLiteral("color: blue");

constexpr uint8_t v1_0 = 0x10;
constexpr uint8_t v1_1 = 0x11;
constexpr uint8_t v2_0 = 0x20;

// Byte 1
constexpr uint8_t all_locked = 0x0F;
constexpr uint8_t overheat_flag = 0x10;
constexpr uint8_t tx_fault_flag = 0x20;
constexpr uint8_t rx_fault_flag = 0x40;
// Byte 2
constexpr uint8_t link_f_up = 0x01;
constexpr uint8_t link_p1_up = 0x02;
constexpr uint8_t link_p2_up = 0x04;
constexpr uint8_t links_valid = 0x08;
// Byte 3, two bits per cage
constexpr uint8_t sfp1_video = 0x01;
constexpr uint8_t sfp2_ethernet = 0x08;
constexpr uint8_t sfp_eth_ethernet = 0x20;

constexpr uint8_t none = 0;
constexpr uint8_t rx = 1;
constexpr uint8_t tx = 2;
constexpr uint8_t unassigned = 3;

// The unit's status message, as far as these rules look at it.
struct Status
{
    uint8_t version = v2_0;
    uint8_t flags = all_locked;
    uint8_t links = links_valid | link_f_up | link_p1_up | link_p2_up;
    uint8_t cages = sfp1_video | sfp2_ethernet;
    uint8_t directions[3][2] = {{rx, tx}, {rx, tx}, {rx, tx}};

    QByteArray frame() const
    {
        const int block_size = version < v1_1 ? 5 : 10;
        QByteArray payload;
        payload.append(char(version)).append(char(flags)).append(char(links)).append(char(cages));
        for (int cage = 0; cage < 3; ++cage) {
            if (((cages >> (2 * cage)) & 0x03) == 0)
                continue;
            QByteArray block(block_size, '\0');
            block[0] = char((directions[cage][0] << 4) | (directions[cage][1] << 6));
            payload.append(block);
        }
        if (version >= v2_0)
            payload.append(QByteArray::fromHex("7F2020E4")); // Dante fine, 32/32, -28 dBm
        return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                           static_cast<std::size_t>(payload.size()));
    }
};

using Shown = QPair<QString, QString>; // text, style sheet

Shown shown(const QLabel *label)
{
    return {label->text(), label->styleSheet()};
}

QMap<QString, Shown> every_label(MainWindow &window)
{
    QMap<QString, Shown> result;
    const auto labels = window.findChildren<QLabel *>();
    for (const QLabel *label : labels)
        result.insert(label->objectName(), shown(label));
    return result;
}

} // namespace

class Presentation_test : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Main_window_probe> probe;

    void show_status(const Status &status)
    {
        probe->feed(status.frame());
        QVERIFY(probe->crc_ok());
    }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void init()
    {
        clear_saved_settings();
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<Main_window_probe>(*window);
        // Only the frames fed here may change the window; no port, no ticks.
        probe->watchdog_timer().stop();
        probe->ui().comboBox_SerialPort->clear();
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void fault_indicators_data()
    {
        QTest::addColumn<int>("cages");
        QTest::addColumn<int>("flags");
        QTest::addColumn<Shown>("rx_fault");
        QTest::addColumn<Shown>("tx_fault");
        QTest::addColumn<Shown>("overheat");

        const Shown blank{QStringLiteral("--"), grey};
        const Shown ok{QStringLiteral("Ok"), green};
        const Shown fault{QStringLiteral("Fault"), red};
        const Shown error{QStringLiteral("Error"), red};
        const int all_faults = rx_fault_flag | tx_fault_flag | overheat_flag;

        QTest::newRow("only SFP Eth, rx fault")
            << int(sfp_eth_ethernet) << int(rx_fault_flag) << blank << blank << blank;
        QTest::newRow("no cage, every fault") << 0 << all_faults << blank << blank << blank;
        QTest::newRow("SFP 2 only, overheat")
            << int(sfp2_ethernet) << int(overheat_flag) << ok << ok << error;
        QTest::newRow("SFP 1 only, rx fault")
            << int(sfp1_video) << int(rx_fault_flag) << fault << ok << ok;
        QTest::newRow("both cages, tx fault")
            << int(sfp1_video | sfp2_ethernet) << int(tx_fault_flag) << ok << fault << ok;
        QTest::newRow("both cages, every fault")
            << int(sfp1_video | sfp2_ethernet) << all_faults << fault << fault << error;
        QTest::newRow("both cages, healthy")
            << int(sfp1_video | sfp2_ethernet) << 0 << ok << ok << ok;
    }

    void fault_indicators()
    {
        QFETCH(int, cages);
        QFETCH(int, flags);
        QFETCH(Shown, rx_fault);
        QFETCH(Shown, tx_fault);
        QFETCH(Shown, overheat);

        Status status;
        status.cages = uint8_t(cages);
        status.flags = uint8_t(flags);
        show_status(status);

        QCOMPARE(shown(probe->ui().label_rx_fault), rx_fault);
        QCOMPARE(shown(probe->ui().label_tx_fault), tx_fault);
        QCOMPARE(shown(probe->ui().label_overheat), overheat);
    }

    void in_out_rows_data()
    {
        QTest::addColumn<int>("cages");
        QTest::addColumn<QVector<int>>("directions"); // SFP 1 ch 1, ch 2, SFP 2 ch 1, ch 2
        QTest::addColumn<int>("locks");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QVector<Shown>>("lock_labels");

        const int both = sfp1_video | sfp2_ethernet;
        const Shown ok{QStringLiteral("Ok"), green};
        const Shown lost{QStringLiteral("Fault"), red};
        const Shown blank{QStringLiteral("--"), grey};

        QTest::newRow("rx, tx, rx, tx, all locked")
            << both << QVector<int>{rx, tx, rx, tx} << 0x0F
            << QStringList{"Out 1:", "In 2:", "Out 3:", "In 4:"} << QVector<Shown>{ok, ok, ok, ok};
        QTest::newRow("row 4 in, its lock lost")
            << both << QVector<int>{tx, tx, tx, tx} << 0x07
            << QStringList{"In 1:", "In 2:", "In 3:", "In 4:"} << QVector<Shown>{ok, ok, ok, lost};
        QTest::newRow("row 1 without direction ignores its lock")
            << both << QVector<int>{none, rx, rx, rx} << 0x01
            << QStringList{"---:", "Out 2:", "Out 3:", "Out 4:"}
            << QVector<Shown>{blank, lost, lost, lost};
        QTest::newRow("unassigned rows follow their locks")
            << both << QVector<int>{unassigned, unassigned, rx, unassigned} << 0x05
            << QStringList{"Unassigned 1:", "Unassigned 2:", "Out 3:", "Unassigned 4:"}
            << QVector<Shown>{ok, lost, ok, lost};
        QTest::newRow("SFP 2 absent blanks rows 3 and 4")
            << int(sfp1_video) << QVector<int>{rx, tx, tx, tx} << 0x0F
            << QStringList{"Out 1:", "In 2:", "---:", "---:"}
            << QVector<Shown>{ok, ok, blank, blank};
    }

    void in_out_rows()
    {
        QFETCH(int, cages);
        QFETCH(QVector<int>, directions);
        QFETCH(int, locks);
        QFETCH(QStringList, captions);
        QFETCH(QVector<Shown>, lock_labels);

        Ui::MainWindow &ui = probe->ui();
        QLabel *const caption_labels[] = {ui.label_in_out_1, ui.label_in_out_2, ui.label_in_out_3,
                                          ui.label_in_out_4};
        QLabel *const lock_widgets[] = {ui.label_lock_1, ui.label_lock_2, ui.label_lock_3,
                                        ui.label_lock_4};
        for (QLabel *label : caption_labels)
            label->setStyleSheet(sentinel);

        Status status;
        status.cages = uint8_t(cages);
        status.flags = uint8_t(locks);
        for (int i = 0; i < 4; ++i)
            status.directions[i / 2][i % 2] = uint8_t(directions[i]);
        show_status(status);

        for (int row = 0; row < 4; ++row) {
            QCOMPARE(caption_labels[row]->text(), captions[row]);
            // The caption's colour belongs to the watchdog, never to the redraw.
            QCOMPARE(caption_labels[row]->styleSheet(), sentinel);
            QCOMPARE(shown(lock_widgets[row]), lock_labels[row]);
        }
    }

    void links_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("links");
        QTest::addColumn<Shown>("link_f");
        QTest::addColumn<Shown>("link_p1");
        QTest::addColumn<Shown>("link_p2");

        const Shown up{QStringLiteral("Link"), green};
        const Shown down{QStringLiteral("Fault"), black};
        const Shown unknown{QStringLiteral("Not available"), grey};

        QTest::newRow("f up, p1 down, p2 up")
            << int(v2_0) << int(links_valid | link_f_up | link_p2_up) << up << down << up;
        QTest::newRow("all down is black, not red")
            << int(v1_1) << int(links_valid) << down << down << down;
        QTest::newRow("not valid, all up") << int(v2_0) << int(link_f_up | link_p1_up | link_p2_up)
                                           << unknown << unknown << unknown;
        QTest::newRow("not valid, all down") << int(v1_1) << 0 << unknown << unknown << unknown;
        QTest::newRow("1.0 always reports links")
            << int(v1_0) << int(link_p1_up) << down << up << down;
    }

    void links()
    {
        QFETCH(int, version);
        QFETCH(int, links);
        QFETCH(Shown, link_f);
        QFETCH(Shown, link_p1);
        QFETCH(Shown, link_p2);

        Status status;
        status.version = uint8_t(version);
        status.links = uint8_t(links);
        show_status(status);

        QCOMPARE(shown(probe->ui().label_link_f), link_f);
        QCOMPARE(shown(probe->ui().label_link_p1), link_p1);
        QCOMPARE(shown(probe->ui().label_link_p2), link_p2);
    }

    void crc_control_data()
    {
        QTest::addColumn<bool>("crc_ok");
        QTest::addColumn<Shown>("expected");

        QTest::newRow("good") << true << Shown{QStringLiteral("Ok"), green};
        QTest::newRow("mismatch") << false << Shown{QStringLiteral("Mistmatch"), red};
    }

    void crc_control()
    {
        QFETCH(bool, crc_ok);
        QFETCH(Shown, expected);

        // A redraw only ever follows a good frame on the line, so the mismatch
        // text is reachable only by redrawing with the flag down.
        show_status(Status());
        probe->crc_ok() = crc_ok;
        probe->redraw();

        QCOMPARE(shown(probe->ui().label_crc_ctrl), expected);
    }

    void protocol_version_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<Shown>("expected");

        const auto ok = [](const char *text) { return Shown{QString::fromLatin1(text), green}; };
        const auto mismatch = [](const char *text) {
            return Shown{QString::fromLatin1(text), red};
        };
        QTest::newRow("16") << 16 << ok("1.0, Ok");
        QTest::newRow("17") << 17 << ok("1.1, Ok");
        QTest::newRow("18") << 18 << mismatch("1.2, Version mistmatch");
        QTest::newRow("31") << 31 << mismatch("1.15, Version mistmatch");
        QTest::newRow("32") << 32 << ok("2.0, Ok");
        QTest::newRow("33") << 33 << mismatch("2.1, Version mistmatch");
        QTest::newRow("0x30") << 0x30 << mismatch("3.0, Version mistmatch");
        QTest::newRow("171") << 171 << mismatch("10.11, Version mistmatch");
        QTest::newRow("0") << 0 << mismatch("0.0, Version mistmatch");
        QTest::newRow("255") << 255 << mismatch("15.15, Version mistmatch");
    }

    void protocol_version()
    {
        QFETCH(int, version);
        QFETCH(Shown, expected);

        // Another version first: the text of one frame must not stick to the next.
        Status status;
        status.version = version == v2_0 ? v1_1 : v2_0;
        show_status(status);
        status.version = uint8_t(version);
        show_status(status);

        QCOMPARE(shown(probe->ui().label_protocol_ver), expected);
    }

    void identical_frames_leave_the_window_unchanged()
    {
        Status status;
        status.flags = rx_fault_flag | 0x05;
        status.links = links_valid | link_p1_up;
        status.directions[1][1] = unassigned;
        show_status(status);
        const auto before = every_label(*window);

        show_status(status);

        QCOMPARE(every_label(*window), before);
    }
};

QTEST_MAIN(Presentation_test)
#include "tst_presentation.moc"
