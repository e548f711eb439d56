#include "protocol/status_judgement.h"

#include "protocol/control_payload.h"
#include "protocol/protocol_version.h"
#include "protocol/status_words.h"

#include <algorithm>

namespace {

using S = Unit_status;
using Finding = Status_judgement::Finding;

Finding finding(bool shown)
{
    return shown ? Finding::shown : Finding::clear;
}

} // namespace

bool Status_judgement::below(int power_tenths, int threshold_dbm)
{
    const int threshold = std::clamp(threshold_dbm, Control_payload::threshold_min_dbm,
                                     Control_payload::threshold_max_dbm);
    return power_tenths < threshold * Status_words::power_tenths_per_dbm;
}

bool Status_judgement::receives(const S &status, int cage, int channel)
{
    return status.cages[cage].present() &&
           status.cages[cage].channels[channel].direction == S::Direction::rx;
}

bool Status_judgement::reports_threshold(const S &status)
{
    return Protocol_version::takes_threshold(status.version);
}

Finding Status_judgement::rx_below(const S &status, int cage, int channel,
                                   std::optional<int> given_threshold_dbm)
{
    if (!receives(status, cage, channel))
        return Finding::clear;
    const std::optional<int> threshold =
        reports_threshold(status) ? std::optional<int>(status.threshold_dbm) : given_threshold_dbm;
    if (!threshold)
        return Finding::not_judged;
    return finding(below(status.cages[cage].channels[channel].power_tenths, *threshold));
}

Finding Status_judgement::link_down(const S &status, int link)
{
    if (!status.links_valid)
        return Finding::not_judged;
    return finding(!status.link_up(link));
}

Finding Status_judgement::dante_not_ok(const S &status, int state)
{
    if (!Protocol_version::takes_threshold(status.version) || !status.dante.present)
        return Finding::not_judged;
    return finding(status.dante.state(state) != S::Dante_state::ok);
}
