#include "app/summary_panel.h"

#include "app/widget_update.h"
#include "protocol/protocol_version.h"
#include "protocol/status_words.h"

#include <QtWidgets/QLabel>

namespace {

using Direction = Unit_status::Direction;

struct Row_source
{
    int cage;
    int channel;
};

// Rows 1 and 2 follow SFP 1's channels, rows 3 and 4 SFP 2's; lock i goes with row i.
constexpr Row_source row_sources[Unit_status::lock_count] = {{Unit_status::sfp_1, 0},
                                                             {Unit_status::sfp_1, 1},
                                                             {Unit_status::sfp_2, 0},
                                                             {Unit_status::sfp_2, 1}};

} // namespace

Summary_panel::Summary_panel(const Labels &labels)
    : labels(labels), text_none(QStringLiteral("--")), text_no_row(QStringLiteral("---:")),
      text_ok(tr("Ok")), text_fault(tr("Fault")), text_error(tr("Error")), text_link(tr("Link")),
      text_not_available(tr("Not available"))
{
    for (int row = 0; row < Unit_status::lock_count; ++row) {
        const int number = Status_words::number(row);
        text_in[row] = tr("In %1:").arg(number);
        text_out[row] = tr("Out %1:").arg(number);
        // A channel no direction is assigned to still has a lock to show.
        text_unassigned[row] = tr("Unassigned %1:").arg(number);
    }
}

void Summary_panel::draw(const Unit_status &status)
{
    draw_faults(status);
    for (int row = 0; row < Unit_status::lock_count; ++row) {
        const Row_source source = row_sources[row];
        draw_row(row, status.cages[source.cage].channels[source.channel].direction,
                 status.locks[row]);
    }
    draw_links(status);
}

void Summary_panel::draw_faults(const Unit_status &status)
{
    // The indicators speak for the optical modules; SFP Eth alone does not count.
    if (!status.cages[Unit_status::sfp_1].present() &&
        !status.cages[Unit_status::sfp_2].present()) {
        for (QLabel *label : {labels.rx_fault, labels.tx_fault, labels.overheat})
            Widget_update::paint(label, text_none, style_sheet::grey);
        return;
    }
    Widget_update::paint(labels.rx_fault, status.rx_fault ? text_fault : text_ok,
                         status.rx_fault ? style_sheet::red : style_sheet::green);
    Widget_update::paint(labels.tx_fault, status.tx_fault ? text_fault : text_ok,
                         status.tx_fault ? style_sheet::red : style_sheet::green);
    Widget_update::paint(labels.overheat, status.overheat ? text_error : text_ok,
                         status.overheat ? style_sheet::red : style_sheet::green);
}

void Summary_panel::draw_row(int row, Direction direction, bool locked)
{
    QLabel *caption = labels.row_captions[row];
    QLabel *lock = labels.row_locks[row];
    switch (direction) {
    case Direction::none:
        Widget_update::text(caption, text_no_row);
        Widget_update::paint(lock, text_none, style_sheet::grey);
        return;
    case Direction::rx: // the unit outputs what the module receives
        Widget_update::text(caption, text_out[row]);
        break;
    case Direction::tx:
        Widget_update::text(caption, text_in[row]);
        break;
    case Direction::unassigned:
        Widget_update::text(caption, text_unassigned[row]);
        break;
    }
    Widget_update::paint(lock, locked ? text_ok : text_fault,
                         locked ? style_sheet::green : style_sheet::red);
}

void Summary_panel::draw_link(QLabel *label, bool up)
{
    // A link that is down is not a fault of the unit, hence black, not red.
    Widget_update::paint(label, up ? text_link : text_fault,
                         up ? style_sheet::green : style_sheet::black);
}

void Summary_panel::draw_links(const Unit_status &status)
{
    if (!status.links_valid) {
        for (QLabel *label : {labels.link_f, labels.link_p1, labels.link_p2})
            Widget_update::paint(label, text_not_available, style_sheet::grey);
        return;
    }
    draw_link(labels.link_f, status.link_f);
    draw_link(labels.link_p1, status.link_p1);
    draw_link(labels.link_p2, status.link_p2);
}

void Summary_panel::draw_info(uint8_t version)
{
    // Only a message whose CRC matched is ever drawn.
    Widget_update::paint(labels.crc, text_ok, style_sheet::green);
    draw_version(version);
}

void Summary_panel::draw_version(uint8_t version)
{
    if (shown_version != version) {
        const int major = Protocol_version::major(version);
        const int minor = Protocol_version::minor(version);
        shown_version_text = Protocol_version::is_supported(version)
                                 ? tr("%1.%2, Ok").arg(major).arg(minor)
                                 : tr("%1.%2, Version mistmatch").arg(major).arg(minor);
        shown_version = version;
    }
    Widget_update::paint(labels.version, shown_version_text,
                         Protocol_version::is_supported(version) ? style_sheet::green
                                                                 : style_sheet::red);
}

void Summary_panel::draw_receiving(bool receiving)
{
    Widget_update::paint(labels.receiving, receiving ? text_ok : text_fault,
                         receiving ? style_sheet::green : style_sheet::red);
}

void Summary_panel::blank()
{
    draw_receiving(false);
    for (QLabel *label : {labels.rx_fault, labels.tx_fault, labels.overheat, labels.link_p1,
                          labels.link_p2, labels.link_f, labels.crc, labels.version})
        Widget_update::paint(label, text_none, style_sheet::black);
    for (QLabel *caption : labels.row_captions)
        Widget_update::paint(caption, text_no_row, style_sheet::black);
    for (QLabel *lock : labels.row_locks)
        Widget_update::paint(lock, text_none, style_sheet::black);
}
