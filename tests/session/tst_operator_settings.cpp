#include "session/operator_settings.h"

#include <QtTest/QtTest>

namespace {

// A unit reporting 47.0 dB (code 32) on both inputs.
const Unit_status::Dante unit_at_47 = Unit_status().dante;

} // namespace

// What the gain editors hold and send for what is typed, the one conversion the window and
// velmar-ctl share.
class Tst_operator_settings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typed_gain_data()
    {
        QTest::addColumn<double>("typed");
        QTest::addColumn<double>("held");  // what the editor ends up holding
        QTest::addColumn<bool>("snapped"); // the editor was told to show held
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("frames"); // control frames for the entry, the unit at code 32
        QTest::newRow("23.0 lowest") << 23.0 << 23.0 << false << 0 << 1;
        QTest::newRow("70.25 highest") << 70.25 << 70.25 << false << 63 << 1;
        QTest::newRow("below the range") << 10.0 << 23.0 << false << 0 << 1;
        QTest::newRow("above the range") << 80.0 << 70.25 << false << 63 << 1;
        QTest::newRow("47.5 snaps up, sent twice") << 47.5 << 47.75 << true << 33 << 2;
        QTest::newRow("47.75 on the grid") << 47.75 << 47.75 << false << 33 << 1;
        QTest::newRow("47.37: hundredths cut, to 47.0") << 47.37 << 47.0 << true << 32 << 0;
        QTest::newRow("47.38 to 47.75") << 47.38 << 47.75 << true << 33 << 2;
        QTest::newRow("47.376 held as 47.38") << 47.376 << 47.75 << true << 33 << 2;
        QTest::newRow("47.374 held as 47.37") << 47.374 << 47.0 << true << 32 << 0;
    }

    void typed_gain()
    {
        QFETCH(double, typed);
        QFETCH(double, held);
        QFETCH(bool, snapped);
        QFETCH(int, code);
        QFETCH(int, frames);
        for (int input = 0; input < Unit_status::input_count; ++input) {
            Operator_settings settings;
            QSignalSpy shown(&settings, &Operator_settings::gain_shown);
            QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
            settings.enter_gain(input, typed, unit_at_47);
            QCOMPARE(settings.gain_db(input), held);
            QCOMPARE(shown.count(), snapped ? 1 : 0);
            if (snapped)
                QCOMPARE(shown.first(), (QVariantList{input, held}));
            QCOMPARE(int(settings.values().gain_codes[input]), code);
            QCOMPARE(int(settings.values().gain_codes[1 - input]), int(Gain_law::initial_code));
            QCOMPARE(sent.count(), frames);
        }
    }

    void reported_gains_data()
    {
        QTest::addColumn<int>("reported"); // code
        QTest::addColumn<double>("held");
        QTest::addColumn<int>("code");   // what goes back to the unit
        QTest::addColumn<int>("frames"); // sent when the editor's code differs from the unit's
        QTest::newRow("0") << 0 << 23.0 << 0 << 0;
        QTest::newRow("63, the editors' top") << 63 << 70.25 << 63 << 0;
        QTest::newRow("64 stops at the top") << 64 << 70.25 << 63 << 1;
        QTest::newRow("255 stops at the top") << 255 << 70.25 << 63 << 1;
    }

    void reported_gains()
    {
        QFETCH(int, reported);
        QFETCH(double, held);
        QFETCH(int, code);
        QFETCH(int, frames);
        Unit_status::Dante unit;
        unit.gain_codes = {{uint8_t(reported), uint8_t(reported)}};
        Operator_settings settings;
        QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
        settings.take_reported_gains(unit);
        for (int input = 0; input < Unit_status::input_count; ++input) {
            QCOMPARE(settings.gain_db(input), held);
            QCOMPARE(int(settings.values().gain_codes[input]), code);
        }
        QCOMPARE(sent.count(), 2 * frames);
    }

    void threshold_kept_to_the_units_range_data()
    {
        QTest::addColumn<int>("applied");
        QTest::addColumn<int>("sent");
        QTest::newRow("-35") << -35 << -35;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-40") << -40 << -35;
        QTest::newRow("5") << 5 << 0;
    }

    void threshold_kept_to_the_units_range()
    {
        QFETCH(int, applied);
        Operator_settings settings;
        QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
        settings.apply_threshold(applied);
        QCOMPARE(sent.count(), 1);
        QTEST(int(sent.first().first().value<Control_payload>().threshold_dbm), "sent");
    }

    void a_reported_threshold_is_taken_as_it_is()
    {
        Operator_settings settings;
        QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
        settings.take_reported_threshold(-40);
        QCOMPARE(int(settings.values().threshold_dbm), -40);
        QCOMPARE(sent.count(), 0);
    }
};

QTEST_GUILESS_MAIN(Tst_operator_settings)
#include "tst_operator_settings.moc"
