#ifndef VELMAR_PROTOCOL_STATUS_JUDGEMENT_H
#define VELMAR_PROTOCOL_STATUS_JUDGEMENT_H

#include "protocol/unit_status.h"

#include <cstdint>
#include <optional>

// What a status shows, judged in one place for every front end: the
// window's colours, the exporter's samples, the report's episodes and its
// verdict. Two front ends that judged "below the threshold" each their own
// way would one day disagree about the same status.
class Status_judgement
{
public:
    enum class Finding : uint8_t
    {
        clear,      // the status shows nothing wrong here
        shown,      // the status shows the condition
        not_judged, // the status does not say enough to tell
    };

    // A received power against a threshold: strictly below it is a fault,
    // equal to it is still fine. A threshold the unit cannot be set to is
    // read as the nearest one it can, as the window's threshold box shows it.
    static bool below(int power_tenths, int threshold_dbm);

    // An Rx channel of a fitted module: the only kind whose power is judged.
    static bool receives(const Unit_status &status, int cage, int channel);
    // From 2.0 on a status reports the unit's threshold.
    static bool reports_threshold(const Unit_status &status);

    // The channel's received power against the threshold the same status
    // reports or, where it reports none, against the one given (a person's,
    // on the command line). A channel that receives nothing is clear; one
    // that receives with no threshold to judge by is not judged.
    static Finding rx_below(const Unit_status &status, int cage, int channel,
                            std::optional<int> given_threshold_dbm = std::nullopt);
    // A link down, judged only while the unit says its link states are valid.
    static Finding link_down(const Unit_status &status, int link);
    // A Dante state (system, sync, link) not good, judged only while the
    // submodule reports it: from 2.0 on, and while it is fitted.
    static Finding dante_not_ok(const Unit_status &status, int state);
};

#endif
