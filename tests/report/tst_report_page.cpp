#include "protocol/status_words.h"
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_end.h"
#include "simulator/healthy_unit.h"
#include "support/child_process.h"
#include "support/record_text.h"

#include <QtCore/QDir>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtCore/QUrl>
#include <QtTest/QtTest>

#include <cmath>

namespace {

using S = Unit_status;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);
constexpr int browser_timeout_ms = 60000;
constexpr int record_minutes = 30;
constexpr int crc_per_second = 30;
// A lost port that begins as a silence ends.
constexpr double meeting_second = 1540.9;
// The shades' colours as the page draws them: opaque, under the lines.
const QString port_colour = QStringLiteral("246,198,198");
const QString silence_colour = QStringLiteral("214,214,214");
// Lines of a chart are coloured; its grid, axes and labels are grey.
constexpr int least_coloured_pixels = 200;

// A headless Chromium driven through its DevTools protocol over a pipe
// (--remote-debugging-pipe): messages are JSON texts ended by a NUL byte,
// ours on the browser's descriptor 3, its own on 4. A pipe needs no port, so
// the browser can run without a network at all.
class Browser
{
public:
    ~Browser()
    {
        if (process.state() != QProcess::NotRunning) {
            send(QStringLiteral("Browser.close"));
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(5000);
        }
    }

    // Whether the browser started; why not in *error.
    bool start(const QString &profile_dir, const QString &log_path, QString *error)
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty()) {
            *error =
                QStringLiteral("chromium is not installed (scripts/install-deps.sh installs it)");
            return false;
        }
        QStringList command =
            QStringLiteral("--headless --no-sandbox --disable-gpu --disable-background-networking "
                           "--disable-component-update --disable-sync --disable-extensions "
                           "--no-first-run --no-default-browser-check --window-size=1200,900 "
                           "--remote-debugging-pipe")
                .split(QLatin1Char(' '));
        command.prepend(chromium);
        command << QStringLiteral("--user-data-dir=") + profile_dir
                << QStringLiteral("about:blank");
        // Without a network namespace of its own, where one can be had.
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {QStringLiteral("--net"), QStringLiteral("true")});
        if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            command = QStringList{QStringLiteral("unshare"), QStringLiteral("--net")} + command;
        process.setStandardErrorFile(log_path);
        // Our standard input becomes its descriptor 3, our standard output its 4.
        process.start(QStringLiteral("sh"),
                      QStringList{QStringLiteral("-c"),
                                  QStringLiteral("exec 3<&0 4>&1 0</dev/null 1>&2; exec \"$@\""),
                                  QStringLiteral("sh")} +
                          command);
        if (!process.waitForStarted(browser_timeout_ms)) {
            *error = process.errorString();
            return false;
        }
        return true;
    }

    // Sends a command and waits for its answer.
    QJsonObject call(const QString &method, const QJsonObject &params = {},
                     const QString &session = QString())
    {
        return wait_for(QStringLiteral("id"), send(method, params, session));
    }

    // Waits for the first message, answer or event, whose key has this
    // value (empty when none came); everything the browser sends is kept in
    // events.
    QJsonObject wait_for(const QString &key, const QJsonValue &value)
    {
        QJsonObject found;
        const bool came = QTest::qWaitFor(
            [&] {
                receive();
                for (const QJsonObject &message : events) {
                    if (found.isEmpty() && message.value(key) == value)
                        found = message;
                }
                return !found.isEmpty() || process.state() == QProcess::NotRunning;
            },
            browser_timeout_ms);
        return came ? found : QJsonObject();
    }

    QList<QJsonObject> events;

private:
    int send(const QString &method, const QJsonObject &params = {},
             const QString &session = QString())
    {
        QJsonObject message{{QStringLiteral("id"), ++last_id},
                            {QStringLiteral("method"), method},
                            {QStringLiteral("params"), params}};
        if (!session.isEmpty())
            message.insert(QStringLiteral("sessionId"), session);
        process.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0');
        return last_id;
    }

    void receive()
    {
        received += process.readAllStandardOutput();
        for (int end = received.indexOf('\0'); end >= 0; end = received.indexOf('\0')) {
            events.append(QJsonDocument::fromJson(received.left(end)).object());
            received.remove(0, end + 1);
        }
    }

    QProcess process;
    QByteArray received;
    int last_id = 0;
};

