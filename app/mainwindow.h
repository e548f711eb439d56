#ifndef VELMAR_APP_MAINWINDOW_H
#define VELMAR_APP_MAINWINDOW_H

#include "app/saved_settings.h"
#include "app/sfp_panel.h"
#include "app/start_port.h"
#include "protocol/unit_status.h"
#include "session/link_watchdog.h"
#include "session/port_settings.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtWidgets/QMainWindow>

#include <array>
#include <memory>

class Dante_panel;
class QLabel;
class QLayout;
class Session;
class Summary_panel;

namespace Ui {
class MainWindow;
}

// The tool's one window, a view of a session: it draws the unit's status
// into the form's labels, shows the state of the link and the port, and turns
// the operator's use of its widgets into the session's intents.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(Session &session, const Start_port &start_port = {},
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // The record of this run (--record) stopped: said in the status bar
    // until the window closes.
    void show_record_stopped(const QString &path, const QString &reason);

private:
    void fill_port_list();
    void fill_baud_rates();
    void restore_settings();
    void create_panels();
    Sfp_panel::Labels cage_labels(int cage) const;
    void set_up_editors();
    void connect_widgets();
    void connect_session();
    void open_start_port(const Start_port &start_port);
    int default_baud_index() const;
    int select_baud_rate(qint32 baud_rate);

    void open_chosen_port();
    void on_port_chosen();
    void on_baud_rate_chosen();
    void rescan_ports();
    // After open_port(): whether it opened, failed, or is still opening.
    void show_opening(const QString &name, bool started);
    void show_port_state(bool open);
    // The "Fault" beside the port says that it failed; the status bar says why.
    void show_open_failure(const QString &why);
    void on_port_lost();
    void save_settings();

    // Every status: what outlives a message in the panels (a channel turned
    // unassigned keeps what it showed before).
    void track_status(const Unit_status &status);
    // Once per read: draws the latest status unless the screen shows it already.
    void draw_read(const Unit_status &latest);
    // Draws every panel from the status, touching only what differs.
    void draw_status(const Unit_status &status);
    void set_layouts_enabled(bool enabled);
    void show_link(Link_watchdog::Verdict verdict);
    void blank();
    void show_gain(int input, double db);
    void show_threshold(int dbm);

    Session &session;
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<Summary_panel> summary;
    std::array<std::unique_ptr<Sfp_panel>, Unit_status::cage_count> cages;
    std::unique_ptr<Dante_panel> dante;

    // Every layout in the window, held off while a redraw runs (see draw_status()).
    QList<QLayout *> layouts;

    // Saved choices that a command-line port or rate leaves alone, until the
    // operator picks another one.
    Saved_settings loaded;
    bool keep_saved_port = false;
    bool keep_saved_baud = false;
    // The port last asked for, as named: a terminal server's may fail later.
    QString opening_name;

    // A read of the port may bring many messages; the window draws the last
    // of them once, after the read, which leaves exactly what drawing each
    // would have left: the panels follow what outlives a message.
    bool history_changed = false;
    // A unit repeats its status many times a second: an identical status is
    // not drawn again while the labels still show it. Blanking clears this.
    Unit_status drawn;
    bool drawn_valid = false;

    const QString text_none;
    const QString text_ok;
    const QString text_fault;
};

#endif
