#ifndef VELMAR_SESSION_TELNET_H
#define VELMAR_SESSION_TELNET_H

#include <cstdint>

// Wire constants of telnet (RFC 854, 855) and of its COM-PORT-OPTION
// (RFC 2217), as far as a client that sets a remote serial line needs them.
namespace telnet {

constexpr uint8_t iac = 0xFF; // interpret as command; doubled, a data byte 0xFF
constexpr uint8_t se = 0xF0;  // end of subnegotiation
constexpr uint8_t sb = 0xFA;  // start of subnegotiation
constexpr uint8_t will = 0xFB;
constexpr uint8_t wont = 0xFC;
constexpr uint8_t do_ = 0xFD;
constexpr uint8_t dont = 0xFE;

namespace option {
constexpr uint8_t binary = 0;
constexpr uint8_t echo = 1;
constexpr uint8_t suppress_go_ahead = 3;
constexpr uint8_t com_port = 44;
} // namespace option

// COM-PORT-OPTION subnegotiation commands, client to server; the server's
// answer to each carries the same command plus server_offset.
namespace com_port {
constexpr uint8_t signature = 0;
constexpr uint8_t set_baud_rate = 1;
constexpr uint8_t set_data_size = 2;
constexpr uint8_t set_parity = 3;
constexpr uint8_t set_stop_size = 4;
constexpr uint8_t set_control = 5;
constexpr uint8_t purge_data = 12;
constexpr uint8_t server_offset = 100;

constexpr uint8_t data_size_8 = 8;
constexpr uint8_t parity_none = 1;
constexpr uint8_t stop_size_1 = 1;
constexpr uint8_t control_no_flow = 1; // outbound and inbound alike
constexpr uint8_t purge_both = 3;      // the server's receive and transmit buffers
} // namespace com_port

} // namespace telnet

#endif