// Half an hour of a unit at one status a second, with a dip, a fault, a
// silence, a lost port, a silence meeting a lost port, a burst of damaged
// frames, frames sent and unanswered; ended as a watch ends.
QByteArray a_record()
{
    const qint64 start_ms =
        QDateTime::fromString(QStringLiteral("2026-12-06T22:00:00.000Z"), Qt::ISODateWithMs)
            .toMSecsSinceEpoch();
    const auto at = [start_ms](double second) {
        return QDateTime::fromMSecsSinceEpoch(start_ms + qint64(second * 1000), Qt::UTC);
    };
    const auto since = [&at](double second) {
        return Event_fields::since(at(second).toMSecsSinceEpoch());
    };
    const Json_record_format format;
    QStringList lines{start_line(at(0))};
    const auto event = [&](double second, Record_event what) {
        const bool lost = what == Record_event::port_lost;
        lines << format.event_line(at(second), what, lost ? QStringLiteral("gone") : QString());
    };
    for (int second = 1; second < record_minutes * 60; ++second) {
        if ((second >= 600 && second < 660) || (second >= 1200 && second < 1230) ||
            second == 1540 || second == 1541)
            continue; // silent, or no port
        if (second == 660)
            lines << format.event_fields_line(at(second), Record_event::connected, since(second));
        if (second == 1230 || second == 1542)
            event(second, Record_event::reopened);
        S status = healthy_unit();
        status.dante.gains_reported = true;
        status.cages[S::sfp_1].channels[0].power_tenths =
            static_cast<int16_t>(second >= 300 && second < 312 ? -305 : -142 - second % 7);
        status.cages[S::sfp_1].temperature_c = 40 + second / 300;
        status.rx_fault = second >= 900 && second < 905;
        lines << format.status_line(at(second), status);
        if (second % 400 == 100) {
            lines << format.event_fields_line(at(second), Record_event::sent,
                                              Event_fields::of(Control_payload()));
            event(second + 0.5, Record_event::ack_timeout);
        }
        if (second == 1650)
            event(second, Record_event::short_message);
        for (int damaged = 1; second >= 1600 && second < 1700 && damaged <= crc_per_second;
             ++damaged)
            event(second + damaged / (crc_per_second + 1.0), Record_event::crc_mismatch);
        if (second == 1199)
            event(second + 0.5, Record_event::port_lost);
        if (second == 599 || second == 1539)
            lines << format.event_fields_line(at(second + 0.9), Record_event::silent,
                                              since(second));
        if (second == 1539)
            event(meeting_second, Record_event::port_lost);
    }
    lines << format.event_fields_line(at(record_minutes * 60), Record_event::end,
                                      Event_fields::end(Record_end::done));
    return lines.join('\n').toUtf8() + '\n';
}

