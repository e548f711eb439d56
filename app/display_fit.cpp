#include "app/display_fit.h"

#include "app/compact_style.h"
#include "protocol/control_payload.h"
#include "session/operator_settings.h"
#include "ui_mainwindow.h"

#include <QtCore/QRegularExpression>
#include <QtGui/QFont>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMainWindow>

#include <algorithm>
#include <memory>

namespace {

// The widest texts the window shows while a healthy 2.0 unit is connected.
// The simulated unit's pseudo-terminal with a two-digit number is longer than
// any name the port list offers by itself (ttyUSB0, COM12).
const char *const widest_port = "/dev/pts/10";
const char *const widest_rate = "115200";

struct Widest_text
{
    const char *labels; // pattern of the object names of the labels that show the text
    const char *text;
};

const Widest_text widest_texts[] = {
    {"label_(rx_fault|tx_fault|overheat|lock_.|crc_ctrl|receiving_status|SerialPort_Ok)", "Ok"},
    {"label_(system|sync|dante_link)", "Ok"},
    {"label_sfp.*_present", "Not available"},
    {"label_link_(f|p1|p2)", "Link"},
    {"label_in_out_.", "Out 4:"},
    {"label_sfp.*_type", "Ethernet"},
    {"label_sfp.*_chanel_.", "Rx"},
    {"label_sfp.*_(rx|tx)_pwr_.", "-40.0 dBm"},
    {"label_sfp.*_wl.", "1550 nm"},
    {"label_sfp.*_temp", "-40 C"},
    {"label_protocol_ver", "2.0, Ok"},
    {"label_input_.", "Microphone"},
    {"label_mic_type", "Remote"},
};

// The layout was drawn for 8 points at 96 dpi, which is 11 pixels. The size is
// given in pixels because the fixed geometry is in logical pixels: a size in
// points would grow with a desktop's logical dpi while the boxes stay as they
// are. A family with a taller line or wider letters than the design's needs a
// pixel less or a narrower cut (Qt narrows a family that has none) to fit.
struct Design_font
{
    int pixel_size;
    int stretch;
};

const Design_font design_fonts[] = {
    {11, QFont::Unstretched},
    {11, QFont::SemiCondensed},
    {10, QFont::Unstretched},
    {10, QFont::SemiCondensed},
};

QFont font_of(const Design_font &design)
{
    QFont font = QApplication::font();
    font.setPixelSize(design.pixel_size);
    font.setStretch(design.stretch);
    return font;
}

void fill_widest_texts(Ui::MainWindow &ui)
{
    ui.comboBox_SerialPort->addItem(QString::fromLatin1(widest_port));
    ui.comboBox_BaudRate->addItem(QString::fromLatin1(widest_rate));
    for (QDoubleSpinBox *box : {ui.box_gain_0, ui.box_gain_1}) {
        box->setRange(Operator_settings::min_gain_db, Operator_settings::max_gain_db);
        box->setSuffix(QStringLiteral(" dB"));
    }
    for (QSpinBox *box : {ui.box_current_trshd, ui.box_new_trshd}) {
        box->setRange(Control_payload::threshold_min_dbm, Control_payload::threshold_max_dbm);
        box->setSuffix(QStringLiteral(" dBm"));
    }
    const QList<QLabel *> labels = ui.centralWidget->findChildren<QLabel *>();
    for (const Widest_text &widest : widest_texts) {
        const QRegularExpression names(
            QRegularExpression::anchoredPattern(QLatin1String(widest.labels)));
        for (QLabel *label : labels)
            if (names.match(label->objectName()).hasMatch())
                label->setText(QString::fromLatin1(widest.text));
    }
}

bool shows_text(const QWidget *widget)
{
    return qobject_cast<const QLabel *>(widget) || qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget);
}

int misfit_count(const QWidget &window)
{
    const QList<QWidget *> widgets = window.findChildren<QWidget *>();
    return int(std::count_if(widgets.cbegin(), widgets.cend(), [](const QWidget *widget) {
        const QSize hint = widget->sizeHint();
        return shows_text(widget) && widget->isVisible() &&
               (widget->width() < hint.width() || widget->height() < hint.height());
    }));
}

// The window's form with its widest texts, laid out off screen in the given
// style (none: the application's) and font; returns how many of its texts
// and controls are smaller than they ask to be.
int misfits_of_sample(QStyle *style, const QFont &font)
{
    QMainWindow window;
    Ui::MainWindow ui;
    ui.setupUi(&window);
    fill_widest_texts(ui);
    window.setFont(font);
    if (style) {
        window.setStyle(style);
        for (QWidget *child : window.findChildren<QWidget *>())
            child->setStyle(style);
    }
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return misfit_count(window);
}

} // namespace

void Display_fit::prepare_scaling()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 does both always. Qt 5 would otherwise grow the text with the
    // desktop's dpi but not the fixed geometry, and would round a 125 %
    // desktop down to 100 % and a 150 % one up to 200 %.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
}

Display_fit::Choice Display_fit::choose_style_and_font()
{
    int fewest = misfits_of_sample(nullptr, QApplication::font());
    if (fewest == 0)
        return Choice::desktop;
    // Measured on the sample window's widgets alone, so that the application
    // changes its look at most once.
    auto compact = std::make_unique<Compact_style>();
    const Design_font *best = nullptr;
    for (const Design_font &design : design_fonts) {
        const int misfits = misfits_of_sample(compact.get(), font_of(design));
        if (misfits < fewest) {
            fewest = misfits;
            best = &design;
        }
        if (fewest == 0)
            break;
    }
    if (!best)
        return Choice::desktop; // the design fits no better
    QApplication::setStyle(compact.release());
    QApplication::setFont(font_of(*best));
    return Choice::design;
}
