#ifndef VELMAR_SIMULATOR_SIM_SETTINGS_H
#define VELMAR_SIMULATOR_SIM_SETTINGS_H

// How the simulated unit behaves on the line, apart from what it reports:
// pacing, acknowledgements, drift and the injected faults.
class Sim_settings
{
public:
    static constexpr int default_rate = 10;
    static constexpr int max_paced_rate = 100000;
    static constexpr int as_fast_as_possible = 0; // rate value: fill the line

    int rate = default_rate; // status frames per second, or as_fast_as_possible
    bool acknowledge = true;
    // Take the gains and threshold of good control frames; off, a unit that
    // acknowledges and yet keeps its own values.
    bool apply = true;
    int ack_delay_ms = 0;
    bool drift = true;

    int noise_bytes = 0;        // random bytes before every frame
    double bad_crc_share = 0.0; // 0..1 of the frames leave with a broken CRC
    int payload_change = 0;     // bytes cut (< 0) from or added (> 0) to every payload
    bool dante_invalid = false; // the Dante submodule disowns every report
};

#endif