// What the page's own script finds at the width it is shown at.
const char *const probe = R"((function () {
  var divs = document.querySelectorAll('div.chart');
  var charts = velmarGraphs.map(function (g, index) {
    var div = divs[index];
    var box = div.getBoundingClientRect();
    var area = g.getArea();
    var canvas = div.querySelector('canvas');
    var pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    var coloured = 0;
    for (var i = 0; i < pixels.length; i += 4) {
      var high = Math.max(pixels[i], pixels[i + 1], pixels[i + 2]);
      var low = Math.min(pixels[i], pixels[i + 1], pixels[i + 2]);
      if (pixels[i + 3] > 128 && high - low > 80) coloured++;
    }
    // The colour of the plot area's top row at a time, and how many pixels
    // of that row around it share it.
    var shade = function (ms) {
      var x = Math.round(g.toDomXCoord(ms)), y = Math.round(area.y + 2);
      var at = function (x) {
        var p = canvas.getContext('2d').getImageData(x, y, 1, 1).data;
        return p[0] + ',' + p[1] + ',' + p[2];
      };
      var left = x, right = x;
      while (at(left - 1) === at(x) && left > x - 20) left--;
      while (at(right + 1) === at(x) && right < x + 20) right++;
      return { colour: at(x), width: right - left + 1 };
    };
    var labels = [];
    div.querySelectorAll('.dygraph-axis-label-y').forEach(function (label) {
      labels.push(label.textContent);
    });
    return { id: div.id, left: box.left + area.x, width: area.w, coloured: coloured,
             lane_labels: labels, legend: document.getElementById(div.id + '-legend').textContent,
             lost: shade(LOST_MS), meeting: shade(MEETING_MS), silence: shade(SILENCE_MS) };
  });
  var overflowing = [];
  document.querySelectorAll('body *').forEach(function (element) {
    if (getComputedStyle(element).display === 'inline' || !element.textContent.trim()) return;
    if (element.scrollWidth > element.clientWidth + 1)
      overflowing.push(element.tagName + '.' + element.className + ': ' +
                       element.textContent.slice(0, 60));
  });
  if (document.documentElement.scrollWidth > window.innerWidth)
    overflowing.push('the page is wider than the window');
  var section = document.getElementById('charts').getBoundingClientRect();
  return JSON.stringify({ charts: charts, overflowing: overflowing, text: document.body.innerText,
                          top: section.top + window.scrollY, height: section.height });
})())";

// Markup a record or a file name may hold: were it written raw, it would
// start a script, add an element and break out of a quoted attribute. (No
// slash: it names a file too.)
const QString markup = QStringLiteral("<script><b id=\"injected\">&amp;'x");
const QString markup_shown =
    QStringLiteral("&lt;script&gt;&lt;b id=&quot;injected&quot;&gt;&amp;amp;&#39;x");

} // namespace

