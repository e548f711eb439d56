// The /dev/serial/by-id links velmar-ctl ports lists with each port.
#include "session/port_device.h"

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

class Port_device_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void links_to_a_device_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("links"); // of those below, by name
        QTest::newRow("two adapters' names") << "/dev/null" << QStringList{"usb-A", "usb-B"};
        QTest::newRow("through another link") << "/dev/zero" << QStringList{"usb-C"};
        QTest::newRow("none") << "/dev/full" << QStringList();
    }

    void links_to_a_device()
    {
        QFETCH(QString, device);
        QFETCH(QStringList, links);
        const QTemporaryDir dir, elsewhere;
        const QString zero = elsewhere.filePath(QStringLiteral("zero"));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("usb-B"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("usb-A"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QVERIFY(QFile::link(zero, dir.filePath(QStringLiteral("usb-C"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath("usb-D")));
        QStringList expected;
        for (const QString &link : links)
            expected << dir.filePath(link);
        QCOMPARE(Port_device::links_to(device, dir.path()), expected);
    }
};

QTEST_GUILESS_MAIN(Port_device_test)
#include "tst_port_device.moc"
