#ifndef VELMAR_MODEL_PARCER_H
#define VELMAR_MODEL_PARCER_H

#include <QtCore/QObject>

#include <cstdint>

class Dante_module;
class Sfp_module;

// Decodes the unit's status payload by its protocol version into its own
// fields and into the cage and Dante records, then announces the
// acknowledgement, the unit's threshold and the end of decoding.
class Parcer : public QObject
{
    Q_OBJECT

public:
    Parcer(Sfp_module *sfp_1, Sfp_module *sfp_2, Sfp_module *sfp_eth, Dante_module *dante);
    ~Parcer() override;

    uint8_t rx_fault;
    uint8_t tx_fault;
    uint8_t overheat;
    uint8_t lock[4];
    uint8_t link_valid;
    uint8_t link_f;
    uint8_t link_p1;
    uint8_t link_p2;
    uint8_t protocol_version;
    int8_t cpu_rx_trshd;
    Sfp_module *sfp_1;
    Sfp_module *sfp_2;
    Sfp_module *sfp_eth;
    Dante_module *dante;

Q_SIGNALS:
    void update_data_ready();
    void ack_recieved();
    void rx_power_trshd_recieved(int value);

public Q_SLOTS:
    // Trusts the payload to be as long as its version and cage bits say; the
    // receiver drops shorter ones before they get here.
    void parcing_data(uint8_t *data);

private:
    void sfp_parcing(Sfp_module *sfp, const uint8_t *block);
    void dante_parcing(Dante_module *record, const uint8_t *block);
    static void set_cage_type(Sfp_module *sfp, uint8_t type);
};

#endif
