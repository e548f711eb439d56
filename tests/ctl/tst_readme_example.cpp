// The README's production-test script, run as written against the simulated
// unit: a healthy unit passes, and each way a unit can fail it fails it.
#include "support/child_process.h"
#include "support/steady_unit.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

const QString marker = QStringLiteral("<!-- production-test example");

// The shell block that follows the marker in the README.
QByteArray example_script()
{
    QFile readme(QStringLiteral(VELMAR_README_PATH));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const int start = text.indexOf(QStringLiteral("```sh\n"), text.indexOf(marker));
    const int end = text.indexOf(QStringLiteral("```\n"), start + 1);
    if (text.indexOf(marker) < 0 || start < 0 || end < 0)
        return {};
    return text.mid(start + 6, end - start - 6).toUtf8();
}

} // namespace

class Readme_example_test : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString script;

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray text = example_script();
        QVERIFY2(!text.isEmpty(), "no production-test example in the README");
        script = dir.filePath(QStringLiteral("production-test"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }

    void judges_the_unit_data()
    {
        QTest::addColumn<QStringList>("commands"); // to the simulated unit first
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("said"); // the last line, on stdout or stderr
        QTest::newRow("healthy") << QStringList() << 0 << "PASS";
        QTest::newRow("Rx fault") << QStringList{"rx_fault 1"} << 1 << "FAIL: rx_fault=true";
        QTest::newRow("lock lost")
            << QStringList{"lock 0b0111"} << 1 << "FAIL: locks\\.[1-4]=false";
        QTest::newRow("Dante sync")
            << QStringList{"dante.sync 0"} << 1 << "FAIL: dante\\.[a-z]*_ok=false";
        // Half its statuses lost, the acknowledgement often among them: a later status shows
        // the gains taken.
        QTest::newRow("half the frames with a bad CRC") << QStringList{"badcrc 0.5"} << 0 << "PASS";
        QTest::newRow("acknowledged, gains not taken")
            << QStringList{"apply off"} << 1 << "FAIL: the unit did not take the gains";
    }

    void judges_the_unit()
    {
        QFETCH(QStringList, commands);
        QFETCH(int, exit_code);
        QFETCH(QString, said);
        const auto unit = steady_unit(commands);
        QVERIFY(unit);
        // As an engineer would run it: velmar-ctl found on the PATH.
        Child_process shell(QStringLiteral("/bin/sh"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           QFileInfo(QStringLiteral(VELMAR_CTL_PATH)).path() + QLatin1Char(':') +
                               environment.value(QStringLiteral("PATH")));
        shell.setProcessEnvironment(environment);
        shell.start({script, unit->slave_path()});
        QVERIFY(shell.wait_for_exit());
        const QStringList lines = shell.output_lines() + shell.error_lines();
        QCOMPARE(shell.exit_code(), exit_code);
        QVERIFY2(lines.contains(said), qPrintable(lines.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(Readme_example_test)
#include "tst_readme_example.moc"
