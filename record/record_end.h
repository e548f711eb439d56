#ifndef VELMAR_RECORD_RECORD_END_H
#define VELMAR_RECORD_RECORD_END_H

#include <QtCore/QString>

// Why a run ended, as its end line says. A run whose record has no end line
// is still being written, or its writer was killed.
enum class Record_end
{
    done,      // watch: its --count or --duration was reached
    signal,    // watch: Ctrl-C or SIGTERM
    closed,    // the window was closed, or it opened another port
    port_lost, // the port was lost (or never opened) and had not come back
    no_status, // watch --count gave up: no status within its wait
};

// "done", "signal", "closed", "port_lost", "no_status"
QString record_end_word(Record_end end);

#endif
