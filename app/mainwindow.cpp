#include "app/mainwindow.h"

#include "link/frame_builder.h"
#include "link/serial_port.h"
#include "model/dante_module.h"
#include "model/label_paint.h"
#include "model/parcer.h"
#include "model/sfp_module.h"
#include "model/status_layout.h"
#include "ui_mainwindow.h"

#include <QtCore/QDebug>
#include <QtCore/QSettings>
#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPortInfo>
#include <QtWidgets/QLayout>

#include <cstring>
#include <limits>

namespace {

const QString settings_organisation = QStringLiteral("velmar_serial_port");
const QString group_serial_port = QStringLiteral("SerialPort");
const QString key_serial_port = QStringLiteral("SerialPort");
const QString key_baud_rate = QStringLiteral("BaudRate");
const QString group_main_window = QStringLiteral("MainWindow");
const QString key_position = QStringLiteral("pos");

constexpr int fallback_baud_index = 12;
constexpr int preferred_baud_rate = 115200;
constexpr QPoint default_position(200, 200);

constexpr uint8_t control_payload_tag = 0x20;
// The first version whose unit takes a threshold and gets refresh frames.
constexpr uint8_t first_threshold_version = status::version_2_0;
constexpr int nibble_bits = 4;
constexpr uint8_t nibble_mask = 0x0F;

constexpr double default_gain_db = Dante_module::gain_default_db;
constexpr int default_rx_trshd = -28;
constexpr int trshd_min = -35;
constexpr int trshd_max = 0;

bool is_supported_version(uint8_t version)
{
    return version == status::version_1_0 || version == status::version_1_1 ||
           version == status::version_2_0;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), serial_port(nullptr), sfp_1(nullptr), sfp_2(nullptr), sfp_eth(nullptr),
      dante(nullptr), parcer(nullptr), ui(new Ui::MainWindow), watchdog_timer(nullptr),
      monotone_timer(nullptr), crc_ok(false), rx_trshd(0), rx_byte_count(0),
      connection_announced(false), shown_version(-1), drawn_status_valid(false)
{
    ui->setupUi(this);
    layouts = findChildren<QLayout *>();
    fill_port_list();
    fill_baud_rates();
    load_settings();
    create_records();
    crc_ok = false;

    connect(this, &MainWindow::parcing_data_ready, parcer, &Parcer::parcing_data);
    connect(parcer, &Parcer::update_data_ready, this, &MainWindow::update_MainWindow);

    serial_port = new Serial_port;

    connect(ui->comboBox_SerialPort, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::slot_PortName_change);
    connect(ui->comboBox_BaudRate, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::slot_BaudRate_change);
    connect(parcer, &Parcer::ack_recieved, serial_port,
            &Serial_port::ack_recieved_and_send_new_msg);

    watchdog_timer = new QTimer(this);
    connect(watchdog_timer, &QTimer::timeout, this, &MainWindow::check_byte_receiving);
    watchdog_timer->start(watchdog_interval_ms);

    monotone_timer = new QTimer(this);
    connect(monotone_timer, &QTimer::timeout, this, &MainWindow::monotone_packet_send);

    ui->box_new_trshd->setMinimum(trshd_min);
    ui->box_new_trshd->setMaximum(trshd_max);
    ui->box_new_trshd->setSuffix(QStringLiteral(" dBm"));
    ui->box_current_trshd->setMinimum(trshd_min);
    ui->box_current_trshd->setMaximum(trshd_max);
    ui->box_current_trshd->setSuffix(QStringLiteral(" dBm"));
    ui->box_current_trshd->setEnabled(false);

    connect(serial_port, &Serial_port::signal_serial_port_read, this,
            &MainWindow::slot_serial_port_read);
    connect(dante, &Dante_module::gain_value_changed, this, &MainWindow::slot_packet_send);
    connect(parcer, &Parcer::rx_power_trshd_recieved, ui->box_current_trshd,
            [box = ui->box_current_trshd](int value) { Label_paint::value(box, value); });
    connect(ui->button_trshd_apply, &QPushButton::clicked, this,
            &MainWindow::rx_power_trshd_changed);
    connect(this, &MainWindow::new_connection_is_set, this, &MainWindow::update_rx_trshd_from_cpu);
    connect(this, &MainWindow::new_connection_is_set, dante, &Dante_module::update_gain_from_cpu);
    connect(ui->button_rescan, &QPushButton::clicked, this,
            &MainWindow::check_uart_available_ports);
    connect(ui->button_default_set, &QPushButton::clicked, this, &MainWindow::default_set);
    connect(serial_port, &Serial_port::signal_port_lost, this, &MainWindow::slot_port_lost);

    texts.none = QStringLiteral("--");
    texts.no_row = QStringLiteral("---:");
    texts.ok = tr("Ok");
    texts.fault = tr("Fault");
    texts.error = tr("Error");
    texts.link = tr("Link");
    texts.not_available = tr("Not available");
    texts.mismatch = tr("Mistmatch");
    for (int row = 0; row < 4; ++row) {
        texts.row_in[row] = tr("In %1:").arg(row + 1);
        texts.row_out[row] = tr("Out %1:").arg(row + 1);
        texts.row_unassigned[row] = tr("Unassigned %1:").arg(row + 1);
    }

    uart_connect();
}

MainWindow::~MainWindow()
{
    save_settings();
    delete ui;
    delete sfp_1;
    delete sfp_2;
    delete sfp_eth;
    delete dante;
    delete parcer;
    delete serial_port; // closes the port before the widgets go
    delete watchdog_timer;
    delete monotone_timer;
}

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

void MainWindow::create_records()
{
    Ui::MainWindow &u = *ui;
    sfp_1 = new Sfp_module(
        0, u.label_sfp1_type, u.label_sfp1_chanel_1, u.label_sfp1_chanel_2, u.label_sfp1_rx_pwr_1,
        u.label_sfp1_rx_pwr_2, u.label_sfp1_tx_pwr_1, u.label_sfp1_tx_pwr_2, u.label_sfp1_temp,
        u.label_sfp1_present, u.label_sfp1_ch1_text, u.label_sfp1_ch2_text,
        u.label_sfp1_rxpwr1_text, u.label_sfp1_rxpwr2_text, u.label_sfp1_txpwr1_text,
        u.label_sfp1_txpwr2_text, u.label_sfp1_temp_text, u.label_sfp1_wl1, u.label_sfp1_wl1_text,
        u.label_sfp1_wl2, u.label_sfp1_wl2_text, u.box_current_trshd);
    sfp_2 = new Sfp_module(
        1, u.label_sfp2_type, u.label_sfp2_chanel_1, u.label_sfp2_chanel_2, u.label_sfp2_rx_pwr_1,
        u.label_sfp2_rx_pwr_2, u.label_sfp2_tx_pwr_1, u.label_sfp2_tx_pwr_2, u.label_sfp2_temp,
        u.label_sfp2_present, u.label_sfp2_ch1_text, u.label_sfp2_ch2_text,
        u.label_sfp2_rxpwr1_text, u.label_sfp2_rxpwr2_text, u.label_sfp2_txpwr1_text,
        u.label_sfp2_txpwr2_text, u.label_sfp2_temp_text, u.label_sfp2_wl1, u.label_sfp2_wl1_text,
        u.label_sfp2_wl2, u.label_sfp2_wl2_text, u.box_current_trshd);
    sfp_eth = new Sfp_module(
        2, u.label_sfp_eth_type, u.label_sfp_eth_chanel_1, u.label_sfp_eth_chanel_2,
        u.label_sfp_eth_rx_pwr_1, u.label_sfp_eth_rx_pwr_2, u.label_sfp_eth_tx_pwr_1,
        u.label_sfp_eth_tx_pwr_2, u.label_sfp_eth_temp, u.label_sfp_eth_present,
        u.label_sfp_eth_ch1_text, u.label_sfp_eth_ch2_text, u.label_sfp_eth_rxpwr1_text,
        u.label_sfp_eth_rxpwr2_text, u.label_sfp_eth_txpwr1_text, u.label_sfp_eth_txpwr2_text,
        u.label_sfp_eth_temp_text, u.label_sfp_eth_wl1, u.label_sfp_eth_wl1_text,
        u.label_sfp_eth_wl2, u.label_sfp_eth_wl2_text, u.box_current_trshd);
    dante = new Dante_module(u.label_system, u.label_sync, u.box_gain_0, u.box_gain_1,
                             u.label_mic_type, u.label_input_0, u.label_input_1,
                             u.button_reading_gain, u.label_dante_link);
    parcer = new Parcer(sfp_1, sfp_2, sfp_eth, dante);
}

// ---- Port selection and saved settings ----

void MainWindow::uart_connect()
{
    const QString name = ui->comboBox_SerialPort->currentText();
    const int rate = ui->comboBox_BaudRate->currentData().toInt();
    serial_port->close_port();
    if (name.isEmpty()) {
        Label_paint::paint(ui->label_SerialPort_Ok, texts.none, style_sheet::port_grey);
        return;
    }
    set_ok_fault_label(ui->label_SerialPort_Ok, serial_port->open_port(name, rate));
}

void MainWindow::set_ok_fault_label(QLabel *label, bool ok)
{
    if (ok)
        Label_paint::paint(label, texts.ok, style_sheet::port_green);
    else
        Label_paint::paint(label, texts.fault, style_sheet::red);
}

void MainWindow::slot_PortName_change(int index)
{
    Q_UNUSED(index)
    const QString name = ui->comboBox_SerialPort->currentText();
    uart_connect();
    if (!name.isEmpty())
        save_settings();
}

void MainWindow::slot_BaudRate_change(int index)
{
    Q_UNUSED(index)
    serial_port->set_baud_rate(ui->comboBox_BaudRate->currentData().toInt());
    save_settings();
}

void MainWindow::check_uart_available_ports(bool val)
{
    Q_UNUSED(val)
    const auto ports = QSerialPortInfo::availablePorts();
    ui->comboBox_SerialPort->clear();
    for (const QSerialPortInfo &info : ports)
        ui->comboBox_SerialPort->addItem(info.portName());
}

void MainWindow::slot_port_lost()
{
    set_ok_fault_label(ui->label_SerialPort_Ok, false);
}

int MainWindow::default_baud_index() const
{
    // The stored index is a place in the local rate list; on first start pick
    // 115200, which index 12 means only on some platforms.
    const int found = ui->comboBox_BaudRate->findData(preferred_baud_rate);
    return found >= 0 ? found : fallback_baud_index;
}

void MainWindow::load_settings()
{
    QSettings settings(QSettings::UserScope, settings_organisation, QString());
    settings.beginGroup(group_serial_port);
    ui->comboBox_SerialPort->setCurrentIndex(settings.value(key_serial_port, 0).toInt());
    ui->comboBox_BaudRate->setCurrentIndex(
        settings.value(key_baud_rate, default_baud_index()).toInt());
    settings.endGroup();

    settings.beginGroup(group_main_window);
    const QVariant stored = settings.value(key_position, default_position);
    // Anything but a point (a hand-edited or damaged file) falls back to the
    // default place rather than the screen's corner.
    move(stored.userType() == QMetaType::QPoint ? stored.toPoint() : default_position);
    settings.endGroup();
}

void MainWindow::save_settings()
{
    QSettings settings(QSettings::UserScope, settings_organisation, QString());
    settings.beginGroup(group_serial_port);
    settings.setValue(key_serial_port, ui->comboBox_SerialPort->currentIndex());
    settings.setValue(key_baud_rate, ui->comboBox_BaudRate->currentIndex());
    settings.endGroup();
    settings.beginGroup(group_main_window);
    settings.setValue(key_position, pos());
    settings.endGroup();
    settings.sync();
    // A FormatError only says the old file could not be read; it has just
    // been replaced by a clean one. Only an AccessError means nothing was saved.
    if (settings.status() == QSettings::AccessError)
        qDebug() << "Failed to save settings:" << settings.fileName();
}

// ---- Frame receiver ----

void MainWindow::slot_serial_port_read(QByteArray data)
{
    const int chunk_length = data.size();
    if (chunk_length == 0)
        return;
    const auto *bytes = reinterpret_cast<const uint8_t *>(data.constData());
    for (int i = 0; i < chunk_length; ++i) {
        switch (receiver.push(bytes[i])) {
        case Frame_receiver::Event::crc_good:
            on_good_frame();
            count_completed_frame(chunk_length);
            break;
        case Frame_receiver::Event::crc_bad:
            on_bad_frame();
            count_completed_frame(chunk_length);
            break;
        case Frame_receiver::Event::dropped:
        case Frame_receiver::Event::none:
            break;
        }
    }
}

void MainWindow::on_good_frame()
{
    crc_ok = true;
    // The decoder reads as far as the payload's own version and cage bits say;
    // a shorter payload would be completed from an earlier frame's bytes.
    if (!status::payload_is_complete(receiver.payload(), receiver.completed_length())) {
        qDebug() << "Short status message dropped";
        return;
    }
    Q_EMIT parcing_data_ready(receiver.payload_data());
}

void MainWindow::on_bad_frame()
{
    parcer->protocol_version = receiver.payload()[status::version_offset];
    crc_ok = false;
    qDebug() << "crc mismatch";
}

void MainWindow::count_completed_frame(int chunk_length)
{
    // Only zero against non-zero is ever read, so stop at the top rather than
    // wrap round to a negative count on a long burst.
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    rx_byte_count = rx_byte_count > top - chunk_length ? top : rx_byte_count + chunk_length;
}

// ---- General status presentation ----

void MainWindow::update_MainWindow()
{
    const Drawn_status status = current_status();
    if (drawn_status_valid && status == drawn_status)
        return;
    drawn_status = status;
    drawn_status_valid = true;

    // Showing a widget lays its window out again at once, so a redraw that
    // shows many labels (swapped channel directions) would lay the window out
    // for each of them. Held off, the layouts run once, on the next pass of
    // the event loop and before the window is painted, as they do anyway
    // after a changed text.
    set_layouts_enabled(false);
    draw_fault_indicators();
    draw_in_out_rows();
    draw_links();
    sfp_1->update_sfp_panel();
    sfp_2->update_sfp_panel();
    sfp_eth->update_sfp_panel();
    dante->update_dante_panel();
    draw_info();
    set_layouts_enabled(true);
}

void MainWindow::set_layouts_enabled(bool enabled)
{
    for (QLayout *layout : qAsConst(layouts))
        layout->setEnabled(enabled);
}

MainWindow::Drawn_status::Drawn_status()
{
    // Compared bytewise, padding included.
    std::memset(this, 0, sizeof *this);
}

bool MainWindow::Drawn_status::operator==(const Drawn_status &other) const
{
    return std::memcmp(this, &other, sizeof *this) == 0;
}

MainWindow::Drawn_status MainWindow::current_status() const
{
    Drawn_status status;
    const Sfp_module *const cages[Drawn_status::cages] = {sfp_1, sfp_2, sfp_eth};
    for (int c = 0; c < Drawn_status::cages; ++c) {
        const Sfp_module &sfp = *cages[c];
        for (int channel = 0; channel < Drawn_status::channels; ++channel) {
            status.rx_pwr[c][channel] = sfp.rx_pwr[channel];
            status.tx_pwr[c][channel] = sfp.tx_pwr[channel];
            status.wavelength[c][channel] = sfp.wavelength[channel];
        }
        status.temperature[c] = sfp.temperature;
        status.cage[c][0] = sfp.type;
        status.cage[c][1] = sfp.present;
        status.cage[c][2] = sfp.chanel_dir[0];
        status.cage[c][3] = sfp.chanel_dir[1];
    }
    status.threshold = ui->box_current_trshd->value();
    const Parcer &p = *parcer;
    const uint8_t decoder[] = {p.rx_fault, p.tx_fault, p.overheat, p.lock[0],
                               p.lock[1],  p.lock[2],  p.lock[3],  p.link_valid,
                               p.link_f,   p.link_p1,  p.link_p2,  p.protocol_version};
    static_assert(sizeof decoder == sizeof status.decoder, "every decoder field drawn");
    std::memcpy(status.decoder, decoder, sizeof decoder);
    const Dante_module &d = *dante;
    const uint8_t dante_fields[] = {d.present,       d.system_state,  d.sync_state, d.link_state,
                                    d.input_type[0], d.input_type[1], d.mic_type};
    static_assert(sizeof dante_fields == sizeof status.dante, "every Dante field drawn");
    std::memcpy(status.dante, dante_fields, sizeof dante_fields);
    status.crc_ok = crc_ok ? 1 : 0;
    return status;
}

void MainWindow::draw_fault_indicators()
{
    if (sfp_1->present == 0 && sfp_2->present == 0) {
        blank({ui->label_rx_fault, ui->label_tx_fault, ui->label_overheat}, texts.none,
              &style_sheet::grey);
        return;
    }
    Label_paint::paint(ui->label_rx_fault, parcer->rx_fault ? texts.fault : texts.ok,
                       parcer->rx_fault ? style_sheet::red : style_sheet::green);
    Label_paint::paint(ui->label_tx_fault, parcer->tx_fault ? texts.fault : texts.ok,
                       parcer->tx_fault ? style_sheet::red : style_sheet::green);
    Label_paint::paint(ui->label_overheat, parcer->overheat ? texts.error : texts.ok,
                       parcer->overheat ? style_sheet::red : style_sheet::green);
}

void MainWindow::draw_in_out_rows()
{
    draw_in_out_row(ui->label_in_out_1, ui->label_lock_1, 0, sfp_1->chanel_dir[0], parcer->lock[0]);
    draw_in_out_row(ui->label_in_out_2, ui->label_lock_2, 1, sfp_1->chanel_dir[1], parcer->lock[1]);
    draw_in_out_row(ui->label_in_out_3, ui->label_lock_3, 2, sfp_2->chanel_dir[0], parcer->lock[2]);
    draw_in_out_row(ui->label_in_out_4, ui->label_lock_4, 3, sfp_2->chanel_dir[1], parcer->lock[3]);
}

void MainWindow::draw_in_out_row(QLabel *caption, QLabel *lock_label, int row, uint8_t code,
                                 uint8_t locked)
{
    switch (code) {
    case Sfp_module::dir_none:
        Label_paint::text(caption, texts.no_row);
        Label_paint::paint(lock_label, texts.none, style_sheet::grey);
        return;
    case Sfp_module::dir_rx: // the unit outputs what the module receives
        Label_paint::text(caption, texts.row_out[row]);
        break;
    case Sfp_module::dir_tx:
        Label_paint::text(caption, texts.row_in[row]);
        break;
    default:
        Label_paint::text(caption, texts.row_unassigned[row]);
        break;
    }
    Label_paint::paint(lock_label, locked ? texts.ok : texts.fault,
                       locked ? style_sheet::green : style_sheet::red);
}

void MainWindow::draw_link(QLabel *label, uint8_t up)
{
    // A link that is down is not a fault of the unit, hence black, not red.
    Label_paint::paint(label, up ? texts.link : texts.fault,
                       up ? style_sheet::green : style_sheet::black);
}

void MainWindow::draw_links()
{
    if (parcer->link_valid == 0) {
        blank({ui->label_link_f, ui->label_link_p1, ui->label_link_p2}, texts.not_available,
              &style_sheet::grey);
        return;
    }
    draw_link(ui->label_link_f, parcer->link_f);
    draw_link(ui->label_link_p1, parcer->link_p1);
    draw_link(ui->label_link_p2, parcer->link_p2);
}

void MainWindow::draw_info()
{
    if (crc_ok)
        Label_paint::paint(ui->label_crc_ctrl, texts.ok, style_sheet::green);
    else
        Label_paint::paint(ui->label_crc_ctrl, texts.mismatch, style_sheet::red);

    const uint8_t version = parcer->protocol_version;
    Label_paint::paint(ui->label_protocol_ver, version_text(version),
                       is_supported_version(version) ? style_sheet::green : style_sheet::red);
}

const QString &MainWindow::version_text(uint8_t version)
{
    if (shown_version != version) {
        const int major = version >> nibble_bits;
        const int minor = version & nibble_mask;
        shown_version_text = is_supported_version(version)
                                 ? tr("%1.%2, Ok").arg(major).arg(minor)
                                 : tr("%1.%2, Version mistmatch").arg(major).arg(minor);
        shown_version = version;
    }
    return shown_version_text;
}

// ---- Link watchdog ----

void MainWindow::check_byte_receiving()
{
    if (rx_byte_count != 0) {
        Label_paint::paint(ui->label_receiving_status, texts.ok, style_sheet::green);
        if (parcer->protocol_version >= first_threshold_version) {
            Label_paint::enabled(ui->button_trshd_apply, true);
            if (crc_ok) {
                if (!connection_announced) {
                    Q_EMIT new_connection_is_set();
                    monotone_timer->start(monotone_interval_ms);
                    connection_announced = true;
                }
                rx_byte_count = 0;
                return;
            }
        } else {
            Label_paint::enabled(ui->button_trshd_apply, false);
        }
    } else {
        apply_no_data_state();
        Label_paint::enabled(ui->box_gain_0, false);
        Label_paint::enabled(ui->box_gain_1, false);
        Label_paint::enabled(ui->button_reading_gain, false);
        Label_paint::enabled(ui->button_trshd_apply, false);
    }
    if (connection_announced) {
        monotone_timer->stop();
        connection_announced = false;
    }
    rx_byte_count = 0;
}

void MainWindow::blank(std::initializer_list<QLabel *> labels, const QString &text,
                       const QString *sheet)
{
    for (QLabel *label : labels) {
        Label_paint::text(label, text);
        if (sheet)
            Label_paint::style(label, *sheet);
    }
}

void MainWindow::apply_no_data_state()
{
    drawn_status_valid = false;
    Ui::MainWindow &u = *ui;
    const QString &none = texts.none;
    Label_paint::paint(u.label_receiving_status, texts.fault, style_sheet::red);
    blank({u.label_rx_fault, u.label_tx_fault, u.label_overheat}, none, &style_sheet::black);
    blank({u.label_sfp1_present, u.label_sfp2_present, u.label_sfp_eth_present}, none,
          &style_sheet::black);
    blank({u.label_link_p1, u.label_link_p2, u.label_link_f}, none, &style_sheet::black);
    blank({u.label_in_out_1, u.label_in_out_2, u.label_in_out_3, u.label_in_out_4}, texts.no_row,
          &style_sheet::black);
    blank({u.label_lock_1, u.label_lock_2, u.label_lock_3, u.label_lock_4}, none,
          &style_sheet::black);
    blank({u.label_sfp1_type, u.label_sfp2_type, u.label_sfp_eth_type}, none, &style_sheet::black);
    blank({u.label_sfp1_rx_pwr_1, u.label_sfp1_rx_pwr_2, u.label_sfp2_rx_pwr_1,
           u.label_sfp2_rx_pwr_2, u.label_sfp_eth_rx_pwr_1, u.label_sfp_eth_rx_pwr_2},
          none, &style_sheet::black);
    blank({u.label_sfp1_chanel_1, u.label_sfp1_chanel_2, u.label_sfp2_chanel_1,
           u.label_sfp2_chanel_2, u.label_sfp_eth_chanel_1, u.label_sfp_eth_chanel_2},
          none, nullptr);
    blank({u.label_sfp1_tx_pwr_1, u.label_sfp1_tx_pwr_2, u.label_sfp2_tx_pwr_1,
           u.label_sfp2_tx_pwr_2, u.label_sfp_eth_tx_pwr_1, u.label_sfp_eth_tx_pwr_2},
          none, nullptr);
    blank({u.label_sfp1_temp, u.label_sfp2_temp, u.label_sfp_eth_temp}, none, nullptr);
    blank({u.label_sfp1_wl1, u.label_sfp1_wl2, u.label_sfp2_wl1, u.label_sfp2_wl2,
           u.label_sfp_eth_wl1, u.label_sfp_eth_wl2},
          none, nullptr);
    blank({u.label_crc_ctrl, u.label_protocol_ver}, none, &style_sheet::black);
    blank({u.label_system, u.label_sync, u.label_dante_link, u.label_input_0, u.label_input_1,
           u.label_mic_type},
          none, &style_sheet::grey);
}

// ---- Control message ----

QByteArray MainWindow::build_packet() const
{
    const uint8_t payload[frame::control_payload_size] = {
        control_payload_tag, dante->gain[0], dante->gain[1], static_cast<uint8_t>(rx_trshd)};
    return Frame_builder::build_control(payload, sizeof payload);
}

void MainWindow::slot_packet_send()
{
    serial_port->send_msg(build_packet());
}

void MainWindow::monotone_packet_send()
{
    serial_port->send_monotone_msg(build_packet());
}

void MainWindow::rx_power_trshd_changed(bool val)
{
    Q_UNUSED(val)
    rx_trshd = static_cast<int8_t>(ui->box_new_trshd->value());
    slot_packet_send();
}

void MainWindow::update_rx_trshd_from_cpu()
{
    rx_trshd = parcer->cpu_rx_trshd;
    ui->box_new_trshd->setValue(rx_trshd);
}

void MainWindow::default_set(bool val)
{
    Q_UNUSED(val)
    ui->box_gain_0->setValue(default_gain_db);
    ui->box_gain_1->setValue(default_gain_db);
    ui->box_new_trshd->setValue(default_rx_trshd);
    rx_trshd = static_cast<int8_t>(ui->box_new_trshd->value());
    slot_packet_send();
}