class Report_page_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Whatever a record or the command line names (the file, the program,
    // its port) shows on the page as text, in the overview's lines and in
    // the tables' cells alike.
    void names_show_as_text_on_the_page()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath(markup + QStringLiteral(".jsonl"));
        QFile file(record);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QDateTime noon = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
        const QByteArray json_markup =
            QJsonDocument(QJsonArray{markup}).toJson(QJsonDocument::Compact).mid(1);
        QString start = start_line(noon);
        start.replace(QStringLiteral("\"/dev/ttyUSB0\""), json_markup.chopped(1))
            .replace(QStringLiteral("\"velmar-ctl\""), json_markup.chopped(1));
        file.write(start.toUtf8() + '\n' +
                   Json_record_format().status_line(noon.addSecs(1), healthy_unit()).toUtf8() +
                   '\n');
        file.close();
        Child_process html(ctl);
        html.start({"report", "--format", "html", record});
        QVERIFY(html.wait_for_exit());
        QCOMPARE(html.exit_code(), 0);
        const QString page = QString::fromUtf8(html.readAllStandardOutput());
        QVERIFY(!page.contains(QStringLiteral("<b id=")));
        QCOMPARE(int(page.count(QStringLiteral("<script>"))), 2); // the library's and the page's
        // The port's and the program's cells, the file's in the runs and the overview.
        QCOMPARE(int(page.count(QStringLiteral("<td>") + markup_shown)), 2);
        QCOMPARE(int(page.count(markup_shown)), 4);
    }

    // The page opens offline in a real browser: it asks for nothing outside
    // itself, its scripts run without an error, and it shows the summary's
    // numbers. At a wide and a narrow window alike, every chart draws,
    // their plot areas start at one x and are as wide, every lane is
    // labelled, no text overflows its box, a lost port's second stays
    // visible, and where a lost port meets a silence the port's shade
    // shows. Each width is photographed (into VELMAR_REPORT_SHOTS when set).
    void the_page_opens_offline_in_a_browser()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("night.jsonl"));
        const QString page = dir.filePath(QStringLiteral("night.html"));
        QFile file(record);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(a_record());
        file.close();
        // The format follows the name.
        Child_process html(ctl);
        html.start({"report", "-o", page, record});
        QVERIFY(html.wait_for_exit());
        QCOMPARE(html.exit_code(), 0);

        Browser browser;
        QString error;
        const QString log = dir.filePath(QStringLiteral("chromium.log"));
        QVERIFY2(browser.start(dir.filePath(QStringLiteral("profile")), log, &error),
                 qPrintable(error));
        const QJsonObject targets_reply = browser.call("Target.getTargets");
        const QJsonArray targets = targets_reply["result"]["targetInfos"].toArray();
        QString target;
        for (const QJsonValue info : targets) {
            if (info["type"].toString() == QLatin1String("page"))
                target = info["targetId"].toString();
        }
        QVERIFY2(!target.isEmpty(), qPrintable("no page in the browser; its log: " + log));
        const QJsonObject attached =
            browser.call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}});
        const QString session = attached["result"]["sessionId"].toString();
        QVERIFY(!session.isEmpty());
        for (const char *domain : {"Runtime.enable", "Log.enable", "Network.enable", "Page.enable"})
            QVERIFY(!browser.call(QString::fromLatin1(domain), {}, session).contains("error"));
        const QString url = QUrl::fromLocalFile(page).toString();
        browser.call("Page.navigate", {{"url", url}}, session);
        QVERIFY(!browser.wait_for("method", "Page.loadEventFired").isEmpty());

        const qint64 start_ms =
            QDateTime::fromString(QStringLiteral("2026-12-06T22:00:00.000Z"), Qt::ISODateWithMs)
                .toMSecsSinceEpoch();
        const QString expression =
            QString::fromLatin1(probe)
                .replace("LOST_MS", QString::number(start_ms + 1199500 + 15000))
                .replace("MEETING_MS", QString::number(start_ms + qint64(meeting_second * 1000)))
                .replace("SILENCE_MS", QString::number(start_ms + 630000));
        QString text;
        for (const int width : {1280, 800}) {
            browser.call(
                "Emulation.setDeviceMetricsOverride",
                {{"width", width}, {"height", 900}, {"deviceScaleFactor", 1}, {"mobile", false}},
                session);
            const QJsonObject redrawn = browser.call(
                "Runtime.evaluate",
                {{"expression", "velmarGraphs.forEach(function (g) { g.resize(); }); "
                                "new Promise(function (done) { requestAnimationFrame(done); })"},
                 {"awaitPromise", true}},
                session);
            QVERIFY2(!redrawn["result"].toObject().contains("exceptionDetails"),
                     qPrintable(QJsonDocument(redrawn).toJson()));
            const QJsonObject evaluated = browser.call(
                "Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}}, session);
            const QJsonObject seen =
                QJsonDocument::fromJson(evaluated["result"]["result"]["value"].toString().toUtf8())
                    .object();
            QVERIFY2(!seen.isEmpty(), qPrintable(QJsonDocument(evaluated).toJson()));
            check_charts(seen["charts"].toArray(), width);
            QCOMPARE(seen["overflowing"].toArray(), QJsonArray());
            text = seen["text"].toString();
            const QJsonObject clip{{"x", 0},
                                   {"y", seen["top"].toDouble()},
                                   {"width", width},
                                   {"height", seen["height"].toDouble()},
                                   {"scale", 1}};
            const QJsonObject shot = browser.call(
                "Page.captureScreenshot",
                {{"format", "png"}, {"clip", clip}, {"captureBeyondViewport", true}}, session);
            const QByteArray png =
                QByteArray::fromBase64(shot["result"]["data"].toString().toLatin1());
            QVERIFY(png.startsWith("\x89PNG"));
            const QString shots = qEnvironmentVariable("VELMAR_REPORT_SHOTS");
            QFile picture(QDir(shots).filePath(QStringLiteral("report-%1.png").arg(width)));
            QVERIFY(shots.isEmpty() || (picture.open(QIODevice::WriteOnly) && picture.write(png)));
        }

        for (const QJsonObject &event : browser.events) {
            const QString method = event["method"].toString();
            const QJsonObject params = event["params"].toObject();
            if (method == QLatin1String("Network.requestWillBeSent"))
                QCOMPARE(params["request"]["url"].toString(), url);
            QVERIFY2(method != QLatin1String("Runtime.exceptionThrown"),
                     qPrintable(QJsonDocument(params).toJson()));
            if (method == QLatin1String("Runtime.consoleAPICalled"))
                QVERIFY2(params["type"].toString() != QLatin1String("error"),
                         qPrintable(QJsonDocument(params).toJson()));
            if (method == QLatin1String("Log.entryAdded"))
                QVERIFY2(params["entry"]["level"].toString() != QLatin1String("error"),
                         qPrintable(QJsonDocument(params).toJson()));
        }

        // Counted from a_record(): its statuses, the lowest and highest Rx
        // power, the first dip, the first silence from its last frame, the
        // lost port that meets a silence, the short message and the end.
        const QStringList numbers{
            QStringLiteral("Statuses: 1707"),
            QStringLiteral("-30.5 dBm at 2026-12-06T22:05:00.000Z"),
            QStringLiteral("-14.2 dBm at 2026-12-06T22:00:07.000Z"),
            QStringLiteral("2026-12-06T22:05:00.000Z"),
            QStringLiteral("12.000 s"),       // the dip
            QStringLiteral("1 min 01.000 s"), // the silence, from its last frame
            QStringLiteral("2026-12-06T22:09:59.000Z"),
            QStringLiteral("without a port: 31.600 s"),
            QStringLiteral("2026-12-06T22:25:40.900Z\tPort lost"),
            QStringLiteral("2026-12-06T22:27:30.000Z\tShort message"),
            QStringLiteral("CRC mismatch: the first 500 are listed, and %1 more.")
                .arg(crc_per_second * 100 - 500),
            QStringLiteral("2026-12-06T22:30:00.000Z, done"),
        };
        for (const QString &number : numbers)
            QVERIFY2(text.contains(number), qPrintable(number));
    }

