#include "protocol/status_layout.h"

namespace status {

int present_cage_count(uint8_t cage_types)
{
    int count = 0;
    for (int cage = 0; cage < Unit_status::cage_count; ++cage)
        count += cage_type(cage_types, cage) != 0 ? 1 : 0;
    return count;
}

std::size_t payload_size(uint8_t version, uint8_t cage_types)
{
    std::size_t size =
        fixed_part_size +
        sfp_block_size(version) * static_cast<std::size_t>(present_cage_count(cage_types));
    if (has_dante_region(version))
        size += dante_region_size;
    return size;
}

std::size_t expected_payload_size(const uint8_t *payload)
{
    return payload_size(payload[version_offset], payload[cage_types_offset]);
}

bool payload_is_complete(const uint8_t *payload, std::size_t length)
{
    if (length < fixed_part_size)
        return false;
    return length >= expected_payload_size(payload);
}

} // namespace status
