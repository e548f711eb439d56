#ifndef VELMAR_APP_MAINWINDOW_H
#define VELMAR_APP_MAINWINDOW_H

#include "link/frame_receiver.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtWidgets/QMainWindow>

#include <cstdint>
#include <initializer_list>

class Dante_module;
class Parcer;
class QLabel;
class QLayout;
class QSettings;
class QTimer;
class Serial_port;
class Sfp_module;
class Main_window_probe;

namespace Ui {
class MainWindow;
}

// The tool's one window. It builds, owns and wires every other object, turns
// the byte stream into status frames, watches the link and sends the control
// message.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int watchdog_interval_ms = 1000;
    static constexpr int monotone_interval_ms = 2000;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

Q_SIGNALS:
    void parcing_data_ready(uint8_t *payload);
    void new_connection_is_set();

private Q_SLOTS:
    void slot_PortName_change(int index);
    void slot_BaudRate_change(int index);
    void slot_serial_port_read(QByteArray data);
    void update_MainWindow();
    void check_byte_receiving();
    void slot_packet_send();
    void monotone_packet_send();
    void check_uart_available_ports(bool val);
    void rx_power_trshd_changed(bool val);
    void update_rx_trshd_from_cpu();
    void default_set(bool val);
    void slot_port_lost();

private:
    friend class Main_window_probe;

    // Fixed texts of the window, translated once rather than on every redraw.
    struct Texts
    {
        QString none;
        QString no_row;
        QString ok;
        QString fault;
        QString error;
        QString link;
        QString not_available;
        QString mismatch;
        QString row_in[4];
        QString row_out[4];
        QString row_unassigned[4];
    };

    void fill_port_list();
    void fill_baud_rates();
    void create_records();
    void uart_connect();
    void set_ok_fault_label(QLabel *label, bool ok);
    void load_settings();
    void save_settings();
    int default_baud_index() const;
    QByteArray build_packet() const;

    void on_good_frame();
    void on_bad_frame();
    void count_completed_frame(int chunk_length);

    void draw_fault_indicators();
    void draw_in_out_rows();
    void draw_in_out_row(QLabel *caption, QLabel *lock_label, int row, uint8_t code,
                         uint8_t locked);
    void draw_link(QLabel *label, uint8_t up);
    void draw_links();
    void draw_info();
    const QString &version_text(uint8_t version);

    // Everything update_MainWindow() draws from, for telling an identical
    // status apart without visiting the labels.
    struct Drawn_status
    {
        static constexpr int cages = 3;
        static constexpr int channels = 2;

        Drawn_status();
        bool operator==(const Drawn_status &other) const;

        float rx_pwr[cages][channels];
        float tx_pwr[cages][channels];
        int32_t temperature[cages];
        int32_t threshold; // colours the received powers
        uint16_t wavelength[cages][channels];
        uint8_t cage[cages][4]; // type, presence, both channel directions
        uint8_t decoder[12];    // faults, locks, links, protocol version
        uint8_t dante[7];       // states, input and microphone types
        uint8_t crc_ok;
    };
    Drawn_status current_status() const;
    void set_layouts_enabled(bool enabled);

    void apply_no_data_state();
    static void blank(std::initializer_list<QLabel *> labels, const QString &text,
                      const QString *sheet);

    Serial_port *serial_port;
    Sfp_module *sfp_1;
    Sfp_module *sfp_2;
    Sfp_module *sfp_eth;
    Dante_module *dante;
    Parcer *parcer;
    Ui::MainWindow *ui;
    QTimer *watchdog_timer;
    QTimer *monotone_timer;
    bool crc_ok;
    int8_t rx_trshd;
    int32_t rx_byte_count;

    // One receiver for the whole run: never reset, not even when the port
    // changes, so a frame split across reads or reopenings is still found.
    Frame_receiver receiver;
    bool connection_announced;

    Texts texts;
    int shown_version;
    QString shown_version_text;

    // A unit repeats its status many times a second. While the labels still
    // show what was drawn from drawn_status, an identical status changes
    // nothing and its redraw is skipped; the watchdog's no-data state writes
    // the labels itself and so clears drawn_status_valid.
    Drawn_status drawn_status;
    bool drawn_status_valid;

    // Every layout in the window, held off while a redraw runs (see
    // update_MainWindow()).
    QList<QLayout *> layouts;
};

#endif
