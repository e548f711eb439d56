#ifndef VELMAR_TESTS_MAIN_WINDOW_PROBE_H
#define VELMAR_TESTS_MAIN_WINDOW_PROBE_H

#include "app/mainwindow.h"
#include "link/serial_port.h"
#include "model/dante_module.h"
#include "model/parcer.h"
#include "model/sfp_module.h"
#include "ui_mainwindow.h"

#include <QtCore/QByteArray>
#include <QtCore/QTimer>

// Reaches into a MainWindow for tests, benchmarks and the fuzzer: its records,
// its fields and its private slots, called directly as their signals would.
class Main_window_probe
{
public:
    explicit Main_window_probe(MainWindow &window) : w(window) {}

    Ui::MainWindow &ui() { return *w.ui; }
    Parcer &parcer() { return *w.parcer; }
    Dante_module &dante() { return *w.dante; }
    Sfp_module &sfp(int index)
    {
        return index == 0 ? *w.sfp_1 : index == 1 ? *w.sfp_2 : *w.sfp_eth;
    }
    Serial_port &serial_port() { return *w.serial_port; }
    QTimer &watchdog_timer() { return *w.watchdog_timer; }
    QTimer &monotone_timer() { return *w.monotone_timer; }

    bool &crc_ok() { return w.crc_ok; }
    int8_t &rx_trshd() { return w.rx_trshd; }
    int32_t &rx_byte_count() { return w.rx_byte_count; }
    bool &connection_announced() { return w.connection_announced; }
    const Frame_receiver &receiver() const { return w.receiver; }

    // The receiver, as if the channel had read this chunk.
    void feed(const QByteArray &chunk) { w.slot_serial_port_read(chunk); }
    void redraw() { w.update_MainWindow(); }
    void tick() { w.check_byte_receiving(); }
    QByteArray build_packet() const { return w.build_packet(); }
    void packet_send() { w.slot_packet_send(); }
    void monotone_send() { w.monotone_packet_send(); }
    void apply_threshold() { w.rx_power_trshd_changed(false); }
    void default_set() { w.default_set(false); }
    void rescan() { w.check_uart_available_ports(false); }
    void save_settings() { w.save_settings(); }

private:
    MainWindow &w;
};

#endif