private:
    void check_charts(const QJsonArray &charts, int width)
    {
        const QString at_width = QStringLiteral(" at %1 px").arg(width);
        QStringList drawn;
        for (const QJsonValue chart : charts) {
            const QString id = chart["id"].toString();
            drawn << id;
            QVERIFY2(chart["coloured"].toInt() >= least_coloured_pixels, qPrintable(id + at_width));
            QVERIFY2(
                std::abs(chart["left"].toDouble() - charts[0]["left"].toDouble()) <= 1 &&
                    std::abs(chart["width"].toDouble() - charts[0]["width"].toDouble()) <= 1,
                qPrintable(id + " is not aligned with " + charts[0]["id"].toString() + at_width));
            // A second without a port among half an hour still shows, and
            // where it meets a silence, as the port's.
            QCOMPARE(chart["lost"]["colour"].toString(), port_colour);
            QCOMPARE(chart["meeting"]["colour"].toString(), port_colour);
            QVERIFY2(chart["meeting"]["width"].toInt() >= 3, qPrintable(id + at_width));
            QCOMPARE(chart["silence"]["colour"].toString(), silence_colour);
            for (const QString &label : lanes.value(id))
                QVERIFY2(chart["lane_labels"].toVariant().toStringList().contains(label) &&
                             chart["legend"].toString().contains(label),
                         qPrintable(id + ": " + label + at_width));
        }
        QStringList expected_charts;
        for (int cage = 0; cage < S::cage_count; ++cage) {
            if (healthy_unit().cages[cage].present())
                expected_charts << QStringLiteral("chart_power_") + Status_words::cage_key(cage);
        }
        QCOMPARE(drawn, expected_charts << "chart_temperature"
                                        << "chart_events"
                                        << "chart_incidents");
    }

    const QHash<QString, QStringList> lanes{
        {"chart_events", {"Rx fault", "Tx fault", "Overheat", "Lock lost", "Link down"}},
        {"chart_incidents",
         {"Port lost", "Port reopened", "CRC mismatch", "Short message", "Frame sent",
          "Ack time-out"}}};
};

QTEST_GUILESS_MAIN(Report_page_test)
#include "tst_report_page.moc"
