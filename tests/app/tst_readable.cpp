// Every text of the live window fits its widget on a real X server, at the
// dpi and scale factor of the CTest row that runs it (tests/app/CMakeLists.txt).
#include "app/display_fit.h"
#include "simulator/unit_simulator.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtGui/QScreen>
#include <QtTest/QtTest>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QAbstractSpinBox>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QStyle>

namespace {

constexpr int shown_ms = 10000; // generous: a busy machine drawing on a virtual display
constexpr qreal design_dpi = 96;
constexpr qreal ratio_tolerance = 0.01;

Display_fit::Choice start_up_choice = Display_fit::Choice::desktop;

bool shows_text(const QWidget *widget)
{
    return qobject_cast<const QLabel *>(widget) || qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget);
}

// Every visible text or control smaller than its own size hint in either direction.
QStringList misfits(const QWidget &window)
{
    QStringList found;
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        const QSize size = widget->size(), hint = widget->sizeHint();
        if (shows_text(widget) && widget->isVisible() &&
            (size.width() < hint.width() || size.height() < hint.height()))
            found << widget->objectName() + QString::asprintf(" %dx%d < hint %dx%d", size.width(),
                                                              size.height(), hint.width(),
                                                              hint.height());
    }
    return found;
}

// Every visible widget that a group box's layout placed over the group's title,
// which takes the top line of the box.
QStringList under_titles(const QWidget &window)
{
    QStringList found;
    for (const QGroupBox *group : window.findChildren<QGroupBox *>()) {
        if (!group->layout())
            continue;
        const int title_bottom = group->fontMetrics().height();
        for (const QWidget *widget :
             group->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (widget->isVisible() && widget->y() < title_bottom)
                found << QStringLiteral("%1 at y %2 under the title of %3, %4 pixels tall")
                             .arg(widget->objectName())
                             .arg(widget->y())
                             .arg(group->objectName())
                             .arg(title_bottom);
    }
    return found;
}

} // namespace

class Tst_readable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("no X display; CTest runs this through tests/app/on_virtual_desktop.sh");
        isolate_settings();
        const QFontInfo font(QApplication::font());
        qInfo("drawn with the %s's choice: %s, %s %d px, stretch %d",
              start_up_choice == Display_fit::Choice::desktop ? "desktop" : "design",
              QApplication::style()->metaObject()->className(), qPrintable(font.family()),
              font.pixelSize(), QApplication::font().stretch());
    }

    // The desktop's dpi goes into the device pixel ratio with the scale
    // factor, and so scales the fixed geometry and the text together.
    void desktop_dpi_scales_geometry_and_text()
    {
        const int desktop_dpi = qEnvironmentVariableIntValue("VELMAR_DESKTOP_DPI");
        if (desktop_dpi == 0)
            QSKIP("not run on a virtual desktop of known dpi");
        const qreal scale_factor =
            qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
        const QScreen *screen = QGuiApplication::primaryScreen();
        QCOMPARE(qRound(screen->logicalDotsPerInchY()), qRound(design_dpi));
        const qreal expected = desktop_dpi / design_dpi * scale_factor;
        QVERIFY2(qAbs(screen->devicePixelRatio() - expected) < ratio_tolerance,
                 qPrintable(QStringLiteral("device pixel ratio %1, expected %2")
                                .arg(screen->devicePixelRatio())
                                .arg(expected)));
    }

    void the_live_window_is_readable()
    {
        Unit_simulator unit; // a healthy 2.0 unit
        unit.settings().drift = false;
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        clear_saved_settings();
        const auto w = std::make_unique<Window_fixture>(Start_port{unit.slave_path(), 0}); // --port
        w->window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->window));
        QTRY_COMPARE_WITH_TIMEOUT(w->label(QStringLiteral("label_protocol_ver"))->text(),
                                  QStringLiteral("2.0, Ok"), shown_ms);
        QTRY_COMPARE_WITH_TIMEOUT(w->label(QStringLiteral("label_receiving_status"))->text(),
                                  QStringLiteral("Ok"), shown_ms);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

        const QStringList too_small = misfits(w->window), covered = under_titles(w->window);
        // One line each: a test's failure message is cut at a thousand characters.
        for (const QString &line : too_small + covered)
            qWarning("%s", qPrintable(line));
        QVERIFY2(too_small.isEmpty() && covered.isEmpty(),
                 qPrintable(QStringLiteral("%1 widgets smaller than their size hint and %2 "
                                           "under a group title, each named above")
                                .arg(too_small.size())
                                .arg(covered.size())));
    }
};

// Not QTEST_MAIN: it sets Qt::AA_Use96Dpi, and this test is about the
// desktop's own dpi and the entry point's start-up decision.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // only to report the skip
    Display_fit::prepare_scaling();
    QApplication application(argc, argv);
    start_up_choice = Display_fit::choose_style_and_font();
    Tst_readable test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_readable.moc"
