#include "protocol/unit_status.h"

bool Unit_status::Channel::operator==(const Channel &other) const
{
    return direction == other.direction && power_tenths == other.power_tenths &&
           wavelength_nm == other.wavelength_nm && flag == other.flag;
}

bool Unit_status::Cage::operator==(const Cage &other) const
{
    return type == other.type && temperature_c == other.temperature_c && channels == other.channels;
}

bool Unit_status::Dante::operator==(const Dante &other) const
{
    return present == other.present && system == other.system && sync == other.sync &&
           link == other.link && mic == other.mic && inputs == other.inputs &&
           gain_codes == other.gain_codes && gains_reported == other.gains_reported;
}

bool Unit_status::operator==(const Unit_status &other) const
{
    return version == other.version && rx_fault == other.rx_fault && tx_fault == other.tx_fault &&
           overheat == other.overheat && locks == other.locks && links_valid == other.links_valid &&
           link_f == other.link_f && link_p1 == other.link_p1 && link_p2 == other.link_p2 &&
           cages == other.cages && dante == other.dante && threshold_dbm == other.threshold_dbm;
}

bool Unit_status::link_up(int link) const
{
    switch (link) {
    case link_index_f:
        return link_f;
    case link_index_p1:
        return link_p1;
    case link_index_p2:
        return link_p2;
    default:
        return false;
    }
}

Unit_status::Dante_state Unit_status::Dante::state(int kind) const
{
    switch (kind) {
    case dante_system:
        return system;
    case dante_sync:
        return sync;
    case dante_link:
        return link;
    default:
        return Dante_state::not_reported;
    }
}
