// Nothing from a record, a device or a path reaches a terminal raw: the
// escaping itself over generated text, and each program's words on stdout
// and stderr where such text shows.
#include "console/terminal_text.h"
#include "record/json_record_format.h"
#include "simulator/healthy_unit.h"
#include "support/child_process.h"
#include "support/fixed_seed.h"
#include "support/record_text.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

bool is_control(char16_t unit)
{
    return unit < 0x20 || (unit >= 0x7f && unit <= 0x9f);
}

// What a terminal would act on: a control character, C1 included, or a
// code unit that no encoding can carry.
bool acts_on_a_terminal(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (is_control(c.unicode()) || c.isSurrogate())
            return true;
    }
    return false;
}

// Text drawn from what records and device names hold: mostly printable,
// with controls, C1, DEL, surrogates alone and in pairs. No backslash, so
// that what escaping added can be told from the text.
rc::Gen<QString> outside_text()
{
    const auto unit = rc::gen::weightedOneOf<char16_t>({
        {8, rc::gen::inRange<char16_t>(0x20, 0x7f)},
        {2, rc::gen::inRange<char16_t>(0, 0x20)},
        {1, rc::gen::element<char16_t>(0x7f, 0x85, 0x9b, 0x9f, 0xa0)},
        {1, rc::gen::inRange<char16_t>(0xd800, 0xe000)},
        {1, rc::gen::inRange<char16_t>(0x100, 0xd800)},
    });
    return rc::gen::map(rc::gen::container<std::vector<char16_t>>(unit), [](const auto &units) {
        QString text;
        for (const char16_t u : units)
            text += QChar(u) == QLatin1Char('\\') ? QLatin1Char('/') : QChar(u);
        return text;
    });
}

// The rules escaping keeps for one text.
void check_escaping_of_any_text()
{
    const QString text = *outside_text();
    const QString shown = Terminal_text::escaped(text);
    RC_ASSERT(!acts_on_a_terminal(shown));
    RC_ASSERT(acts_on_a_terminal(text) || shown == text);
    QString kept = shown;
    kept.remove(QRegularExpression(QStringLiteral(R"(\\x[0-9a-f]{2}|\\u[0-9a-f]{4})")));
    QString expected;
    for (int i = 0; i < text.size(); ++i) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair)
            expected += text.mid(i++, 2);
        else if (!is_control(text.at(i).unicode()) && !text.at(i).isSurrogate())
            expected += text.at(i);
    }
    RC_ASSERT(kept == expected);
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

struct Said
{
    int exit_code = 0;
    QString output;
    QString errors;
};

// What a program said on its way to an exit, its lines as it wrote them.
Said run(const QString &program, const QStringList &arguments)
{
    Child_process child(program);
    child.start(arguments);
    child.wait_for_exit();
    return {child.exit_code(), child.output_lines().join('\n'), child.error_lines().join('\n')};
}

} // namespace

class Terminal_text_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char *name, const QString &text, const char *shown) {
            QTest::newRow(name) << text << QString::fromUtf8(shown);
        };
        row("retitle and clear", QStringLiteral("\x1b]0;PWNED\x07\x1b[2J"),
            "\\x1b]0;PWNED\\x07\\x1b[2J");
        row("a line feed and a tab", QStringLiteral("a\nb\tc\r"), "a\\x0ab\\x09c\\x0d");
        row("DEL and C1", QString(QChar(0x7f)) + QChar(0x9b) + QChar(0x85), "\\x7f\\u009b\\u0085");
        row("a surrogate alone", QString(QChar(0xd800)) + 'x' + QChar(0xdc80), "\\ud800x\\udc80");
        row("other scripts", QStringLiteral("Grüße 温度 🙂 ¡ä"),
            "Grüße 温度 🙂 ¡ä");
    }

    void escaped()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(Terminal_text::escaped(text), shown);
    }

    // Whatever the text: nothing left to act on a terminal, text with nothing
    // to escape left alone, and every character that is not escaped kept,
    // in its order.
    void escaping_holds_for_any_text()
    {
        QVERIFY_HOLDS(&check_escaping_of_any_text, 20261207, 300);
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
        const Said said =
            run(program, arguments.replaceInStrings(QStringLiteral("DIR"), dir.path()));
        QCOMPARE(said.exit_code, exit_code);
        const QString everything = said.output + '\n' + said.errors;
        QVERIFY2(everything.contains(shown.replace(QStringLiteral("DIR"), dir.path())),
                 qPrintable(everything));
        QVERIFY2(!acts_on_a_terminal(QString(everything).remove('\n')), qPrintable(everything));
    }
};

QTEST_GUILESS_MAIN(Terminal_text_test)
#include "tst_terminal_text.moc"
