#ifndef VELMAR_CTL_SET_COMMAND_H
#define VELMAR_CTL_SET_COMMAND_H

#include "protocol/control_payload.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QObject>

#include <memory>

class Ctl_options;
class Session;
class Unit_status;

// velmar-ctl set: one control frame built as the window builds it, from the
// given values and the unit's own for the rest, sent once the unit has
// spoken, and acknowledged or not.
class Set_command : public QObject
{
    Q_OBJECT

public:
    static constexpr int first_status_timeout_ms = 3000;

    explicit Set_command(const Ctl_options &options, QObject *parent = nullptr);
    ~Set_command() override;

    // Returns the exit code once the unit has answered or not.
    int run();

    // The frame's values: the defaults or the unit's own as the window's
    // editors hold them, then what was given, snapped as the editors do.
    static Control_payload values_for(const Ctl_options &options, const Unit_status &unit);

private:
    void on_first_status(const Unit_status &status);
    bool print_values(const Control_payload &values);
    void finish(int exit_code);

    const Ctl_options &options;
    std::unique_ptr<Session> session;
    bool sent = false;
};

#endif
