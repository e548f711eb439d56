#ifndef VELMAR_CTL_SET_COMMAND_H
#define VELMAR_CTL_SET_COMMAND_H

#include "protocol/control_payload.h"
#include "protocol/unit_status.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtCore/QTimer>

#include <memory>

class Ctl_options;
class Session;

// velmar-ctl set: one control frame built as the window builds it, from the
// given values and the unit's own for the rest, sent once the unit has
// spoken. It succeeds only when the unit took the values: it acknowledged
// them and its next status does not say otherwise, or a later status reports
// them. Without either the frame is sent again, --retries times at most.
class Set_command : public QObject
{
    Q_OBJECT

public:
    // How long a unit may take to say anything before it counts as silent.
    static constexpr int first_status_timeout_s = 3;
    static constexpr int first_status_timeout_ms = first_status_timeout_s * 1000;

    explicit Set_command(const Ctl_options &options, QObject *parent = nullptr);
    ~Set_command() override;

    // Returns the exit code once the unit has taken the values or not.
    int run();
    // Ctrl-C or SIGTERM: never taken for success.
    void stop(int signal_number);

    // The frame's values: the defaults or the unit's own as the window's
    // editors hold them, then what was given, snapped as the editors do.
    static Control_payload values_for(const Ctl_options &options, const Unit_status &unit);

private:
    // What one status says of the values sent.
    enum class Report
    {
        shows_them,   // it carries every value, each as sent
        shows_others, // some value it carries is not as sent
        cannot_show,  // below 2.0, or the gains while the Dante submodule is absent
    };

    static Report report_of(const Unit_status &status, const Control_payload &sent);
    // "gain1_db=47.00 instead of 50.75", one per value the status carries otherwise.
    static QStringList differences(const Unit_status &status, const Control_payload &sent);

    void connect_session();
    void on_status(const Unit_status &status);
    void send_first(const Unit_status &status);
    void judge(const Unit_status &status);
    void on_acknowledged();
    void on_ack_timed_out();
    void succeed(const QString &word);
    void fail(int exit_code, const QString &message);
    void fail_output();
    bool print_values(const Control_payload &values);
    void finish(int exit_code);

    const Ctl_options &options;
    std::unique_ptr<Session> session;
    QTimer first_status_due;
    // After an acknowledgement, how long its status may take to follow.
    QTimer report_due;
    Control_payload sent_values;
    bool decided = false; // the values are decided and handed to the session
    bool on_line = false; // a frame of them went out: later statuses may show them
    bool acknowledged = false;
    bool taken = false; // the unit took the values; all that is left is to say so
    int resent = 0;
    QStringList other_values; // what the last status showed instead, if anything
    bool finished = false;
};

#endif
