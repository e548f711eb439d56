#include "app/mainwindow.h"

#include "app/dante_panel.h"
#include "app/sfp_panel.h"
#include "app/summary_panel.h"
#include "app/widget_update.h"
#include "protocol/control_payload.h"
#include "protocol/status_words.h"
#include "session/operator_settings.h"
#include "session/session.h"
#include "ui_mainwindow.h"

#include <QtCore/QSignalBlocker>
#include <QtSerialPort/QSerialPortInfo>
#include <QtWidgets/QLayout>
#include <QtWidgets/QStatusBar>

namespace {

constexpr int fallback_baud_index = 12;

} // namespace

MainWindow::MainWindow(Session &session, const Start_port &start_port, QWidget *parent)
    : QMainWindow(parent), session(session), ui(std::make_unique<Ui::MainWindow>()),
      text_none(QStringLiteral("--")), text_ok(tr("Ok")), text_fault(tr("Fault"))
{
    ui->setupUi(this);
    layouts = findChildren<QLayout *>();
    fill_port_list();
    fill_baud_rates();
    restore_settings();
    create_panels();
    set_up_editors();
    connect_session();
    connect_widgets();
    if (start_port.is_set())
        open_start_port(start_port);
    else
        open_chosen_port();
}

MainWindow::~MainWindow()
{
    save_settings();
    // Closing the window ends the operator's use of the port.
    session.disconnect(this);
    session.close_port();
}

// ---- Construction ----

void MainWindow::fill_port_list()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->comboBox_SerialPort->addItem(info.portName());
}

void MainWindow::fill_baud_rates()
{
    const auto rates = QSerialPortInfo::standardBaudRates();
    for (const auto rate : rates)
        ui->comboBox_BaudRate->addItem(QString::number(rate), QVariant(static_cast<int>(rate)));
}

int MainWindow::default_baud_index() const
{
    // The stored index is a place in the local rate list; on first start pick
    // 115200, which index 12 means only on some platforms.
    const int found = ui->comboBox_BaudRate->findData(Port_settings::default_baud_rate);
    return found >= 0 ? found : fallback_baud_index;
}

// Before any combo box is connected: restoring the choice opens nothing and
// saves nothing.
void MainWindow::restore_settings()
{
    loaded = Saved_settings::load(default_baud_index());
    ui->comboBox_SerialPort->setCurrentIndex(loaded.port_index);
    ui->comboBox_BaudRate->setCurrentIndex(loaded.baud_index);
    move(loaded.position);
}

void MainWindow::create_panels()
{
    Ui::MainWindow &u = *ui;
    summary = std::make_unique<Summary_panel>(Summary_panel::Labels{
        u.label_rx_fault,
        u.label_tx_fault,
        u.label_overheat,
        u.label_link_f,
        u.label_link_p1,
        u.label_link_p2,
        {{u.label_in_out_1, u.label_in_out_2, u.label_in_out_3, u.label_in_out_4}},
        {{u.label_lock_1, u.label_lock_2, u.label_lock_3, u.label_lock_4}},
        u.label_crc_ctrl,
        u.label_protocol_ver,
        u.label_receiving_status});
    for (int cage = 0; cage < Unit_status::cage_count; ++cage)
        cages[cage] = std::make_unique<Sfp_panel>(cage_labels(cage));
    dante = std::make_unique<Dante_panel>(Dante_panel::Widgets{
        u.label_system, u.label_sync, u.label_dante_link, u.label_mic_type, u.label_input_0,
        u.label_input_1, u.box_gain_0, u.box_gain_1, u.button_reading_gain});
}

// The form names a cage's labels alike, by the cage's key: label_sfp2_rx_pwr_1,
// label_sfp2_rxpwr1_text, ...
Sfp_panel::Labels MainWindow::cage_labels(int cage) const
{
    const QString prefix =
        QStringLiteral("label_") + Status_words::cage_key(cage) + QLatin1Char('_');
    const auto label = [this, &prefix](const QString &name) {
        return findChild<QLabel *>(prefix + name);
    };
    Sfp_panel::Labels labels{label(QStringLiteral("type")),
                             label(QStringLiteral("present")),
                             label(QStringLiteral("temp")),
                             label(QStringLiteral("temp_text")),
                             {}};
    for (int index = 0; index < Unit_status::channel_count; ++index) {
        const QString n = QString::number(Status_words::number(index));
        labels.channels[index] = {
            label(QStringLiteral("chanel_") + n), label(QStringLiteral("ch%1_text").arg(n)),
            label(QStringLiteral("rx_pwr_") + n), label(QStringLiteral("rxpwr%1_text").arg(n)),
            label(QStringLiteral("tx_pwr_") + n), label(QStringLiteral("txpwr%1_text").arg(n)),
            label(QStringLiteral("wl") + n),      label(QStringLiteral("wl%1_text").arg(n))};
    }
    return labels;
}

