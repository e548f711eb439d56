// Nothing from a record, a device or a path reaches a terminal raw: the
// escaping itself over generated text, and each program's words on stdout
// and stderr where such text shows.
#include "console/terminal_text.h"
#include "record/json_record_format.h"
#include "simulator/healthy_unit.h"
#include "support/child_process.h"
#include "support/property.h"
#include "support/record_text.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

// What a terminal acts on: a C0 or C1 control, or DEL; or a code unit that
// no encoding can carry (a lone surrogate does not survive UTF-8).
bool acts_on_a_terminal(const QString &text)
{
    static const QRegularExpression controls(QStringLiteral("[\\x{0}-\\x{1f}\\x{7f}-\\x{9f}]"));
    return QString::fromUtf8(text.toUtf8()) != text || text.contains(controls);
}

// Text as records and device names hold it, in pieces that must be kept
// (printable ASCII but the backslash, so that what escaping adds can be
// told apart; other scripts; emoji, two code units each) or escaped (C0,
// DEL, C1, a lone high surrogate).
void check_escaping_of_any_text()
{
    const auto pieces = *rc::gen::container<std::vector<std::pair<bool, char32_t>>>(
        rc::gen::weightedOneOf<std::pair<bool, char32_t>>({
            {8, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0x20, 0x5c))},
            {2, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0x5d, 0x7f))},
            {1, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0xa0, 0xd800))},
            {1, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0x1f300, 0x1f650))},
            {2, rc::gen::pair(rc::gen::just(false), rc::gen::inRange<char32_t>(0, 0x20))},
            {1, rc::gen::pair(rc::gen::just(false), rc::gen::inRange<char32_t>(0x7f, 0xa0))},
            {1, rc::gen::pair(rc::gen::just(false), rc::gen::inRange<char32_t>(0xd800, 0xdc00))},
        }));
    QString text, kept;
    for (const auto &piece : pieces) {
        const QString unit = piece.second > 0xffff ? QString::fromUcs4(&piece.second, 1)
                                                   : QString(QChar(char16_t(piece.second)));
        text += unit;
        kept += piece.first ? unit : QString();
    }
    const QString shown = Terminal_text::escaped(text);
    RC_ASSERT(!acts_on_a_terminal(shown));
    RC_ASSERT(shown == text || kept != text);
    RC_ASSERT(QString(shown).remove(
                  QRegularExpression(QStringLiteral(R"(\\x[0-9a-f]{2}|\\u[0-9a-f]{4})"))) == kept);
}

// Records and a file whose names, fields or events a terminal would act on.
bool write_hostile_files(const QTemporaryDir &dir)
{
    const QDateTime noon = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
    const auto write = [&dir](const QString &name, const QString &text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
    };
    const QString status = Json_record_format().status_line(noon.addSecs(1), healthy_unit());
    const QString escapes = QStringLiteral(R"(\u001b]0;PWNED\u0007\u001b[2J)");
    return write(QStringLiteral("event.jsonl"),
                 start_line(noon) + '\n' +
                     QStringLiteral(R"({"time":"2026-12-06T12:00:00.500Z","event":"%1"})")
                         .arg(escapes) +
                     '\n' + status + '\n') &&
           write(QStringLiteral("port.jsonl"),
                 start_line(noon).replace(QStringLiteral("/dev/ttyUSB0"), escapes) + '\n' + status +
                     '\n') &&
           write(QStringLiteral("a\nb"), QString());
}

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

} // namespace

class Terminal_text_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Whatever the text: nothing left to act on a terminal, text with nothing
    // to escape left alone, and every character that is not escaped kept,
    // in its order.
    void escaping_holds_for_any_text()
    {
        QVERIFY(holds("any text comes out printable and reads back", &check_escaping_of_any_text,
                      property_seed, 300));
    }

    void programs_escape_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments"); // DIR: a folder of this test's
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("shown"); // in stdout or stderr, as shown
        const QString escapes = QStringLiteral("\x1b]0;PWNED\x07\x1b[2J");
        const QString shown = QStringLiteral("\\x1b]0;PWNED\\x07\\x1b[2J");
        QTest::newRow("report: an event's name")
            << ctl << QStringList{"report", "DIR/event.jsonl"} << 0 << shown;
        QTest::newRow("report: a port's name")
            << ctl << QStringList{"report", "DIR/port.jsonl"} << 0 << shown;
        QTest::newRow("report: a file's name")
            << ctl << QStringList{"report", "DIR/" + escapes} << 10 << shown;
        QTest::newRow("window: a record's path")
            << QStringLiteral(VELMAR_WINDOW_PATH) << QStringList{"--record", "DIR/no/" + escapes}
            << 1 << shown;
#ifdef VELMAR_EXPORTER_PATH
        // It says what the pattern matched, then cannot listen on an address
        // that is not this machine's, and ends.
        QTest::newRow("exporter: a path with a line feed")
            << QStringLiteral(VELMAR_EXPORTER_PATH)
            << QStringList{"--listen", "192.0.2.1:9367", "--port", "DIR/a*"} << 11
            << "DIR/a\\x0ab matches";
#endif
    }

    void programs_escape()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exit_code);
        QFETCH(QString, shown);
        const QTemporaryDir dir;
        QVERIFY(write_hostile_files(dir));
        Child_process child(program);
        child.start(arguments.replaceInStrings(QStringLiteral("DIR"), dir.path()));
        QVERIFY(child.wait_for_exit());
        QCOMPARE(child.exit_code(), exit_code);
        const QString everything =
            child.output_lines().join('\n') + '\n' + child.error_lines().join('\n');
        QVERIFY2(everything.contains(shown.replace(QStringLiteral("DIR"), dir.path())),
                 qPrintable(everything));
        QVERIFY2(!acts_on_a_terminal(QString(everything).remove('\n')), qPrintable(everything));
    }
};

QTEST_GUILESS_MAIN(Terminal_text_test)
#include "tst_terminal_text.moc"
