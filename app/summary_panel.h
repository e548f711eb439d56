#ifndef VELMAR_APP_SUMMARY_PANEL_H
#define VELMAR_APP_SUMMARY_PANEL_H

#include "protocol/unit_status.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <array>

class QLabel;

// The window's overview: the fault and link indicators of the "Status"
// group, the four rows of "Inputs / Outputs" and the "Info" group.
class Summary_panel
{
    Q_DECLARE_TR_FUNCTIONS(Summary_panel)

public:
    struct Labels
    {
        QLabel *rx_fault, *tx_fault, *overheat;
        QLabel *link_f, *link_p1, *link_p2;
        std::array<QLabel *, Unit_status::lock_count> row_captions;
        std::array<QLabel *, Unit_status::lock_count> row_locks;
        QLabel *crc, *version, *receiving;
    };

    explicit Summary_panel(const Labels &labels);

    // Faults, rows and links; drawn before the cage and Dante panels.
    void draw(const Unit_status &status);
    // CRC and protocol version; drawn after them.
    void draw_info(uint8_t version);
    // Whether frames arrived during the last second.
    void draw_receiving(bool receiving);
    // No unit: every label back to its no-data text, in black.
    void blank();

private:
    void draw_faults(const Unit_status &status);
    void draw_row(int row, Unit_status::Direction direction, bool locked);
    void draw_link(QLabel *label, bool up);
    void draw_links(const Unit_status &status);
    void draw_version(uint8_t version);

    Labels labels;

    const QString text_none;
    const QString text_no_row;
    const QString text_ok;
    const QString text_fault;
    const QString text_error;
    const QString text_link;
    const QString text_not_available;
    std::array<QString, Unit_status::lock_count> text_in;
    std::array<QString, Unit_status::lock_count> text_out;
    std::array<QString, Unit_status::lock_count> text_unassigned;

    int shown_version = -1;
    QString shown_version_text;
};

#endif
