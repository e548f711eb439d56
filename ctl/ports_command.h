#ifndef VELMAR_CTL_PORTS_COMMAND_H
#define VELMAR_CTL_PORTS_COMMAND_H

// velmar-ctl ports: one line per serial port Qt lists, with the by-id links
// that lead to it.
class Ports_command
{
public:
    static int run();
};

#endif
