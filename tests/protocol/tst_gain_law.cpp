#include "protocol/gain_law.h"

#include <QtTest/QtTest>

class Tst_gain_law : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversion_data()
    {
        QTest::addColumn<double>("entered");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("on_grid");
        QTest::addColumn<double>("snapped"); // the code's own gain, on the 0.75 dB grid from 23.0
        QTest::newRow("23.0 lowest") << 23.0 << 0 << true << 23.0;
        QTest::newRow("70.25 highest") << 70.25 << 63 << true << 70.25;
        QTest::newRow("47.25 snaps onto 32") << 47.25 << 32 << false << 47.0;
        QTest::newRow("47.5 snaps up") << 47.5 << 33 << false << 47.75;
        QTest::newRow("47.75 on the grid") << 47.75 << 33 << true << 47.75;
        QTest::newRow("47.37 rounds to 47.0") << 47.37 << 32 << false << 47.0;
        QTest::newRow("47.38 rounds to 47.75") << 47.38 << 33 << false << 47.75;
    }

    void conversion()
    {
        QFETCH(double, entered);
        const Gain_law::Entry entry = Gain_law::from_db(entered);
        QTEST(int(entry.code), "code");
        QTEST(entry.on_grid, "on_grid");
        QTEST(Gain_law::to_db(entry.code), "snapped");
    }

    void editable()
    {
        const QVector<QPair<int, int>> reported_to_shown{{0, 0}, {63, 63}, {64, 63}, {255, 63}};
        for (const auto &pair : reported_to_shown)
            QCOMPARE(int(Gain_law::editable(uint8_t(pair.first))), pair.second);
    }

    void as_entered()
    {
        const QVector<QPair<double, double>> typed_to_held{
            {47.374, 47.37}, {47.376, 47.38}, {23.004, 23.0}, {70.249, 70.25}, {47.0, 47.0}};
        for (const auto &pair : typed_to_held)
            QCOMPARE(Gain_law::as_entered(pair.first), pair.second);
        // What the editor holds is what gets converted: 47.376 becomes code 33.
        QCOMPARE(int(Gain_law::from_db(Gain_law::as_entered(47.376)).code), 33);
        QCOMPARE(int(Gain_law::from_db(47.376).code), 32);
    }

    void range()
    {
        QVERIFY(Gain_law::in_range(23.0) && Gain_law::in_range(70.25));
        QVERIFY(!Gain_law::in_range(22.99) && !Gain_law::in_range(70.26));
    }
};

QTEST_GUILESS_MAIN(Tst_gain_law)
#include "tst_gain_law.moc"