void MainWindow::set_up_editors()
{
    for (QDoubleSpinBox *box : {ui->box_gain_0, ui->box_gain_1}) {
        box->setMinimum(Operator_settings::min_gain_db);
        box->setMaximum(Operator_settings::max_gain_db);
        box->setSuffix(QStringLiteral(" dB"));
        box->setSingleStep(Gain_law::step_db);
        box->setValue(Operator_settings::default_gain_db);
        box->setEnabled(false);
    }
    ui->button_reading_gain->setEnabled(false);
    for (QSpinBox *box : {ui->box_new_trshd, ui->box_current_trshd}) {
        box->setMinimum(Control_payload::threshold_min_dbm);
        box->setMaximum(Control_payload::threshold_max_dbm);
        box->setSuffix(QStringLiteral(" dBm"));
    }
    // It only shows the unit's own threshold.
    ui->box_current_trshd->setEnabled(false);
}

void MainWindow::connect_session()
{
    connect(&session, &Session::status_received, this, &MainWindow::track_status);
    connect(&session, &Session::read_finished, this, &MainWindow::draw_read);
    connect(&session, &Session::link_changed, this, &MainWindow::show_link);
    connect(&session, &Session::gain_changed, this, &MainWindow::show_gain);
    connect(&session, &Session::threshold_changed, this, &MainWindow::show_threshold);
    connect(&session, &Session::port_lost, this, &MainWindow::on_port_lost);
    connect(&session, &Session::port_reopened, this, [this] { show_port_state(true); });
    // A terminal server's port opens, or fails to, after open_port() returned.
    connect(&session, &Session::port_opened, this, [this] { show_port_state(true); });
    connect(&session, &Session::port_unavailable, this, &MainWindow::show_open_failure);
}

void MainWindow::connect_widgets()
{
    Ui::MainWindow &u = *ui;
    connect(u.comboBox_SerialPort, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::on_port_chosen);
    connect(u.comboBox_BaudRate, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::on_baud_rate_chosen);
    connect(u.box_gain_0, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double db) { session.set_gain(0, db); });
    connect(u.box_gain_1, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double db) { session.set_gain(1, db); });
    connect(u.button_reading_gain, &QPushButton::clicked, &session, &Session::load_reported_gains);
    connect(u.button_trshd_apply, &QPushButton::clicked, this,
            [this] { session.apply_threshold(ui->box_new_trshd->value()); });
    connect(u.button_rescan, &QPushButton::clicked, this, &MainWindow::rescan_ports);
    connect(u.button_default_set, &QPushButton::clicked, &session, &Session::restore_defaults);
}

// ---- Port selection and saved settings ----

void MainWindow::open_start_port(const Start_port &start_port)
{
    QComboBox *ports = ui->comboBox_SerialPort;
    const QSignalBlocker hold_ports(ports);
    const QSignalBlocker hold_rates(ui->comboBox_BaudRate);
    if (!start_port.path.isEmpty()) {
        int index = ports->findText(start_port.path);
        const QSerialPortInfo listed(start_port.path);
        if (index < 0 && !listed.isNull())
            index = ports->findText(listed.portName());
        // Qt lists no pseudo-terminal or by-id link: such a path gets an entry
        // of its own.
        if (index < 0) {
            ports->addItem(start_port.path);
            index = ports->count() - 1;
        }
        ports->setCurrentIndex(index);
        keep_saved_port = true;
    }
    if (start_port.baud_rate != 0) {
        ui->comboBox_BaudRate->setCurrentIndex(select_baud_rate(start_port.baud_rate));
        keep_saved_baud = true;
    }
    // A path given at start is what the operator wants watched: one that is
    // not there yet (an adapter still to be plugged in) is tried once a
    // second, as a lost one is.
    const QString name = ui->comboBox_SerialPort->currentText();
    if (start_port.path.isEmpty() || name.isEmpty()) {
        open_chosen_port();
        return;
    }
    session.close_port();
    show_opening(name, session.open_port_or_keep_trying(
                           {name, ui->comboBox_BaudRate->currentData().toInt()}));
}

int MainWindow::select_baud_rate(qint32 baud_rate)
{
    QComboBox *rates = ui->comboBox_BaudRate;
    const int index = rates->findData(static_cast<int>(baud_rate));
    if (index >= 0)
        return index;
    rates->addItem(QString::number(baud_rate), QVariant(static_cast<int>(baud_rate)));
    return rates->count() - 1;
}

void MainWindow::open_chosen_port()
{
    const QString name = ui->comboBox_SerialPort->currentText();
    const int rate = ui->comboBox_BaudRate->currentData().toInt();
    session.close_port();
    if (name.isEmpty()) {
        Widget_update::paint(ui->label_SerialPort_Ok, text_none, style_sheet::port_grey);
        return;
    }
    show_opening(name, session.open_port({name, rate}));
}

