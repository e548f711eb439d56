#ifndef VELMAR_SIMULATOR_HEALTHY_UNIT_H
#define VELMAR_SIMULATOR_HEALTHY_UNIT_H

#include "protocol/unit_status.h"

// What the simulated unit reports until told otherwise: a healthy protocol
// 2.0 unit. SFP 1 Video with channel 1 Rx and channel 2 Tx, SFP 2 Ethernet,
// SFP Eth empty, every lock and link good, the Dante submodule present and
// fine at gain codes 32/32 and a -28 dBm threshold.
Unit_status healthy_unit();

#endif