void MainWindow::show_opening(const QString &name, bool started)
{
    opening_name = name;
    if (!started) {
        show_open_failure(session.port_error());
        return;
    }
    // Still connecting to a terminal server: neither Ok nor a fault yet.
    if (!session.port_is_open())
        Widget_update::paint(ui->label_SerialPort_Ok, text_none, style_sheet::port_grey);
    else
        show_port_state(true);
}

void MainWindow::show_open_failure(const QString &why)
{
    show_port_state(false);
    ui->statusBar->showMessage(tr("Cannot open %1: %2").arg(opening_name, why));
}

void MainWindow::show_port_state(bool open)
{
    if (open)
        Widget_update::paint(ui->label_SerialPort_Ok, text_ok, style_sheet::port_green);
    else
        Widget_update::paint(ui->label_SerialPort_Ok, text_fault, style_sheet::red);
}

void MainWindow::on_port_lost()
{
    show_port_state(false);
}

void MainWindow::on_port_chosen()
{
    const QString name = ui->comboBox_SerialPort->currentText();
    keep_saved_port = false;
    open_chosen_port();
    if (!name.isEmpty())
        save_settings();
}

void MainWindow::on_baud_rate_chosen()
{
    keep_saved_baud = false;
    session.set_baud_rate(ui->comboBox_BaudRate->currentData().toInt());
    save_settings();
}

void MainWindow::rescan_ports()
{
    // Clearing the list closes the port; the first port listed is opened
    // and saved as the choice.
    const auto ports = QSerialPortInfo::availablePorts();
    ui->comboBox_SerialPort->clear();
    for (const QSerialPortInfo &info : ports)
        ui->comboBox_SerialPort->addItem(info.portName());
}

void MainWindow::show_record_stopped(const QString &path, const QString &reason)
{
    ui->statusBar->showMessage(tr("Recording to %1 stopped: %2").arg(path, reason));
}

void MainWindow::save_settings()
{
    Saved_settings saved;
    saved.port_index =
        keep_saved_port ? loaded.port_index : ui->comboBox_SerialPort->currentIndex();
    saved.baud_index = keep_saved_baud ? loaded.baud_index : ui->comboBox_BaudRate->currentIndex();
    saved.position = pos();
    saved.save();
}

// ---- Drawing the unit's status ----

void MainWindow::track_status(const Unit_status &status)
{
    for (int cage = 0; cage < Unit_status::cage_count; ++cage)
        history_changed = cages[cage]->track_directions(status.cages[cage]) || history_changed;
}

void MainWindow::draw_read(const Unit_status &latest)
{
    if (drawn_valid && !history_changed && latest == drawn)
        return;
    drawn = latest;
    drawn_valid = true;
    history_changed = false;
    draw_status(latest);
}

void MainWindow::draw_status(const Unit_status &status)
{
    // Showing a widget lays its window out again at once, so a redraw that
    // shows many labels (swapped channel directions) would lay the window out
    // for each of them. Held off, the layouts run once, on the next pass of
    // the event loop and before the window is painted, as they do anyway
    // after a changed text.
    set_layouts_enabled(false);
    summary->draw(status);
    // The box limits the unit's threshold to its range, and the received
    // powers are judged against what it shows.
    Widget_update::value(ui->box_current_trshd, status.threshold_dbm);
    const int threshold = ui->box_current_trshd->value();
    for (int cage = 0; cage < Unit_status::cage_count; ++cage)
        cages[cage]->draw(status.cages[cage], threshold);
    dante->draw(status.dante);
    summary->draw_info(status.version);
    set_layouts_enabled(true);
}

void MainWindow::set_layouts_enabled(bool enabled)
{
    for (QLayout *layout : qAsConst(layouts))
        layout->setEnabled(enabled);
}

// ---- Link state ----

void MainWindow::show_link(Link_watchdog::Verdict verdict)
{
    switch (verdict.state) {
    case Link_watchdog::State::waiting:
        return;
    case Link_watchdog::State::silent:
        blank();
        return;
    case Link_watchdog::State::receiving:
    case Link_watchdog::State::connected:
        summary->draw_receiving(true);
        Widget_update::enabled(ui->button_trshd_apply, verdict.takes_threshold);
        return;
    }
}

void MainWindow::blank()
{
    drawn_valid = false;
    summary->blank();
    for (const auto &cage : cages)
        cage->blank();
    dante->blank();
    Widget_update::enabled(ui->button_trshd_apply, false);
}

// ---- The operator's editors ----

void MainWindow::show_gain(int input, double db)
{
    QDoubleSpinBox *box = input == 0 ? ui->box_gain_0 : ui->box_gain_1;
    const QSignalBlocker already_taken(box);
    box->setValue(db);
}

void MainWindow::show_threshold(int dbm)
{
    ui->box_new_trshd->setValue(dbm);
}
